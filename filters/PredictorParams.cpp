#include "filters/PredictorParams.h"

#include "common/Exception.h"
#include "common/Limits.h"

namespace qvx::Filters {

PredictorRow::PredictorRow(const PredictorParams& p)
    : colors(p.colors), bits(p.bits_per_component)
{
    constexpr std::uint64_t kMaxBits = Common::Limits::kMaxPredictorRowBytes * 8;
    bool depth_ok = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
    QVX_CHECK(depth_ok && colors > 0 && p.columns > 0 && std::uint64_t(colors) <= kMaxBits &&
                  std::uint64_t(p.columns) <= kMaxBits,
              "Invalid predictor parameters");
    std::uint64_t row_bits = std::uint64_t(p.columns) * std::uint64_t(colors) * std::uint64_t(bits);
    QVX_CHECK(row_bits <= kMaxBits, "Invalid predictor parameters");
    samples = static_cast<std::size_t>(p.columns) * static_cast<std::size_t>(colors);
    bytes = static_cast<std::size_t>((row_bits + 7) / 8);
    pixel_bytes = (static_cast<std::size_t>(colors) * static_cast<std::size_t>(bits) + 7) / 8;
}

}  // namespace qvx::Filters
