#include "filters/AESDecryptFilter.h"

#include <cstring>

#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"

namespace qvx::Filters {

namespace {
constexpr std::size_t kBlock = Cipher::kAESBlock;
}

AESDecryptFilter::AESDecryptFilter(std::unique_ptr<Filter> in, Common::ByteView key, std::size_t buf_size)
    : BufFilter(e_input, std::move(in), std::max<std::size_t>(buf_size, 4 * kBlock)), m_key(key.begin(), key.end())
{
    // Reject a bad key now rather than at the first read.
    Cipher check(Cipher::e_aes_ecb, key, {}, false);
}

std::size_t AESDecryptFilter::UnpaddedSize(const Byte* last)
{
    Byte pad = last[kBlock - 1];
    if (pad == 0 || pad > kBlock) return kBlock;
    for (std::size_t i = kBlock - pad; i < kBlock; ++i)
        if (last[i] != pad) return kBlock;
    return kBlock - pad;
}

std::size_t AESDecryptFilter::Fill(Byte* buf, std::size_t capacity)
{
    if (m_done) return 0;
    if (!m_aes) {
        Byte iv[kBlock];
        if (ReadInput(iv, kBlock) < kBlock) {
            m_done = true;
            return 0;
        }
        m_aes.emplace(Cipher::e_aes_cbc, m_key, Common::ByteView(iv, kBlock), false);
    }
    // The held-back block goes first; room stays for whole blocks only.
    std::size_t held = 0;
    if (m_have_last) {
        std::memcpy(buf, m_last, kBlock);
        held = kBlock;
    }
    std::size_t room = (capacity / kBlock - 1) * kBlock;
    std::size_t got = ReadInput(buf + held, room);
    std::size_t whole = got / kBlock * kBlock;
    if (got < room && got > whole) {
        // A last partial block: completed with zeros and decrypted, as other readers do.
        std::memset(buf + held + got, 0, whole + kBlock - got);
        whole += kBlock;
    }
    m_aes->Update(buf + held, whole, buf + held);
    std::size_t total = held + whole;
    if (got == room) {
        // More may follow: hold the newest block back in case it carries the padding.
        std::memcpy(m_last, buf + total - kBlock, kBlock);
        m_have_last = true;
        return total - kBlock;
    }
    m_done = true;
    if (total == 0) return 0;
    return total - kBlock + UnpaddedSize(buf + total - kBlock);
}

Common::Bytes AESDecryptFilter::Decrypt(Common::ByteView key, Common::ByteView data)
{
    // A buffer larger than the data decrypts it in one fill.
    AESDecryptFilter f(MemoryFilter::View(data), key, data.size() + 2 * kBlock);
    FilterReader r(f);
    return r.ReadAll();
}

}  // namespace qvx::Filters
