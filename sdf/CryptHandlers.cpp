#include "sdf/CryptHandlers.h"

#include <algorithm>

#include "filters/AESDecryptFilter.h"
#include "filters/AESEncryptFilter.h"
#include "filters/CryptoFilter.h"
#include "filters/Digest.h"

namespace qvx::SDF {

using Common::Byte;
using Common::Bytes;

Bytes ObjectKey(Common::ByteView file_key, std::uint32_t num, std::uint16_t gen, bool aes)
{
    Filters::Digest md5(Filters::Digest::e_md5);
    md5.Update(file_key);
    const Byte tail[9] = {static_cast<Byte>(num), static_cast<Byte>(num >> 8), static_cast<Byte>(num >> 16),
                          static_cast<Byte>(gen), static_cast<Byte>(gen >> 8), 's', 'A', 'l', 'T'};
    md5.Update(Common::ByteView(tail, aes ? 9 : 5));
    Bytes key = md5.Final();
    // AES-128 needs 16 bytes whatever the file key length says.
    key.resize(aes ? 16 : std::min<std::size_t>(file_key.size() + 5, 16));
    return key;
}

void V2CryptHandler::DecryptString(Bytes& bytes, std::uint32_t num, std::uint16_t gen) const
{
    bytes = Filters::CryptoFilter::Apply(ObjectKey(m_key, num, gen, false), bytes);
}

void V2CryptHandler::EncryptString(Bytes& bytes, std::uint32_t num, std::uint16_t gen) const
{
    DecryptString(bytes, num, gen);
}

std::unique_ptr<Filters::Filter> V2CryptHandler::DecryptStream(std::unique_ptr<Filters::Filter> raw, std::uint32_t num,
                                                               std::uint16_t gen) const
{
    return std::make_unique<Filters::CryptoFilter>(std::move(raw), ObjectKey(m_key, num, gen, false));
}

std::unique_ptr<Filters::Filter> V2CryptHandler::EncryptStream(std::unique_ptr<Filters::Filter> plain,
                                                               std::uint32_t num, std::uint16_t gen) const
{
    return DecryptStream(std::move(plain), num, gen);
}

Bytes AESV2CryptHandler::ObjectKeyFor(std::uint32_t num, std::uint16_t gen) const
{
    return ObjectKey(m_key, num, gen, true);
}

Bytes AESV3CryptHandler::ObjectKeyFor(std::uint32_t num, std::uint16_t gen) const
{
    std::size_t n = FileKey().size();
    return n == 16 || n == 24 || n == 32 ? FileKey() : AESV2CryptHandler::ObjectKeyFor(num, gen);
}

void AESV2CryptHandler::DecryptString(Bytes& bytes, std::uint32_t num, std::uint16_t gen) const
{
    bytes = Filters::AESDecryptFilter::Decrypt(ObjectKeyFor(num, gen), bytes);
}

void AESV2CryptHandler::EncryptString(Bytes& bytes, std::uint32_t num, std::uint16_t gen) const
{
    bytes = Filters::AESEncryptFilter::Encrypt(ObjectKeyFor(num, gen), bytes);
}

std::unique_ptr<Filters::Filter> AESV2CryptHandler::DecryptStream(std::unique_ptr<Filters::Filter> raw,
                                                                  std::uint32_t num, std::uint16_t gen) const
{
    return std::make_unique<Filters::AESDecryptFilter>(std::move(raw), ObjectKeyFor(num, gen));
}

std::unique_ptr<Filters::Filter> AESV2CryptHandler::EncryptStream(std::unique_ptr<Filters::Filter> plain,
                                                                  std::uint32_t num, std::uint16_t gen) const
{
    return std::make_unique<Filters::AESEncryptFilter>(std::move(plain), ObjectKeyFor(num, gen));
}

std::uint64_t AESV2CryptHandler::EncryptedLength(std::uint64_t n) const
{
    return Filters::AESEncryptFilter::EncryptedSize(n);
}

std::unique_ptr<CryptHandler> CreateCryptHandler(std::string_view method, Common::ByteView file_key)
{
    if (method == "None" || method == "Identity") return std::make_unique<NoneCryptHandler>();
    if (method == "V2") return std::make_unique<V2CryptHandler>(file_key);
    if (method == "AESV2") return std::make_unique<AESV2CryptHandler>(file_key);
    if (method == "AESV3") return std::make_unique<AESV3CryptHandler>(file_key);
    return nullptr;
}

}  // namespace qvx::SDF
