#include "filters/ASCIIHexDecode.h"

#include "filters/WhiteSpace.h"

namespace qvx::Filters {

namespace {

int HexValue(Byte c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ASCIIHexDecode::ASCIIHexDecode(std::unique_ptr<Filter> in) : BufFilter(e_input, std::move(in)) {}

std::size_t ASCIIHexDecode::Fill(Byte* buf, std::size_t capacity)
{
    std::size_t n = 0;
    while (n < capacity && !m_done) {
        Common::ByteView in = PeekInput();
        if (in.empty()) {
            m_done = true;
            break;
        }
        std::size_t i = 0;
        for (; i < in.size() && n < capacity; ++i) {
            Byte c = in[i];
            int v = HexValue(c);
            if (v >= 0) {
                if (m_high < 0) {
                    m_high = v;
                } else {
                    buf[n++] = static_cast<Byte>(m_high << 4 | v);
                    m_high = -1;
                }
            } else if (!IsWhiteSpace(c)) {
                m_done = true;  // > or garbage
                ++i;
                break;
            }
        }
        ConsumeInput(i);
    }
    if (m_done && m_high >= 0 && n < capacity) {
        buf[n++] = static_cast<Byte>(m_high << 4);
        m_high = -1;
    }
    return n;
}

}  // namespace qvx::Filters
