#include "sdf/DocSecurity.h"

#include "common/Exception.h"
#include "filters/Cipher.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SecurityManager.h"
#include "sdf/StdSecurityHandler.h"
#include "sdf/XRefRebuilder.h"

namespace qvx::SDF {

namespace {

// The trailer's Encrypt entry; null when absent or null.
Obj* EncryptEntry(SDFDoc& doc)
{
    Obj* trailer = doc.GetTrailer();
    Obj* enc = trailer->IsDict() ? trailer->FindObj("Encrypt") : nullptr;
    return enc && !enc->Resolve()->IsNull() ? enc : nullptr;
}

}  // namespace

Common::Bytes FirstID(const Obj& trailer)
{
    const Obj* t = trailer.Resolve();
    const Obj* id = t->IsDict() ? t->FindObj("ID") : nullptr;
    id = id ? id->Resolve() : nullptr;
    if (!id || !id->IsArray() || id->Size() == 0) return {};
    const Obj* first = id->GetAt(0)->Resolve();
    if (!first->IsString()) return {};
    return Common::Bytes(first->GetBuffer().begin(), first->GetBuffer().end());
}

bool InitSecurityHandler(SDFDoc& doc, const void* custom_data, bool strict)
{
    doc.GetImpl().GetSecurityInit() = {SDFDocImpl::SecurityInit::e_custom_data, custom_data, {}};
    Obj* enc = EncryptEntry(doc);
    if (!enc) return true;
    DocSecHdlrInfo info = GetDocSecHdlrInfo(*enc);
    SecurityHandlerFactory make = SecurityManager::Instance().Find(info.filter, info.sub_filter);
    return InitStdSecurityHandlerInternal(doc.GetImpl(), make(*enc->Resolve(), FirstID(*doc.GetTrailer()), custom_data),
                                          strict);
}

bool InitStdSecurityHandler(SDFDoc& doc, std::string_view password, bool strict)
{
    doc.GetImpl().GetSecurityInit() = {SDFDocImpl::SecurityInit::e_password, nullptr, std::string(password)};
    Obj* enc = EncryptEntry(doc);
    if (!enc) return true;
    DocSecHdlrInfo info = GetDocSecHdlrInfo(*enc);
    if (info.filter != "Standard")
        QVX_THROW("filter == \"Standard\"", "Not a standard security handler. The custom filter needs to be registered.");
    SecurityHandlerFactory make = SecurityManager::Instance().Find(info.filter, info.sub_filter);
    std::string pw(password);
    return InitStdSecurityHandlerInternal(doc.GetImpl(), make(*enc->Resolve(), FirstID(*doc.GetTrailer()), pw.c_str()),
                                          strict);
}

bool InitStdSecurityHandlerInternal(SDFDocImpl& doc, std::unique_ptr<SecurityHandler> handler, bool strict)
{
    bool auth_ok = handler && handler->GetPermission(SecurityHandler::e_doc_open);
    if (!auth_ok) {
        if (strict) QVX_THROW("auth_ok", "Document authorization failed.");
        return false;
    }
    Obj* enc = EncryptEntry(doc.Facade());
    doc.SetEncryptObjNum(enc && enc->IsIndirect() ? enc->GetObjNum() : 0);
    std::shared_ptr<SecurityHandler> shared(std::move(handler));
    doc.SetSecurityHandler(shared);
    doc.SetOutputSecurityHandler(shared);
    // A rebuilt table lacks the objects of encrypted object streams until now.
    if (!doc.RebuiltObjStms().empty()) RegisterObjectStreams(doc);
    return true;
}

void ReinitSecurityHandler(SDFDocImpl& doc)
{
    SDFDocImpl::SecurityInit init = doc.GetSecurityInit();
    try {
        if (init.kind == SDFDocImpl::SecurityInit::e_password) InitStdSecurityHandler(doc.Facade(), init.password);
        else InitSecurityHandler(doc.Facade(), init.custom_data);
    } catch (const Common::Exception&) {
        // A damaged Encrypt dictionary leaves the document without a handler.
    }
    doc.GetSecurityInit() = init;
}

void RemoveSecurity(SDFDoc& doc)
{
    Obj* trailer = doc.GetTrailer();
    if (trailer->IsDict()) trailer->Erase("Encrypt");
    doc.GetImpl().SetOutputSecurityHandler(nullptr);
}

void EncryptOnSave(SDFDoc& doc, std::unique_ptr<StdSecurityHandler> handler)
{
    Obj* trailer = doc.GetTrailer();
    Common::Bytes id0 = FirstID(*trailer);
    if (id0.empty()) {
        id0 = Filters::RandomBytes(16);
        Obj* id = trailer->PutArray("ID");
        id->PushBackString(id0);
        id->PushBackString(id0);
    }
    handler->Prepare(id0);
    doc.GetImpl().SetOutputSecurityHandler(std::shared_ptr<SecurityHandler>(std::move(handler)));
}

}  // namespace qvx::SDF
