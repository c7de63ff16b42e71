#pragma once
// The PDF white-space bytes, which the text decoders skip.

#include "common/Buffer.h"

namespace qvx::Filters {

inline bool IsWhiteSpace(Common::Byte c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
}

}  // namespace qvx::Filters
