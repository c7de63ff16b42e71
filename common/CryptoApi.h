#pragma once
// OpenSSL's libcrypto, loaded when a run first hashes or decrypts (see SharedLibrary.h):
// most files are neither encrypted nor converted. Code includes this header instead of
// OpenSSL's and calls the functions by their usual names: each name below stands for the
// function the library gives. One used without a line here fails to link, since the
// build does not link libcrypto.

#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include "common/SharedLibrary.h"

// clang-format off
#define QVX_CRYPTO_FUNCTIONS(X) \
    X(EVP_CIPHER_CTX_free) \
    X(EVP_CIPHER_CTX_new) \
    X(EVP_CIPHER_CTX_set_key_length) \
    X(EVP_CIPHER_CTX_set_padding) \
    X(EVP_CIPHER_fetch) \
    X(EVP_CipherInit_ex2) \
    X(EVP_CipherUpdate) \
    X(EVP_Digest) \
    X(EVP_DigestFinal_ex) \
    X(EVP_DigestInit_ex) \
    X(EVP_DigestUpdate) \
    X(EVP_MD_CTX_free) \
    X(EVP_MD_CTX_new) \
    X(EVP_MD_get_size) \
    X(EVP_aes_128_cbc) \
    X(EVP_aes_128_ecb) \
    X(EVP_aes_192_cbc) \
    X(EVP_aes_192_ecb) \
    X(EVP_aes_256_cbc) \
    X(EVP_aes_256_ecb) \
    X(EVP_md5) \
    X(EVP_sha256) \
    X(EVP_sha384) \
    X(EVP_sha512) \
    X(OSSL_LIB_CTX_new) \
    X(OSSL_PROVIDER_load) \
    X(RAND_bytes)
// clang-format on

namespace qvx::Common {

struct CryptoApi {
    QVX_CRYPTO_FUNCTIONS(QVX_SHARED_LIBRARY_FIELD)
};

// The functions, loaded on the first call; throws Common::Exception when libcrypto is
// missing.
const CryptoApi& Crypto();

}  // namespace qvx::Common

// clang-format off
#define EVP_CIPHER_CTX_free (::qvx::Common::Crypto().fn_EVP_CIPHER_CTX_free)
#define EVP_CIPHER_CTX_new (::qvx::Common::Crypto().fn_EVP_CIPHER_CTX_new)
#define EVP_CIPHER_CTX_set_key_length (::qvx::Common::Crypto().fn_EVP_CIPHER_CTX_set_key_length)
#define EVP_CIPHER_CTX_set_padding (::qvx::Common::Crypto().fn_EVP_CIPHER_CTX_set_padding)
#define EVP_CIPHER_fetch (::qvx::Common::Crypto().fn_EVP_CIPHER_fetch)
#define EVP_CipherInit_ex2 (::qvx::Common::Crypto().fn_EVP_CipherInit_ex2)
#define EVP_CipherUpdate (::qvx::Common::Crypto().fn_EVP_CipherUpdate)
#define EVP_Digest (::qvx::Common::Crypto().fn_EVP_Digest)
#define EVP_DigestFinal_ex (::qvx::Common::Crypto().fn_EVP_DigestFinal_ex)
#define EVP_DigestInit_ex (::qvx::Common::Crypto().fn_EVP_DigestInit_ex)
#define EVP_DigestUpdate (::qvx::Common::Crypto().fn_EVP_DigestUpdate)
#define EVP_MD_CTX_free (::qvx::Common::Crypto().fn_EVP_MD_CTX_free)
#define EVP_MD_CTX_new (::qvx::Common::Crypto().fn_EVP_MD_CTX_new)
#define EVP_MD_get_size (::qvx::Common::Crypto().fn_EVP_MD_get_size)
#define EVP_aes_128_cbc (::qvx::Common::Crypto().fn_EVP_aes_128_cbc)
#define EVP_aes_128_ecb (::qvx::Common::Crypto().fn_EVP_aes_128_ecb)
#define EVP_aes_192_cbc (::qvx::Common::Crypto().fn_EVP_aes_192_cbc)
#define EVP_aes_192_ecb (::qvx::Common::Crypto().fn_EVP_aes_192_ecb)
#define EVP_aes_256_cbc (::qvx::Common::Crypto().fn_EVP_aes_256_cbc)
#define EVP_aes_256_ecb (::qvx::Common::Crypto().fn_EVP_aes_256_ecb)
#define EVP_md5 (::qvx::Common::Crypto().fn_EVP_md5)
#define EVP_sha256 (::qvx::Common::Crypto().fn_EVP_sha256)
#define EVP_sha384 (::qvx::Common::Crypto().fn_EVP_sha384)
#define EVP_sha512 (::qvx::Common::Crypto().fn_EVP_sha512)
#define OSSL_LIB_CTX_new (::qvx::Common::Crypto().fn_OSSL_LIB_CTX_new)
#define OSSL_PROVIDER_load (::qvx::Common::Crypto().fn_OSSL_PROVIDER_load)
#define RAND_bytes (::qvx::Common::Crypto().fn_RAND_bytes)
// clang-format on
