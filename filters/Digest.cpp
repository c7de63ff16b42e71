#include "filters/Digest.h"

#include "common/CryptoApi.h"
#include "common/Exception.h"

namespace qvx::Filters {

namespace {

const EVP_MD* Algorithm(Digest::Kind kind)
{
    switch (kind) {
    case Digest::e_md5: return EVP_md5();
    case Digest::e_sha256: return EVP_sha256();
    case Digest::e_sha384: return EVP_sha384();
    case Digest::e_sha512: return EVP_sha512();
    }
    return EVP_sha256();
}

}  // namespace

struct Digest::Impl {
    const EVP_MD* md;
    EVP_MD_CTX* ctx;
};

Digest::Digest(Kind kind) : mp_impl(std::make_unique<Impl>(Impl{Algorithm(kind), EVP_MD_CTX_new()}))
{
    if (!mp_impl->ctx || EVP_DigestInit_ex(mp_impl->ctx, mp_impl->md, nullptr) != 1) {
        EVP_MD_CTX_free(mp_impl->ctx);
        QVX_THROW("EVP_DigestInit_ex", "Digest is not available");
    }
}

Digest::~Digest() { EVP_MD_CTX_free(mp_impl->ctx); }

void Digest::Update(Common::ByteView data)
{
    if (!data.empty()) EVP_DigestUpdate(mp_impl->ctx, data.data(), data.size());
}

Common::Bytes Digest::Final()
{
    Common::Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    EVP_DigestFinal_ex(mp_impl->ctx, out.data(), &n);
    out.resize(n);
    EVP_DigestInit_ex(mp_impl->ctx, mp_impl->md, nullptr);
    return out;
}

Common::Bytes Digest::Compute(Kind kind, Common::ByteView data)
{
    Digest d(kind);
    d.Update(data);
    return d.Final();
}

std::size_t Digest::Length(Kind kind)
{
    return static_cast<std::size_t>(EVP_MD_get_size(Algorithm(kind)));
}

}  // namespace qvx::Filters
