#pragma once
// Byte buffers shared by every layer.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qvx::Common {

using Byte = std::uint8_t;
using Bytes = std::vector<Byte>;
using ByteView = std::span<const Byte>;

inline ByteView AsBytes(std::string_view s)
{
    return {reinterpret_cast<const Byte*>(s.data()), s.size()};
}

inline std::string_view AsChars(ByteView b)
{
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

inline Bytes ToBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

}  // namespace qvx::Common
