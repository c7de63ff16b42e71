#include "filters/ASCII85Encode.h"

namespace qvx::Filters {

ASCII85Encode::ASCII85Encode(std::unique_ptr<Filter> out) : BufFilter(e_output, std::move(out)) {}

void ASCII85Encode::PutChar(Byte c)
{
    m_out.push_back(c);
    if (++m_column == 80) {
        m_out.push_back('\n');
        m_column = 0;
    }
}

void ASCII85Encode::PutGroup(std::uint32_t value, int digits)
{
    if (digits == 5 && value == 0) {
        PutChar('z');
        return;
    }
    Byte d[5];
    for (int i = 4; i >= 0; --i) {
        d[i] = static_cast<Byte>('!' + value % 85);
        value /= 85;
    }
    for (int i = 0; i < digits; ++i) PutChar(d[i]);
}

void ASCII85Encode::Drain(const Byte* data, std::size_t size, bool final)
{
    m_out.clear();
    for (std::size_t i = 0; i < size; ++i) {
        m_group = m_group << 8 | data[i];
        if (++m_count == 4) {
            PutGroup(m_group, 5);
            m_group = 0;
            m_count = 0;
        }
    }
    if (final) {
        // A partial group of k bytes is padded with zeros and written as k + 1 digits.
        if (m_count > 0) PutGroup(m_group << (8 * (4 - m_count)), m_count + 1);
        m_count = 0;
        m_group = 0;
        m_out.push_back('~');
        m_out.push_back('>');
    }
    WriteOutput(m_out.data(), m_out.size());
}

}  // namespace qvx::Filters
