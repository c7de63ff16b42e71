#pragma once
// AES-CBC encryption of PDF data, read through the filter: the initialisation vector,
// then the data in whole blocks with PKCS#5 padding (a full block of padding when the data
// is a multiple of 16 bytes), as AESDecryptFilter expects.

#include <optional>

#include "filters/Cipher.h"
#include "filters/Filter.h"

namespace qvx::Filters {

class AESEncryptFilter : public BufFilter {
public:
    // key: 16 or 32 bytes; iv: 16 bytes, or empty for a random one.
    AESEncryptFilter(std::unique_ptr<Filter> in, Common::ByteView key, Common::ByteView iv = {},
                     std::size_t buf_size = 1 << 16);

    const char* GetName() const override { return "AESEncrypt"; }

    // The whole of data encrypted (random iv when iv is empty).
    static Common::Bytes Encrypt(Common::ByteView key, Common::ByteView data, Common::ByteView iv = {});
    // Bytes produced for n bytes of data.
    static std::uint64_t EncryptedSize(std::uint64_t n) { return (n / Cipher::kAESBlock + 2) * Cipher::kAESBlock; }

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    Common::Bytes m_iv;
    Cipher m_aes;
    bool m_iv_sent = false;
    bool m_done = false;
};

}  // namespace qvx::Filters
