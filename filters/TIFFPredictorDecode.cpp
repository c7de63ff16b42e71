#include "filters/TIFFPredictorDecode.h"

#include <algorithm>

namespace qvx::Filters {

TIFFPredictorDecode::TIFFPredictorDecode(std::unique_ptr<Filter> in, const PredictorParams& params)
    : PredictorDecodeBase(std::move(in), params, 0)
{
}

const Byte* TIFFPredictorDecode::DecodeRow(Byte* row, std::size_t size)
{
    const std::size_t colors = static_cast<std::size_t>(m_row.colors);
    if (m_row.bits == 8) {
        for (std::size_t i = colors; i < size; ++i) row[i] = static_cast<Byte>(row[i] + row[i - colors]);
    } else if (m_row.bits == 16) {
        for (std::size_t i = colors; i < size / 2; ++i) {
            unsigned v = (unsigned(row[2 * i]) << 8 | row[2 * i + 1]) +
                         (unsigned(row[2 * (i - colors)]) << 8 | row[2 * (i - colors) + 1]);
            row[2 * i] = static_cast<Byte>(v >> 8);
            row[2 * i + 1] = static_cast<Byte>(v);
        }
    } else {
        // 1, 2 or 4 bits: samples packed from the most significant bit.
        const unsigned bits = static_cast<unsigned>(m_row.bits);
        const unsigned mask = (1u << bits) - 1;
        auto shift = [bits](std::size_t s) { return 8 - bits - static_cast<unsigned>(s * bits % 8); };
        std::size_t samples = std::min(m_row.samples, size * 8 / bits);
        for (std::size_t s = colors; s < samples; ++s) {
            std::size_t left = s - colors;
            unsigned a = row[left * bits / 8] >> shift(left) & mask;
            Byte& b = row[s * bits / 8];
            unsigned v = ((b >> shift(s)) + a) & mask;
            b = static_cast<Byte>((b & ~(mask << shift(s))) | v << shift(s));
        }
    }
    return row;
}

}  // namespace qvx::Filters
