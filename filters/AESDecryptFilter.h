#pragma once
// AES-CBC decryption of PDF data: the first 16 bytes are the initialisation vector, the
// rest is whole blocks ending in PKCS#5 padding. Damaged data never throws: data too
// short for an iv decrypts to nothing, a trailing partial block is completed with zeros,
// and padding that is not well formed is kept as data.

#include <optional>

#include "filters/Cipher.h"
#include "filters/Filter.h"

namespace qvx::Filters {

class AESDecryptFilter : public BufFilter {
public:
    // key: 16 or 32 bytes.
    AESDecryptFilter(std::unique_ptr<Filter> in, Common::ByteView key, std::size_t buf_size = 1 << 16);

    const char* GetName() const override { return "AESDecrypt"; }

    // The whole of data decrypted, with the same tolerance.
    static Common::Bytes Decrypt(Common::ByteView key, Common::ByteView data);

    // How many bytes of a final decrypted block are data: 16 less a well-formed padding.
    static std::size_t UnpaddedSize(const Byte* last_block);

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    Common::Bytes m_key;
    std::optional<Cipher> m_aes;   // made once the iv has been read
    Byte m_last[Cipher::kAESBlock];  // the newest decrypted block, held back for the padding
    bool m_have_last = false;
    bool m_done = false;
};

}  // namespace qvx::Filters
