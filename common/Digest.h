#pragma once
// Message digests as lower-case hex text.

#include <string>

#include "common/Buffer.h"

namespace qvx::Common {

std::string Sha256Hex(ByteView data);

}  // namespace qvx::Common
