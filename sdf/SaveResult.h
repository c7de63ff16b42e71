#pragma once
// What one save wrote, for the document's bookkeeping once the bytes are safely out.

#include <cstdint>

#include "common/Buffer.h"

namespace qvx::SDF {

struct SaveResult {
    bool incremental = false;
    // The offset startxref names (the next update's Prev).
    std::uint64_t xref_offset = 0;
    // An incremental save: the bytes of the update.
    Common::Bytes update;
};

}  // namespace qvx::SDF
