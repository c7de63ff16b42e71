#include "filters/PNGPredictorDecode.h"

#include <cstring>

#include "filters/PNGRow.h"

namespace qvx::Filters {

PNGPredictorDecode::PNGPredictorDecode(std::unique_ptr<Filter> in, const PredictorParams& params)
    : PredictorDecodeBase(std::move(in), params, 1, true), m_prev(m_row.bytes, 0)
{
}

const Byte* PNGPredictorDecode::DecodeRow(Byte* row, std::size_t size)
{
    std::size_t n = size - 1;
    PNGRow::Unfilter(row[0], row + 1, m_prev.data(), n, m_row.pixel_bytes);
    std::memcpy(m_prev.data(), row + 1, n);
    return row + 1;
}

}  // namespace qvx::Filters
