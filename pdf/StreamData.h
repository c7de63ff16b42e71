#pragma once
// Decoded stream data for the page layer, bounded.

#include <cstdint>
#include <optional>

#include "common/Buffer.h"
#include "filters/JPXInfo.h"

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

// The decoded data of a stream, at most max_bytes of it (the rest is dropped). Damaged data
// yields what could be decoded before the fault; a stream that cannot be opened at all
// (unknown filter, unreadable object), or whose deflate data is damaged before its first
// byte, yields nullopt.
std::optional<Common::Bytes> ReadDecoded(const SDF::Obj* stream, std::uint64_t max_bytes);

// The same for an inline image's data through the filters its (expanded) dictionary names.
std::optional<Common::Bytes> ReadDecodedInline(const SDF::Obj& dict, Common::ByteView data, std::uint64_t max_bytes);

// The header of a stream's JPEG 2000 data (its boxes and the codestream's SIZ marker), read
// from the first bytes of the raw data without decoding; an empty header when the data
// cannot be read.
Filters::JPXInfo ReadJPXHeader(const SDF::Obj& stream);

}  // namespace qvx::PDF
