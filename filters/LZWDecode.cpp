#include "filters/LZWDecode.h"

#include <algorithm>
#include <cstring>

namespace qvx::Filters {

LZWDecode::LZWDecode(std::unique_ptr<Filter> in, int early_change)
    : BufFilter(e_input, std::move(in)), m_early(early_change ? 1 : 0)
{
    for (int i = 0; i < 256; ++i) m_table[i] = {0, 1, static_cast<Byte>(i), static_cast<Byte>(i)};
    ResetTable();
}

void LZWDecode::ResetTable()
{
    m_next = 258;
    m_width = 9;
    m_prev = -1;
}

int LZWDecode::NextCode()
{
    while (m_bit_count < m_width) {
        Common::ByteView in = PeekInput();
        if (in.empty()) return -1;
        // Take as many whole bytes as fit in the bit buffer at once.
        std::size_t take = std::min<std::size_t>(in.size(), static_cast<std::size_t>((32 - m_bit_count) / 8));
        for (std::size_t i = 0; i < take; ++i) {
            m_bits = (m_bits << 8) | in[i];
            m_bit_count += 8;
        }
        ConsumeInput(take);
    }
    m_bit_count -= m_width;
    return static_cast<int>((m_bits >> m_bit_count) & ((1u << m_width) - 1));
}

std::size_t LZWDecode::Emit(int code, int extra, Byte* out, std::size_t room)
{
    std::size_t len = m_table[code].length + (extra >= 0 ? 1 : 0);
    Byte* dst = len <= room ? out : m_pending.data();
    std::size_t i = len;
    if (extra >= 0) dst[--i] = static_cast<Byte>(extra);
    for (int c = code; i > 0; c = m_table[c].prefix) dst[--i] = m_table[c].last;
    if (dst == out) return len;
    m_pending_pos = 0;
    m_pending_end = len;
    return 0;
}

std::size_t LZWDecode::Fill(Byte* buf, std::size_t capacity)
{
    std::size_t n = 0;
    for (;;) {
        if (m_pending_pos < m_pending_end) {
            std::size_t k = std::min(capacity - n, m_pending_end - m_pending_pos);
            std::memcpy(buf + n, m_pending.data() + m_pending_pos, k);
            m_pending_pos += k;
            n += k;
        }
        if (n == capacity || m_done) return n;
        int code = NextCode();
        if (code < 0 || code == kEnd) {
            m_done = true;
            continue;
        }
        if (code == kClear) {
            ResetTable();
            continue;
        }
        // Writers that never clear would overflow the table: start over as if they had.
        if (m_prev >= 0 && m_next == kTableSize) ResetTable();
        if (m_prev < 0) {
            if (code > 255) {
                m_done = true;
                continue;
            }
            n += Emit(code, -1, buf + n, capacity - n);
            m_prev = code;
            continue;
        }
        if (code > m_next) {
            m_done = true;
            continue;
        }
        // The code being defined right now stands for the previous string and its own first byte.
        bool defining = code == m_next;
        Byte first = defining ? m_table[m_prev].first : m_table[code].first;
        n += defining ? Emit(m_prev, first, buf + n, capacity - n) : Emit(code, -1, buf + n, capacity - n);
        m_table[m_next] = {static_cast<std::uint16_t>(m_prev),
                           static_cast<std::uint16_t>(m_table[m_prev].length + 1), first,
                           m_table[m_prev].first};
        ++m_next;
        if (m_next + m_early >= (1 << m_width) && m_width < 12) ++m_width;
        m_prev = code;
    }
}

}  // namespace qvx::Filters
