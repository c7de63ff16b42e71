#pragma once
// Resource limits applied to hostile input, in one place. Fuzz builds use lower values so
// the fuzzer spends its time on bugs rather than on legitimately slow inputs.

#include <cstdint>

namespace qvx::Common::Limits {

#ifdef QVX_FUZZING
inline constexpr std::uint64_t kDecodeOutputFloor = 16ull << 20;    // bytes
inline constexpr std::uint64_t kDecodeOutputRatio = 100;            // times the raw size
inline constexpr std::uint64_t kMaxPredictorRowBytes = 1ull << 20;
#else
inline constexpr std::uint64_t kDecodeOutputFloor = 256ull << 20;
inline constexpr std::uint64_t kDecodeOutputRatio = 1000;
inline constexpr std::uint64_t kMaxPredictorRowBytes = 64ull << 20;  // one row of a predictor
#endif

}  // namespace qvx::Common::Limits
