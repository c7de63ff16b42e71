#include "filters/PNGPredictorEncode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/Exception.h"
#include "filters/PNGRow.h"

namespace qvx::Filters {

namespace {

int CheckedPredictor(int predictor)
{
    QVX_CHECK(predictor >= 10 && predictor <= 15, "Unknown predictor function.");
    return predictor;
}

// The usual PNG heuristic: bytes taken as signed, smaller magnitudes compress better.
std::uint64_t Cost(const Common::Byte* p, std::size_t n)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += static_cast<std::uint64_t>(std::abs(static_cast<std::int8_t>(p[i])));
    return sum;
}

}  // namespace

PNGPredictorEncode::PNGPredictorEncode(std::unique_ptr<Filter> out, const PredictorParams& params)
    : BufFilter(e_output, std::move(out)), m_row(params), m_predictor(CheckedPredictor(params.predictor)),
      m_cur(m_row.bytes), m_prev(m_row.bytes, 0), m_out(m_row.bytes + 1), m_trial(m_row.bytes + 1)
{
}

void PNGPredictorEncode::EncodeRow(std::size_t n)
{
    int type = m_predictor - 10;
    if (m_predictor == 15) {
        std::uint64_t best = ~std::uint64_t{0};
        for (int t = PNGRow::e_none; t <= PNGRow::e_paeth; ++t) {
            PNGRow::Filter(t, m_cur.data(), m_prev.data(), n, m_row.pixel_bytes, m_trial.data() + 1);
            std::uint64_t cost = Cost(m_trial.data() + 1, n);
            if (cost < best) {
                best = cost;
                type = t;
                std::swap(m_trial, m_out);
            }
        }
    } else {
        PNGRow::Filter(type, m_cur.data(), m_prev.data(), n, m_row.pixel_bytes, m_out.data() + 1);
    }
    m_out[0] = static_cast<Byte>(type);
    WriteOutput(m_out.data(), n + 1);
    std::swap(m_prev, m_cur);
}

void PNGPredictorEncode::Drain(const Byte* data, std::size_t size, bool final)
{
    while (size > 0) {
        std::size_t take = std::min(size, m_cur.size() - m_cur_size);
        std::memcpy(m_cur.data() + m_cur_size, data, take);
        m_cur_size += take;
        data += take;
        size -= take;
        if (m_cur_size == m_cur.size()) {
            EncodeRow(m_cur_size);
            m_cur_size = 0;
        }
    }
    if (final && m_cur_size > 0) {
        EncodeRow(m_cur_size);
        m_cur_size = 0;
    }
}

}  // namespace qvx::Filters
