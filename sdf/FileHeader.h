#pragma once
// The file header: the first "%" + letters + "-" + digits + "." + digits, e.g. %PDF-1.7.

#include <cstdint>
#include <optional>
#include <string>

#include "common/Buffer.h"

namespace qvx::SDF {

struct FileHeader {
    std::uint64_t offset = 0;  // where the % is
    std::string text;
};

// The first header within the first `window` bytes; a match longer than 30 bytes does not
// count.
std::optional<FileHeader> FindFileHeader(Common::ByteView data, std::size_t window);

}  // namespace qvx::SDF
