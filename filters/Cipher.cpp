#include "filters/Cipher.h"

#include "common/CryptoApi.h"
#include "common/Exception.h"

namespace qvx::Filters {

namespace {

// RC4 from the legacy provider, fetched once (static initialisation is thread-safe).
// The context and providers live as long as the process.
const EVP_CIPHER* LegacyRC4()
{
    static const EVP_CIPHER* rc4 = [] () -> const EVP_CIPHER* {
        OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
        if (!ctx || !OSSL_PROVIDER_load(ctx, "legacy") || !OSSL_PROVIDER_load(ctx, "default")) return nullptr;
        return EVP_CIPHER_fetch(ctx, "RC4", nullptr);
    }();
    return rc4;
}

const EVP_CIPHER* AESCipher(Cipher::Kind kind, std::size_t key_len)
{
    bool cbc = kind == Cipher::e_aes_cbc;
    switch (key_len) {
    case 16: return cbc ? EVP_aes_128_cbc() : EVP_aes_128_ecb();
    case 24: return cbc ? EVP_aes_192_cbc() : EVP_aes_192_ecb();
    case 32: return cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb();
    default: return nullptr;
    }
}

}  // namespace

struct Cipher::Impl {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    bool block = false;
    ~Impl() { EVP_CIPHER_CTX_free(ctx); }
};

Cipher::Cipher(Kind kind, Common::ByteView key, Common::ByteView iv, bool encrypt) : mp_impl(std::make_unique<Impl>())
{
    EVP_CIPHER_CTX* ctx = mp_impl->ctx;
    int enc = encrypt ? 1 : 0;
    bool ok = ctx != nullptr;
    if (ok && kind == e_rc4) {
        const EVP_CIPHER* rc4 = LegacyRC4();
        if (!rc4) QVX_THROW("OSSL_PROVIDER_load(legacy)", "RC4 is not available: the OpenSSL legacy provider could not be loaded");
        ok = !key.empty() && key.size() <= 256 &&
             EVP_CipherInit_ex2(ctx, rc4, nullptr, nullptr, enc, nullptr) == 1 &&
             EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) == 1 &&
             EVP_CipherInit_ex2(ctx, nullptr, key.data(), nullptr, enc, nullptr) == 1;
    } else if (ok) {
        const EVP_CIPHER* aes = AESCipher(kind, key.size());
        ok = aes && (kind == e_aes_ecb || iv.size() == kAESBlock) &&
             EVP_CipherInit_ex2(ctx, aes, key.data(), kind == e_aes_cbc ? iv.data() : nullptr, enc, nullptr) == 1 &&
             EVP_CIPHER_CTX_set_padding(ctx, 0) == 1;
        mp_impl->block = true;
    }
    if (!ok) QVX_THROW("EVP_CipherInit_ex2", "Invalid cipher key");
}

Cipher::~Cipher() = default;

void Cipher::Update(const Common::Byte* in, std::size_t n, Common::Byte* out)
{
    if (mp_impl->block && n % kAESBlock != 0) QVX_THROW("n % 16 == 0", "AES data is not a whole number of blocks");
    // EVP lengths are int: feed large buffers in pieces.
    constexpr std::size_t kPiece = 1u << 30;
    while (n > 0) {
        std::size_t k = n < kPiece ? n : kPiece;
        int got = 0;
        if (EVP_CipherUpdate(mp_impl->ctx, out, &got, in, static_cast<int>(k)) != 1 || got != static_cast<int>(k))
            QVX_THROW("EVP_CipherUpdate", "Cipher operation failed");
        in += k;
        out += k;
        n -= k;
    }
}

Common::Bytes Cipher::RC4(Common::ByteView key, Common::ByteView data)
{
    Common::Bytes out(data.begin(), data.end());
    Cipher(e_rc4, key, {}, true).Update(out.data(), out.size(), out.data());
    return out;
}

Common::Bytes Cipher::AES(Kind kind, Common::ByteView key, Common::ByteView iv, bool encrypt, Common::ByteView data)
{
    Common::Bytes out(data.begin(), data.end());
    Cipher(kind, key, iv, encrypt).Update(out.data(), out.size(), out.data());
    return out;
}

Common::Bytes RandomBytes(std::size_t n)
{
    Common::Bytes out(n);
    if (n && RAND_bytes(out.data(), static_cast<int>(n)) != 1) QVX_THROW("RAND_bytes", "Random bytes are not available");
    return out;
}

}  // namespace qvx::Filters
