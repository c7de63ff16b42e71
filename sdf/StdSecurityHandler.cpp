#include "sdf/StdSecurityHandler.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "common/Exception.h"
#include "common/UString.h"
#include "filters/Filter.h"
#include "sdf/Objects.h"
#include "sdf/PDFDocEncoding.h"

namespace qvx::SDF {

namespace {

const Obj* Entry(const Obj& dict, std::string_view key)
{
    Obj* v = dict.FindObj(key);
    return v ? v->Resolve() : nullptr;
}

double NumberEntry(const Obj& dict, std::string_view key, double def)
{
    const Obj* v = Entry(dict, key);
    if (!v || !v->IsNumber() || !std::isfinite(v->GetNumber())) return def;
    // Keep values inside what the integer conversions below can hold.
    return std::clamp(v->GetNumber(), -4294967296.0, 4294967296.0);
}

Common::Bytes StringEntry(const Obj& dict, std::string_view key)
{
    const Obj* v = Entry(dict, key);
    if (!v || !v->IsString()) return {};
    Common::ByteView b = v->GetBuffer();
    return Common::Bytes(b.begin(), b.end());
}

std::string_view NameOf(const Obj* v) { return v && v->IsName() ? v->GetName() : std::string_view(); }

bool TypeIs(const Obj& stream, std::string_view type) { return NameOf(Entry(stream, "Type")) == type; }

// The crypt filter a stream names in its own Filter array (Identity without DecodeParms
// Name), or none when it has no Crypt filter.
std::optional<std::string> OwnCryptFilter(const Obj& stream)
{
    const Obj* filter = Entry(stream, "Filter");
    const Obj* parms = Entry(stream, "DecodeParms");
    std::size_t n = filter && filter->IsArray() ? filter->Size() : 1;
    for (std::size_t i = 0; i < n && filter; ++i) {
        const Obj* f = filter->IsArray() ? filter->GetAt(i)->Resolve() : filter;
        if (NameOf(f) != "Crypt") continue;
        const Obj* p = parms && parms->IsArray() ? (i < parms->Size() ? parms->GetAt(i)->Resolve() : nullptr) : parms;
        std::string_view name = p && p->IsDict() ? NameOf(Entry(*p, "Name")) : std::string_view();
        return std::string(name.empty() ? "Identity" : name);
    }
    return std::nullopt;
}

}  // namespace

StdSecurityHandler::StdSecurityHandler() = default;

StdSecurityHandler::StdSecurityHandler(const Obj& encrypt, Common::ByteView id0, std::string_view password)
{
    ReadDict(encrypt);
    m_params.id0.assign(id0.begin(), id0.end());
    mp_encrypt = encrypt.Resolve()->Clone();
    bool ok = Authorize(password);
    // Writers that leave Length out mostly mean 128 bits rather than the default 40, and AES-128
    // crypt filters (AESV2) have 128-bit keys whatever Length says.
    const auto aes128 = [&](const std::string& filter) {
        auto it = m_cf_methods.find(filter);
        return it != m_cf_methods.end() && it->second == "AESV2";
    };
    if (!ok && m_params.revision >= 3 && m_params.revision <= 4 && m_params.key_length != 16 &&
        (!encrypt.Resolve()->FindObj("Length") || aes128(m_stmf) || aes128(m_strf))) {
        m_params.key_length = 16;
        ok = Authorize(password);
    }
    if (ok) MakeCryptHandlers();
}

void StdSecurityHandler::ReadDict(const Obj& enc)
{
    // Versions past the last one known are read as it.
    m_v = static_cast<int>(std::clamp(NumberEntry(enc, "V", 0), 0.0, 5.0));
    double r = NumberEntry(enc, "R", 0);
    if (!(r >= 2 && r <= 6)) QVX_THROW("r >= 2 && r <= 6", "Invalid revision number");
    int rev = static_cast<int>(r);
    m_params.revision = rev;
    if (rev >= 5) {
        m_params.key_length = 32;
    } else if (m_v <= 1) {
        m_params.key_length = 5;
    } else {
        double bits = NumberEntry(enc, "Length", m_v >= 4 ? 128 : 40);
        if (!(bits / 8 >= 1)) QVX_THROW("key_len >= 1", "Invalid key length");
        m_params.key_length = static_cast<std::size_t>(std::min(bits / 8, 16.0));
    }
    m_params.o = StringEntry(enc, "O");
    m_params.u = StringEntry(enc, "U");
    m_params.p = static_cast<std::uint32_t>(static_cast<std::int64_t>(NumberEntry(enc, "P", 0)));
    if (rev >= 5) {
        m_params.oe = StringEntry(enc, "OE");
        m_params.ue = StringEntry(enc, "UE");
        m_params.perms = StringEntry(enc, "Perms");
        if (m_params.oe.size() != 32) QVX_THROW("oe.size() == 32", "Invalid OE size");
        if (m_params.ue.size() != 32) QVX_THROW("ue.size() == 32", "Invalid UE size");
        if (m_params.perms.size() != 16) QVX_THROW("perms.size() == 16", "Invalid Perms size");
    }
    const Obj* em = Entry(enc, "EncryptMetadata");
    m_params.encrypt_metadata = !(em && em->IsBool() && !em->GetBool());
    if (m_v < 4) {
        // Before crypt filters, strings and streams all use the default method.
        m_stmf = m_strf = "";
        return;
    }
    if (const Obj* cf = Entry(enc, "CF"); cf && cf->IsDict()) {
        for (auto it = cf->DictBegin(); it != cf->DictEnd(); ++it) {
            const Obj* f = it.Value()->Resolve();
            std::string_view method = f->IsDict() ? NameOf(Entry(*f, "CFM")) : std::string_view();
            m_cf_methods.emplace(std::string(it.KeyText()), std::string(method.empty() ? "None" : method));
        }
    }
    if (auto n = NameOf(Entry(enc, "StmF")); !n.empty()) m_stmf = n;
    if (auto n = NameOf(Entry(enc, "StrF")); !n.empty()) m_strf = n;
    if (auto n = NameOf(Entry(enc, "EFF")); !n.empty()) m_eff = n;
}

bool StdSecurityHandler::Authorize(std::string_view password)
{
    // The password as given, then in the other encoding the revision might expect.
    if (TryPassword(Common::AsBytes(password))) return true;
    std::optional<std::string> other;
    if (m_params.revision <= 4) other = UTF8ToPDFDoc(password);
    else if (!Common::IsValidUTF8(password)) other = PDFDocToUTF8(Common::AsBytes(password));
    return other && *other != password && TryPassword(Common::AsBytes(*other));
}

bool StdSecurityHandler::TryPassword(Common::ByteView pw)
{
    using namespace StdPassword;
    bool r6 = m_params.revision >= 5;
    std::optional<Common::Bytes> key = r6 ? AuthenticateOwnerR6(m_params, pw) : AuthenticateOwnerR4(m_params, pw);
    m_owner = key.has_value();
    if (!key) key = r6 ? AuthenticateUserR6(m_params, pw) : AuthenticateUserR4(m_params, pw);
    if (!key) return false;
    m_file_key = std::move(*key);
    m_authorized = true;
    return true;
}

std::string_view StdSecurityHandler::DefaultMethod() const
{
    if (m_params.revision >= 5 || m_v >= 5) return "AESV3";
    return m_v == 4 ? "AESV2" : "V2";
}

void StdSecurityHandler::MakeCryptHandlers()
{
    m_handlers.clear();
    m_handlers.emplace("", CreateCryptHandler(DefaultMethod(), m_file_key));
    for (const auto& [name, method] : m_cf_methods) {
        auto h = CreateCryptHandler(method, m_file_key);
        m_handlers.emplace(name, h ? std::move(h) : CreateCryptHandler(DefaultMethod(), m_file_key));
    }
}

const CryptHandler& StdSecurityHandler::Named(std::string_view name) const
{
    if (!m_authorized || name == "Identity") return m_identity;
    auto it = m_handlers.find(name);
    if (it == m_handlers.end()) it = m_handlers.find("");
    return it == m_handlers.end() ? static_cast<const CryptHandler&>(m_identity) : *it->second;
}

const CryptHandler& StdSecurityHandler::ForStream(const Obj& stream) const
{
    if (OwnCryptFilter(stream)) return m_identity;  // its Crypt filter stage decrypts it
    if (!m_params.encrypt_metadata && TypeIs(stream, "Metadata")) return m_identity;
    if (!m_eff.empty() && TypeIs(stream, "EmbeddedFile")) return Named(m_eff);
    return Named(m_stmf);
}

bool StdSecurityHandler::GetPermission(Permission p) const
{
    if (!m_authorized) return false;
    if (p == e_doc_open || m_owner) return true;
    std::uint32_t bits = m_params.p;
    auto bit = [&](int n) { return (bits >> (n - 1)) & 1u; };
    bool r2 = m_params.revision <= 2;
    switch (p) {
    case e_print: return bit(3);
    case e_doc_modify: return bit(4);
    case e_extract_content: return bit(5);
    case e_mod_annot: return bit(6);
    case e_fill_forms: return r2 ? bit(6) : bit(9);
    case e_access_support: return r2 ? bit(5) : bit(10);
    case e_assemble_doc: return r2 ? bit(4) : bit(11);
    case e_print_high: return r2 ? bit(3) : bit(12);
    default: return false;
    }
}

void StdSecurityHandler::DecryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen)
{
    Named(m_strf).DecryptString(bytes, num, gen);
}

std::unique_ptr<Filters::Filter> StdSecurityHandler::DecryptStream(std::unique_ptr<Filters::Filter> raw,
                                                                   const Obj& stream, std::uint32_t num,
                                                                   std::uint16_t gen)
{
    return ForStream(stream).DecryptStream(std::move(raw), num, gen);
}

std::unique_ptr<Filters::Filter> StdSecurityHandler::CreateCryptFilter(std::string_view name,
                                                                       std::unique_ptr<Filters::Filter> in,
                                                                       const Obj& stream)
{
    const Obj* owner = stream.IsIndirect() ? &stream : stream.GetParent();
    if (!owner || !owner->IsIndirect()) QVX_THROW("stm.IsIndirect()", "Bad Crypt stm");
    return Named(name).DecryptStream(std::move(in), owner->GetObjNum(), owner->GetGenNum());
}

}  // namespace qvx::SDF
