#include "filters/CCITTBitReader.h"

#include <bit>

namespace qvx::Filters {

CCITTBitReader::CCITTBitReader(Common::ByteView data, Source more)
    : mp_cur(data.data()), mp_end(data.data() + data.size()), m_more(std::move(more))
{
}

void CCITTBitReader::Refill()
{
    while (m_avail <= 56) {
        if (mp_cur == mp_end && !m_done) {
            Common::ByteView next;
            if (m_more) next = m_more();
            if (next.empty()) {
                m_done = true;
            } else {
                mp_cur = next.data();
                mp_end = next.data() + next.size();
            }
        }
        if (mp_cur != mp_end) {
            m_acc |= std::uint64_t(*mp_cur++) << (56 - m_avail);
        } else {
            m_pad += 8;
        }
        m_avail += 8;
    }
}

std::uint64_t CCITTBitReader::SkipZeros()
{
    std::uint64_t count = 0;
    while (!AtEnd()) {
        unsigned real = m_avail - m_pad;
        std::uint64_t window = m_acc;
        if (real < 64) window |= std::uint64_t(1) << (63 - real);  // stop at the end of the data
        unsigned zeros = static_cast<unsigned>(std::countl_zero(window));
        if (zeros > 32) zeros = 32;
        if (zeros == 0) break;
        Skip(zeros);
        count += zeros;
    }
    return count;
}

}  // namespace qvx::Filters
