#include "filters/PredictorDecodeBase.h"

#include <algorithm>
#include <cstring>

namespace qvx::Filters {

PredictorDecodeBase::PredictorDecodeBase(std::unique_ptr<Filter> in, const PredictorParams& params,
                                         std::size_t tag_bytes, bool pad_last_row)
    : BufFilter(e_input, std::move(in)), m_row(params), m_tag_bytes(tag_bytes), m_pad_last_row(pad_last_row),
      m_raw(m_row.bytes + tag_bytes)
{
}

std::size_t PredictorDecodeBase::Fill(Byte* buf, std::size_t capacity)
{
    std::size_t n = 0;
    for (;;) {
        std::size_t k = std::min(m_out_left, capacity - n);
        if (k) std::memcpy(buf + n, mp_out, k);
        mp_out += k;
        m_out_left -= k;
        n += k;
        if (n == capacity || m_done) return n;
        // Gather the next row.
        while (m_raw_size < m_raw.size()) {
            Common::ByteView in = PeekInput();
            if (in.empty()) {
                m_done = true;
                break;
            }
            std::size_t take = std::min(in.size(), m_raw.size() - m_raw_size);
            std::memcpy(m_raw.data() + m_raw_size, in.data(), take);
            ConsumeInput(take);
            m_raw_size += take;
        }
        if (m_pad_last_row && m_raw_size > m_tag_bytes) {
            std::memset(m_raw.data() + m_raw_size, 0, m_raw.size() - m_raw_size);
            m_raw_size = m_raw.size();
        }
        if (m_raw_size > m_tag_bytes) {
            mp_out = DecodeRow(m_raw.data(), m_raw_size);
            m_out_left = m_raw_size - m_tag_bytes;
        }
        m_raw_size = 0;
    }
}

}  // namespace qvx::Filters
