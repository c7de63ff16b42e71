#include "filters/AESEncryptFilter.h"

#include <cstring>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"

namespace qvx::Filters {

namespace {

constexpr std::size_t kBlock = Cipher::kAESBlock;

Common::Bytes ChooseIV(Common::ByteView iv)
{
    if (iv.empty()) return RandomBytes(kBlock);
    if (iv.size() != kBlock) QVX_THROW("iv.size() == 16", "Invalid cipher key");
    return Common::Bytes(iv.begin(), iv.end());
}

}  // namespace

AESEncryptFilter::AESEncryptFilter(std::unique_ptr<Filter> in, Common::ByteView key, Common::ByteView iv,
                                   std::size_t buf_size)
    : BufFilter(e_input, std::move(in), std::max<std::size_t>(buf_size, 4 * kBlock)),
      m_iv(ChooseIV(iv)),
      m_aes(Cipher::e_aes_cbc, key, m_iv, true)
{
}

std::size_t AESEncryptFilter::Fill(Byte* buf, std::size_t capacity)
{
    if (m_done) return 0;
    std::size_t n = 0;
    if (!m_iv_sent) {
        std::memcpy(buf, m_iv.data(), kBlock);
        n = kBlock;
        m_iv_sent = true;
    }
    // Whole blocks of data, leaving room for a block of padding.
    std::size_t room = ((capacity - n) / kBlock - 1) * kBlock;
    std::size_t got = ReadInput(buf + n, room);
    if (got < room) {
        auto pad = static_cast<Byte>(kBlock - got % kBlock);
        std::memset(buf + n + got, pad, pad);
        got += pad;
        m_done = true;
    }
    m_aes.Update(buf + n, got, buf + n);
    return n + got;
}

Common::Bytes AESEncryptFilter::Encrypt(Common::ByteView key, Common::ByteView data, Common::ByteView iv)
{
    AESEncryptFilter f(MemoryFilter::View(data), key, iv, data.size() + 3 * kBlock);
    FilterReader r(f);
    return r.ReadAll();
}

}  // namespace qvx::Filters
