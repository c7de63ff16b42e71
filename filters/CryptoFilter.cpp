#include "filters/CryptoFilter.h"

namespace qvx::Filters {

CryptoFilter::CryptoFilter(std::unique_ptr<Filter> in, Common::ByteView key, std::size_t buf_size)
    : BufFilter(e_input, std::move(in), buf_size), m_rc4(Cipher::e_rc4, key, {}, true)
{
}

std::size_t CryptoFilter::Fill(Byte* buf, std::size_t capacity)
{
    std::size_t n = ReadInput(buf, capacity);
    m_rc4.Update(buf, n, buf);
    return n;
}

Common::Bytes CryptoFilter::Apply(Common::ByteView key, Common::ByteView data) { return Cipher::RC4(key, data); }

}  // namespace qvx::Filters
