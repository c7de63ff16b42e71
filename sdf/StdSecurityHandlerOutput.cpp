// The output side of the standard handler: a new handler for saving, its passwords, keys
// and Encrypt dictionary, and the encryption of strings and streams.
#include "common/Exception.h"
#include "filters/Cipher.h"
#include "filters/Filter.h"
#include "sdf/Objects.h"
#include "sdf/PDFDocEncoding.h"
#include "sdf/StdSecurityHandler.h"

namespace qvx::SDF {

std::unique_ptr<StdSecurityHandler> StdSecurityHandler::CreateOutput(int v, int key_bits)
{
    std::unique_ptr<StdSecurityHandler> h(new StdSecurityHandler());
    StdPassword::Params& p = h->m_params;
    h->m_v = v;
    switch (v) {
    case 1:
        if (key_bits != 40) QVX_THROW("key_len == 40", "The encryption algorithm V=1 supports only 40 bits keys.");
        p.revision = 2;
        p.key_length = 5;
        break;
    case 2:
        if (key_bits < 40 || key_bits > 128 || key_bits % 8 != 0)
            QVX_THROW("key_len >= 40", "Invalid key length for V=2 encryption.");
        p.revision = 3;
        p.key_length = static_cast<std::size_t>(key_bits / 8);
        break;
    case 4:
        p.revision = 4;
        p.key_length = 16;
        break;
    case 5:
        p.revision = 6;
        p.key_length = 32;
        break;
    default: QVX_THROW("v == 1 || v == 2 || v == 4 || v == 5", "The encryption algorithm V must be 1, 2, 4 or 5.");
    }
    if (v >= 4) {
        h->m_cf_methods.emplace("StdCF", v == 4 ? "AESV2" : "AESV3");
        h->m_stmf = h->m_strf = "StdCF";
    } else {
        h->m_stmf = h->m_strf = "";
    }
    // Everything allowed but the bits the standard keeps reserved as zero.
    p.p = 0xFFFFFFFCu;
    return h;
}

void StdSecurityHandler::InitPassword(std::string_view user, std::string_view owner)
{
    auto encode = [&](std::string_view pw) {
        if (m_params.revision >= 5) return Common::ToBytes(pw);
        std::optional<std::string> doc = UTF8ToPDFDoc(pw);
        if (!doc)
            QVX_THROW("IsPDFDocEncodable(pw)",
                      "Passwords for SecurityHandler v4 or earlier must be compatible with PDFDoc encoding");
        return Common::ToBytes(*doc);
    };
    m_user_pw = encode(user);
    m_owner_pw = encode(owner);
}

void StdSecurityHandler::Prepare(Common::ByteView id0)
{
    using namespace StdPassword;
    m_params.id0.assign(id0.begin(), id0.end());
    // An empty owner password would let anyone open as owner: use a random one.
    Common::Bytes owner = m_owner_pw.empty() ? Filters::RandomBytes(16) : m_owner_pw;
    // Metadata can be left plain only with crypt filters.
    if (m_v < 4) m_params.encrypt_metadata = true;
    if (m_params.revision <= 4) {
        m_params.o = OwnerValueR4(m_params, owner, m_user_pw);
        m_file_key = FileKeyR4(m_params, m_user_pw);
        m_params.u = UserValueR4(m_params, m_file_key);
    } else {
        m_file_key = Filters::RandomBytes(32);
        ComputeR6(m_params, m_file_key, m_user_pw, owner);
    }
    m_authorized = m_owner = true;
    MakeCryptHandlers();
    BuildOutputDict();
}

void StdSecurityHandler::BuildOutputDict()
{
    auto d = Dict::Create();
    d->PutName("Filter", "Standard");
    d->PutNumber("V", m_v);
    d->PutNumber("R", m_params.revision);
    d->PutNumber("Length", static_cast<double>(m_params.key_length * 8));
    d->PutNumber("P", static_cast<std::int32_t>(m_params.p));
    d->PutString("O", m_params.o);
    d->PutString("U", m_params.u);
    if (m_params.revision >= 5) {
        d->PutString("OE", m_params.oe);
        d->PutString("UE", m_params.ue);
        d->PutString("Perms", m_params.perms);
    }
    if (m_v >= 4) {
        Obj* std_cf = d->PutDict("CF")->PutDict("StdCF");
        std_cf->PutName("AuthEvent", "DocOpen");
        std_cf->PutName("CFM", m_cf_methods.at("StdCF"));
        std_cf->PutNumber("Length", static_cast<double>(m_params.key_length));
        d->PutName("StmF", "StdCF");
        d->PutName("StrF", "StdCF");
        if (!m_params.encrypt_metadata) d->PutBool("EncryptMetadata", false);
    }
    mp_encrypt = std::move(d);
}

std::unique_ptr<Obj> StdSecurityHandler::CreateEncryptDict() const
{
    if (!mp_encrypt) QVX_THROW("mp_encrypt", "The security handler has no Encrypt dictionary (call Prepare)");
    return mp_encrypt->Clone();
}

void StdSecurityHandler::EncryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen)
{
    Named(m_strf).EncryptString(bytes, num, gen);
}

std::unique_ptr<Filters::Filter> StdSecurityHandler::EncryptStream(std::unique_ptr<Filters::Filter> plain,
                                                                   const Obj& stream, std::uint32_t num,
                                                                   std::uint16_t gen)
{
    return ForStream(stream).EncryptStream(std::move(plain), num, gen);
}

std::uint64_t StdSecurityHandler::EncryptedStreamLength(std::uint64_t length, const Obj& stream) const
{
    return ForStream(stream).EncryptedLength(length);
}

}  // namespace qvx::SDF
