#pragma once
// Symmetric ciphers over OpenSSL's EVP interface: RC4 and AES (CBC and ECB, without
// padding: callers that need PKCS#5 padding add and strip it themselves, so damaged data
// is never rejected by the library).
//
// RC4 lives in OpenSSL 3's legacy provider, which is loaded once into a library context of
// its own so that the process-wide defaults stay untouched.

#include <memory>

#include "common/Buffer.h"

namespace qvx::Filters {

class Cipher {
public:
    enum Kind { e_rc4, e_aes_cbc, e_aes_ecb };
    static constexpr std::size_t kAESBlock = 16;

    // RC4: any key of 1 to 256 bytes, no iv. AES: a key of 16, 24 or 32 bytes; CBC takes a
    // 16-byte iv. Throws "Invalid cipher key" otherwise, and when the library lacks the
    // cipher.
    Cipher(Kind kind, Common::ByteView key, Common::ByteView iv, bool encrypt);
    ~Cipher();
    Cipher(const Cipher&) = delete;
    Cipher& operator=(const Cipher&) = delete;

    // Transforms n bytes from in to out (which may be the same). For AES n must be a
    // multiple of the block size; the chaining state carries over between calls.
    void Update(const Common::Byte* in, std::size_t n, Common::Byte* out);

    // One-shot forms.
    static Common::Bytes RC4(Common::ByteView key, Common::ByteView data);
    // data.size() must be a multiple of 16.
    static Common::Bytes AES(Kind kind, Common::ByteView key, Common::ByteView iv, bool encrypt,
                             Common::ByteView data);

private:
    struct Impl;
    std::unique_ptr<Impl> mp_impl;
};

// n bytes from the library's cryptographic random generator.
Common::Bytes RandomBytes(std::size_t n);

}  // namespace qvx::Filters
