#include "filters/LZWEncode.h"

namespace qvx::Filters {

namespace {
constexpr int kClear = 256;
constexpr int kEnd = 257;
// Clear a little before the decoder's table is full, so it never has to reset by itself.
constexpr int kLastEntry = 4093;
}  // namespace

LZWEncode::LZWEncode(std::unique_ptr<Filter> out, int early_change)
    : BufFilter(e_output, std::move(out)), m_early(early_change ? 1 : 0), m_child(4096 * 256)
{
    Put(kClear);
    Reset();
}

void LZWEncode::Reset()
{
    std::fill(m_child.begin(), m_child.end(), 0);
    m_next = m_decoder_next = 258;
    m_first = true;
    m_width = 9;
}

void LZWEncode::Put(int code)
{
    m_bits = (m_bits << m_width) | static_cast<std::uint32_t>(code);
    m_bit_count += m_width;
    while (m_bit_count >= 8) {
        m_bit_count -= 8;
        m_out.push_back(static_cast<Byte>(m_bits >> m_bit_count));
    }
    // The decoder defines an entry on every code but the first after a clear, and widens
    // its codes from the count it then has.
    if (code == kClear) return;
    if (!m_first) ++m_decoder_next;
    m_first = false;
    while (m_width < 12 && m_decoder_next + m_early >= (1 << m_width)) ++m_width;
}

void LZWEncode::Drain(const Byte* data, std::size_t size, bool final)
{
    for (std::size_t i = 0; i < size; ++i) {
        int c = data[i];
        if (m_string < 0) {
            m_string = c;
            continue;
        }
        std::uint16_t& child = m_child[static_cast<std::size_t>(m_string) << 8 | static_cast<std::size_t>(c)];
        if (child) {
            m_string = child;
            continue;
        }
        Put(m_string);
        if (m_next >= kLastEntry) {
            Put(kClear);
            Reset();
        } else {
            child = static_cast<std::uint16_t>(m_next++);
        }
        m_string = c;
    }
    if (final) {
        if (m_string >= 0) Put(m_string);
        Put(kEnd);
        if (m_bit_count > 0) m_out.push_back(static_cast<Byte>(m_bits << (8 - m_bit_count)));
        m_bit_count = 0;
        m_string = -1;
    }
    WriteOutput(m_out.data(), m_out.size());
    m_out.clear();
}

}  // namespace qvx::Filters
