#include "filters/ASCII85Decode.h"

#include "filters/WhiteSpace.h"

namespace qvx::Filters {

ASCII85Decode::ASCII85Decode(std::unique_ptr<Filter> in) : BufFilter(e_input, std::move(in)) {}

void ASCII85Decode::PutGroup(std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) m_pending[i] = static_cast<Byte>(value >> (24 - 8 * i));
    m_pending_pos = 0;
    m_pending_end = bytes;
}

void ASCII85Decode::Finish85()
{
    m_done = true;
    if (m_digits < 2) return;
    int bytes = m_digits - 1;
    std::uint64_t v = m_value;
    for (int i = m_digits; i < 5; ++i) v = v * 85 + 84;  // pad with u
    if (v <= 0xFFFFFFFFu) PutGroup(v, bytes);
    m_digits = 0;
}

std::size_t ASCII85Decode::Fill(Byte* buf, std::size_t capacity)
{
    std::size_t n = 0;
    for (;;) {
        while (m_pending_pos < m_pending_end && n < capacity) buf[n++] = m_pending[m_pending_pos++];
        if (n == capacity || m_done) return n;
        Common::ByteView in = PeekInput();
        if (in.empty()) {
            Finish85();
            continue;
        }
        std::size_t i = 0;
        // Some writers keep the <~ that opens ASCII85 text elsewhere.
        if (!m_started) {
            while (i < in.size() && IsWhiteSpace(in[i])) ++i;
            if (i == in.size()) {
                ConsumeInput(i);
                continue;
            }
            if (in[i] == '<' && i + 1 < in.size() && in[i + 1] == '~') i += 2;
            m_started = true;
        }
        for (; i < in.size() && m_pending_pos == m_pending_end; ++i) {
            Byte c = in[i];
            if (c >= '!' && c <= 'u') {
                m_value = m_value * 85 + static_cast<std::uint64_t>(c - '!');
                if (++m_digits == 5) {
                    if (m_value > 0xFFFFFFFFu) {
                        m_done = true;
                        break;
                    }
                    PutGroup(m_value, 4);
                    m_value = 0;
                    m_digits = 0;
                }
            } else if (c == 'z' && m_digits == 0) {
                PutGroup(0, 4);
            } else if (!IsWhiteSpace(c)) {
                Finish85();  // ~ or garbage
                ++i;
                break;
            }
        }
        ConsumeInput(i);
    }
}

}  // namespace qvx::Filters
