#include "sdf/QuandrilCustomSecurityHandler.h"

#include "filters/Cipher.h"
#include "filters/Digest.h"
#include "filters/Filter.h"
#include "sdf/Objects.h"

namespace qvx::SDF {

namespace {

using Filters::Digest;

constexpr int kRounds = 1000;

Common::Bytes StringEntry(const Obj& dict, std::string_view key)
{
    const Obj* v = dict.FindObj(key);
    v = v ? v->Resolve() : nullptr;
    if (!v || !v->IsString()) return {};
    return Common::Bytes(v->GetBuffer().begin(), v->GetBuffer().end());
}

Common::Bytes Tagged(Common::ByteView k, std::string_view tag)
{
    Digest d(Digest::e_sha256);
    d.Update(k);
    d.Update(tag);
    return d.Final();
}

}  // namespace

Common::Bytes QuandrilCustomCryptHandler::ObjectKeyFor(std::uint32_t num, std::uint16_t gen) const
{
    const Common::Byte id[6] = {static_cast<Common::Byte>(num),       static_cast<Common::Byte>(num >> 8),
                                static_cast<Common::Byte>(num >> 16), static_cast<Common::Byte>(num >> 24),
                                static_cast<Common::Byte>(gen),       static_cast<Common::Byte>(gen >> 8)};
    Digest d(Digest::e_sha256);
    d.Update(FileKey());
    d.Update(Common::ByteView(id, 6));
    return d.Final();
}

Common::Bytes QuandrilCustomSecurityHandler::Stretch(Common::ByteView salt, std::string_view password)
{
    Digest d(Digest::e_sha256);
    d.Update(salt);
    d.Update(password);
    Common::Bytes k = d.Final();
    for (int i = 0; i < kRounds; ++i) {
        d.Update(k);
        d.Update(password);
        k = d.Final();
    }
    return k;
}

QuandrilCustomSecurityHandler::QuandrilCustomSecurityHandler(const Obj& encrypt, std::string_view password)
    : m_salt(StringEntry(*encrypt.Resolve(), "QVX_Salt")), m_check(StringEntry(*encrypt.Resolve(), "QVX_Check"))
{
    Common::Bytes k = Stretch(m_salt, password);
    if (m_check.size() == 32 && Tagged(k, "check") == m_check)
        m_crypt = std::make_unique<QuandrilCustomCryptHandler>(Tagged(k, "key"));
}

std::unique_ptr<QuandrilCustomSecurityHandler> QuandrilCustomSecurityHandler::CreateOutput(std::string_view password)
{
    std::unique_ptr<QuandrilCustomSecurityHandler> h(new QuandrilCustomSecurityHandler());
    h->m_salt = Filters::RandomBytes(16);
    Common::Bytes k = Stretch(h->m_salt, password);
    h->m_check = Tagged(k, "check");
    h->m_crypt = std::make_unique<QuandrilCustomCryptHandler>(Tagged(k, "key"));
    return h;
}

void QuandrilCustomSecurityHandler::DecryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen)
{
    if (m_crypt) m_crypt->DecryptString(bytes, num, gen);
}

std::unique_ptr<Filters::Filter> QuandrilCustomSecurityHandler::DecryptStream(std::unique_ptr<Filters::Filter> raw,
                                                                              const Obj&, std::uint32_t num,
                                                                              std::uint16_t gen)
{
    return m_crypt ? m_crypt->DecryptStream(std::move(raw), num, gen) : std::move(raw);
}

std::unique_ptr<Filters::Filter> QuandrilCustomSecurityHandler::CreateCryptFilter(std::string_view,
                                                                                  std::unique_ptr<Filters::Filter> in,
                                                                                  const Obj&)
{
    return in;  // the whole stream is decrypted before its filters
}

void QuandrilCustomSecurityHandler::EncryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen)
{
    if (m_crypt) m_crypt->EncryptString(bytes, num, gen);
}

std::unique_ptr<Filters::Filter> QuandrilCustomSecurityHandler::EncryptStream(std::unique_ptr<Filters::Filter> plain,
                                                                              const Obj&, std::uint32_t num,
                                                                              std::uint16_t gen)
{
    return m_crypt ? m_crypt->EncryptStream(std::move(plain), num, gen) : std::move(plain);
}

std::uint64_t QuandrilCustomSecurityHandler::EncryptedStreamLength(std::uint64_t length, const Obj&) const
{
    return m_crypt ? m_crypt->EncryptedLength(length) : length;
}

std::unique_ptr<Obj> QuandrilCustomSecurityHandler::CreateEncryptDict() const
{
    auto d = Dict::Create();
    d->PutName("Filter", "Standard");
    d->PutName("SubFilter", "QVX_Custom");
    d->PutNumber("V", 5);
    d->PutNumber("R", 6);
    d->PutString("QVX_Salt", m_salt);
    d->PutString("QVX_Check", m_check);
    return d;
}

}  // namespace qvx::SDF
