#include "sdf/SDFDoc.h"

#include "common/Exception.h"
#include "sdf/DocSecurity.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

SDFDoc::SDFDoc() : mp_impl(std::make_unique<SDFDocImpl>(*this)) {}

SDFDoc::~SDFDoc() = default;

Obj* SDFDoc::GetObj(std::uint32_t n) const { return mp_impl->GetObj(n); }
std::size_t SDFDoc::XRefSize() const { return mp_impl->XRefSize(); }
Obj* SDFDoc::GetTrailer() const { return mp_impl->GetTrailer(); }
Obj* SDFDoc::GetRoot() const { return mp_impl->GetRoot(); }

Obj* SDFDoc::AddObj(std::unique_ptr<Obj> obj) { return mp_impl->AddObj(std::move(obj)); }
Obj* SDFDoc::CreateIndirectDict() { return AddObj(Dict::Create()); }
Obj* SDFDoc::CreateIndirectArray() { return AddObj(Array::Create()); }
Obj* SDFDoc::CreateIndirectName(std::string_view name) { return AddObj(Name::Create(name)); }
Obj* SDFDoc::CreateIndirectNumber(double v) { return AddObj(Number::Create(v)); }
Obj* SDFDoc::CreateIndirectString(Common::ByteView bytes) { return AddObj(Str::Create(bytes)); }
Obj* SDFDoc::CreateIndirectNull() { return AddObj(Null::Create()); }

Obj* SDFDoc::CreateIndirectStream(Common::Bytes data, std::unique_ptr<Obj> dict)
{
    std::unique_ptr<Dict> d;
    if (dict) {
        if (!dict->IsDict()) QVX_THROW("dict->IsDict()", "Stream expects a dictionary as an argument");
        d.reset(static_cast<Dict*>(dict.release()));
    }
    return AddObj(FileStream::Create(std::move(data), std::move(d)));
}

void SDFDoc::Swap(Obj* a, Obj* b) { mp_impl->Swap(a, b); }

Obj* SDFDoc::ImportObj(Obj* obj) { return ImportObjs({obj}).front(); }

void SDFDoc::SaveToPath(const std::string& path, std::uint32_t flags, std::string_view header)
{
    mp_impl->SaveToPath(path, flags, header);
}
Common::Bytes SDFDoc::SaveToBuffer(std::uint32_t flags, std::string_view header)
{
    return mp_impl->SaveToBuffer(flags, header);
}
SecurityHandler* SDFDoc::GetOutputSecurityHandler() const { return mp_impl->GetOutputSecurityHandler(); }
void SDFDoc::SetOutputSecurityHandler(std::shared_ptr<SecurityHandler> handler)
{
    mp_impl->SetOutputSecurityHandler(std::move(handler));
}
void SDFDoc::SetWriteStringsAsHex(bool b) { mp_impl->SetWriteStringsAsHex(b); }

bool SDFDoc::HasRepairedXRef() const { return mp_impl->HasRepairedXRef(); }
bool SDFDoc::IsFullSaveRequired() const { return mp_impl->IsFullSaveRequired(); }
const std::string& SDFDoc::GetHeader() const { return mp_impl->GetHeader(); }

std::string SDFDoc::GetVersion() const
{
    const std::string& h = mp_impl->GetHeader();
    auto dash = h.find('-');
    return dash == std::string::npos ? std::string() : h.substr(dash + 1);
}

const std::vector<std::uint32_t>& SDFDoc::GetModified() const { return mp_impl->GetModified(); }
void SDFDoc::ClearModified() { mp_impl->ClearModified(); }

CheckState& SDFDoc::GetCheckState() { return mp_impl->GetCheckState(); }
SecurityHandler* SDFDoc::GetSecurityHandler() const { return mp_impl->GetSecurityHandler(); }
void SDFDoc::SetSecurityHandler(std::unique_ptr<SecurityHandler> handler)
{
    mp_impl->SetSecurityHandler(std::move(handler));
}

bool SDFDoc::InitSecurityHandler(const void* custom_data, bool strict)
{
    return SDF::InitSecurityHandler(*this, custom_data, strict);
}

bool SDFDoc::InitStdSecurityHandler(std::string_view password, bool strict)
{
    return SDF::InitStdSecurityHandler(*this, password, strict);
}

void SDFDoc::RemoveSecurity() { SDF::RemoveSecurity(*this); }

}  // namespace qvx::SDF
