#include "filters/ASCIIHexEncode.h"

namespace qvx::Filters {

ASCIIHexEncode::ASCIIHexEncode(std::unique_ptr<Filter> out) : BufFilter(e_output, std::move(out)) {}

void ASCIIHexEncode::Drain(const Byte* data, std::size_t size, bool final)
{
    static const char kDigits[] = "0123456789ABCDEF";
    m_out.clear();
    for (std::size_t i = 0; i < size; ++i) {
        m_out.push_back(static_cast<Byte>(kDigits[data[i] >> 4]));
        m_out.push_back(static_cast<Byte>(kDigits[data[i] & 15]));
        if (++m_column == 32) {
            m_out.push_back('\n');
            m_column = 0;
        }
    }
    if (final) m_out.push_back('>');
    WriteOutput(m_out.data(), m_out.size());
}

}  // namespace qvx::Filters
