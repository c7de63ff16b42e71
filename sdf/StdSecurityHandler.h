#pragma once
// The standard security handler (filter Standard): password authorisation for revisions
// 2 to 6, the crypt filters of the Encrypt dictionary, and the per-object decryption and
// encryption they select.
//
// Input: constructed from a document's Encrypt dictionary and first ID string with a
// password; GetPermission(e_doc_open) tells whether the password opened it. Output:
// CreateOutput, then InitPassword (and SetPermissions, SetEncryptMetadata), then Prepare
// with the ID the document will be written with.

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "sdf/CryptHandlers.h"
#include "sdf/SecurityHandler.h"
#include "sdf/StdPassword.h"

namespace qvx::SDF {

class StdSecurityHandler : public SecurityHandler {
public:
    // Reads encrypt and tries password as owner, then as user password. Throws "Invalid
    // revision number", "Invalid key length", "Invalid OE size", "Invalid UE size",
    // "Invalid Perms size"; a wrong password is no error (GetPermission says no).
    StdSecurityHandler(const Obj& encrypt, Common::ByteView id0, std::string_view password);
    // A handler for saving: V 1 (RC4, 40 bits only: "The encryption algorithm V=1 supports
    // only 40 bits keys."), 2 (RC4 of 40 to 128 bits: "Invalid key length for V=2
    // encryption."), 4 (AES-128) or 5 (AES-256, revision 6).
    static std::unique_ptr<StdSecurityHandler> CreateOutput(int v, int key_bits);

    // Output: the new passwords (UTF-8). Up to revision 4 they must have PDFDocEncoding
    // bytes ("Passwords for SecurityHandler v4 or earlier must be compatible with PDFDoc
    // encoding").
    void InitPassword(std::string_view user, std::string_view owner);
    // Output: the P value and whether metadata streams are encrypted (V 4 and 5).
    void SetPermissions(std::int32_t p) { m_params.p = static_cast<std::uint32_t>(p); }
    void SetEncryptMetadata(bool b) { m_params.encrypt_metadata = b; }
    // Output: derives the keys and the Encrypt dictionary for a document whose first ID
    // string is id0. Until then the handler encrypts nothing and grants nothing.
    void Prepare(Common::ByteView id0);

    int GetV() const { return m_v; }
    int GetRevision() const { return m_params.revision; }
    // File key length in bytes.
    std::size_t GetKeyLength() const { return m_params.key_length; }
    bool IsMetadataEncrypted() const { return m_params.encrypt_metadata; }
    const Common::Bytes& GetFileKey() const { return m_file_key; }

    bool GetPermission(Permission p) const override;
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

protected:
    StdSecurityHandler();

private:
    void ReadDict(const Obj& encrypt);
    bool Authorize(std::string_view password);
    bool TryPassword(Common::ByteView password);
    // Makes the crypt handlers once the file key is known.
    void MakeCryptHandlers();
    // The default method for crypt filters that do not name a known one.
    std::string_view DefaultMethod() const;
    const CryptHandler& Named(std::string_view name) const;
    // The handler for a stream's data: its own Crypt filter's, none for exempt metadata,
    // EFF for embedded files, else StmF.
    const CryptHandler& ForStream(const Obj& stream) const;
    void BuildOutputDict();

    int m_v = 0;
    StdPassword::Params m_params;
    Common::Bytes m_file_key;
    bool m_authorized = false;
    bool m_owner = false;

    // Crypt filter names (CF entries) and their methods; StmF, StrF and EFF names.
    std::map<std::string, std::string, std::less<>> m_cf_methods;
    std::string m_stmf = "Identity", m_strf = "Identity", m_eff;
    std::map<std::string, std::unique_ptr<CryptHandler>, std::less<>> m_handlers;
    NoneCryptHandler m_identity;

    std::unique_ptr<Obj> mp_encrypt;        // the dictionary written on output
    Common::Bytes m_user_pw, m_owner_pw;    // output passwords, encoded for the revision
};

// The standard handler as the registry makes it for an open without a password: it tries
// the empty password.
class DefaultSecurityHandler final : public StdSecurityHandler {
public:
    DefaultSecurityHandler(const Obj& encrypt, Common::ByteView id0) : StdSecurityHandler(encrypt, id0, {}) {}
};

}  // namespace qvx::SDF
