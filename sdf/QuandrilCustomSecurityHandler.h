#pragma once
// The engine's own password handler, selected by Filter Standard with SubFilter
// QVX_Custom. Its Encrypt dictionary carries a 16-byte salt (QVX_Salt) and a 32-byte
// check value (QVX_Check):
//
//     K0 = SHA-256(salt, password), K(i+1) = SHA-256(K(i), password) for 1000 rounds
//     file key = SHA-256(K, "key"), check = SHA-256(K, "check")
//
// and every string and stream is AES-256-CBC encrypted with SHA-256(file key, object
// number as 4 bytes and generation as 2 bytes, low byte first).

#include "sdf/CryptHandlers.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

class QuandrilCustomCryptHandler final : public AESV2CryptHandler {
public:
    using AESV2CryptHandler::AESV2CryptHandler;
    std::string_view GetName() const override { return "QVX_Custom"; }

protected:
    Common::Bytes ObjectKeyFor(std::uint32_t num, std::uint16_t gen) const override;
};

class QuandrilCustomSecurityHandler final : public SecurityHandler {
public:
    // Reads encrypt and authorises password; a wrong password denies e_doc_open.
    QuandrilCustomSecurityHandler(const Obj& encrypt, std::string_view password);
    // A handler for saving with password (fresh salt).
    static std::unique_ptr<QuandrilCustomSecurityHandler> CreateOutput(std::string_view password);

    bool GetPermission(Permission) const override { return m_crypt != nullptr; }
    void DecryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) override;
    std::unique_ptr<Filters::Filter> DecryptStream(std::unique_ptr<Filters::Filter> raw, const Obj& stream,
                                                   std::uint32_t num, std::uint16_t gen) override;
    std::unique_ptr<Filters::Filter> CreateCryptFilter(std::string_view name, std::unique_ptr<Filters::Filter> in,
                                                       const Obj& stream) override;
    void EncryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) override;
    std::unique_ptr<Filters::Filter> EncryptStream(std::unique_ptr<Filters::Filter> plain, const Obj& stream,
                                                   std::uint32_t num, std::uint16_t gen) override;
    std::uint64_t EncryptedStreamLength(std::uint64_t length, const Obj& stream) const override;
    std::unique_ptr<Obj> CreateEncryptDict() const override;

private:
    QuandrilCustomSecurityHandler() = default;
    // K after the rounds, for salt and password.
    static Common::Bytes Stretch(Common::ByteView salt, std::string_view password);

    Common::Bytes m_salt, m_check;
    std::unique_ptr<QuandrilCustomCryptHandler> m_crypt;  // set once authorised
};

}  // namespace qvx::SDF
