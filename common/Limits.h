#pragma once
// Resource limits applied to hostile input, in one place. Fuzz builds use lower values so
// the fuzzer spends its time on bugs rather than on legitimately slow inputs.

#include <cstdint>

namespace qvx::Common::Limits {

#ifdef QVX_FUZZING
inline constexpr std::uint64_t kDecodeOutputFloor = 16ull << 20;    // bytes
inline constexpr std::uint64_t kDecodeOutputRatio = 100;            // times the raw size
#else
inline constexpr std::uint64_t kDecodeOutputFloor = 256ull << 20;
inline constexpr std::uint64_t kDecodeOutputRatio = 1000;
#endif

// Configuration files are read whole and parsed recursively.
inline constexpr std::uint64_t kConfigFileMaxBytes = 1ull << 20;
inline constexpr std::uint32_t kConfigXmlMaxDepth = 32;

}  // namespace qvx::Common::Limits
