#pragma once
// Message digests.

#include <array>
#include <string>

#include "common/Buffer.h"

namespace qvx::Common {

// SHA-256 as lower-case hex text.
std::string Sha256Hex(ByteView data);
// The 16 bytes of the MD5 digest.
std::array<Byte, 16> Md5(ByteView data);

}  // namespace qvx::Common
