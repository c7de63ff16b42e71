#include "filters/RunLengthDecode.h"

#include <algorithm>
#include <cstring>

namespace qvx::Filters {

RunLengthDecode::RunLengthDecode(std::unique_ptr<Filter> in) : BufFilter(e_input, std::move(in)) {}

std::size_t RunLengthDecode::Fill(Byte* buf, std::size_t capacity)
{
    std::size_t n = 0;
    while (n < capacity && !m_done) {
        if (m_repeat > 0 && m_byte >= 0) {
            std::size_t k = std::min(m_repeat, capacity - n);
            std::memset(buf + n, m_byte, k);
            n += k;
            m_repeat -= k;
            continue;
        }
        Common::ByteView in = PeekInput();
        if (in.empty()) {
            m_done = true;
            break;
        }
        if (m_literal > 0) {
            std::size_t k = std::min({m_literal, capacity - n, in.size()});
            std::memcpy(buf + n, in.data(), k);
            ConsumeInput(k);
            n += k;
            m_literal -= k;
        } else if (m_repeat > 0) {
            m_byte = in[0];
            ConsumeInput(1);
        } else {
            Byte len = in[0];
            ConsumeInput(1);
            if (len < 128) {
                m_literal = std::size_t{len} + 1;
            } else if (len > 128) {
                m_repeat = 257 - std::size_t{len};
                m_byte = -1;
            } else {
                m_done = true;
            }
        }
    }
    return n;
}

}  // namespace qvx::Filters
