// The document-level file-syntax passes that precede the object pass: 1 (Encrypt),
// 2 (the file identifier) and 3 (the linearization identifier).
#include <string>
#include <vector>

#include "common/Exception.h"
#include "common/UString.h"
#include "pdf/compliance/DriverPasses.h"
#include "pdf/compliance/FileIdentifier.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::PDF {

namespace {

// PDF/UA: an encryption dictionary must grant accessibility (bit 10 of P).
void CheckEncryptForPDFUA(PassContext& ctx, SDF::Obj& encrypt)
{
    if (!encrypt.IsDict()) {
        ctx.Report(SDF::e_PDFA10, &encrypt);
        return;
    }
    SDF::Obj* p = encrypt.FindObj("P");
    bool granted = p && p->IsNumber() && (static_cast<std::int64_t>(p->GetNumber()) & 0x200) != 0;
    if (!granted) ctx.Report(SDF::e_PDFUA17161, &encrypt);
}

// The first object of the file is a linearization dictionary.
bool IsLinearized(SDF::SDFDoc& doc)
{
    std::uint32_t first = doc.GetImpl().GetFirstObjNum();
    if (first == 0 || first >= doc.XRefSize()) return false;
    try {
        SDF::Obj* dict = doc.GetObj(first);
        if (!dict->IsDict()) return false;
        for (const char* key : {"Linearized", "H", "O", "E", "N", "T", "L"})
            if (!dict->FindObj(key)) return false;
        return true;
    } catch (const Common::Exception&) {
        return false;  // the object pass reports an object that cannot be read
    }
}

// A trailer the reader rebuilt was read without the checks, and so without the repair
// conversion gives every other name that is no UTF-8: read as Latin-1 text, written so.
void WriteTrailerNamesAsUTF8(SDF::Obj& trailer)
{
    std::vector<std::string> keys;
    for (auto it = trailer.DictBegin(); it != trailer.DictEnd(); ++it) {
        if (!Common::IsValidUTF8(it.KeyText())) keys.emplace_back(it.KeyText());
        SDF::Obj* v = it.Value();
        if (!v->IsIndirect() && v->IsName() && !Common::IsValidUTF8(v->GetName())) v->SetName(Common::AsValidUTF8(v->GetName()));
    }
    for (const std::string& key : keys) trailer.Rename(key, Common::AsValidUTF8(key));
}

}  // namespace

void RunEncryptionPass(PassContext& ctx)
{
    SDF::Obj* trailer = ctx.doc.GetTrailer();
    SDF::Obj* encrypt = trailer->IsDict() ? trailer->FindObj("Encrypt") : nullptr;
    if (!encrypt || encrypt->IsNull()) return;
    if (ctx.Checks()) {
        ctx.Report(SDF::e_PDFA132);
        // Conversion writes the document unencrypted; objects read later are still decrypted.
        if (ctx.state.convert) ctx.doc.RemoveSecurity();
    } else if (ctx.state.is_pdfua) {
        CheckEncryptForPDFUA(ctx, *encrypt);
    }
}

void RunFileIdentifierPass(PassContext& ctx)
{
    SDF::Obj* trailer = ctx.doc.GetTrailer();
    if (!ctx.Checks()) return;
    if (ctx.state.convert && ctx.Part() >= 2 && trailer->IsDict()) WriteTrailerNamesAsUTF8(*trailer);
    // The parser has recorded 131 or 135 for this trailer; here it is repaired.
    if (HasUsableFileID(*trailer)) return;
    if (ctx.state.convert) trailer->Put("ID", MakeNewFileID(ctx.doc));
    else ctx.state.RequestStop();
}

void RunLinearizationIdPass(PassContext& ctx)
{
    if (!ctx.state.errors.Has(SDF::e_PDFA134)) return;
    if (ctx.Checks() && IsLinearized(ctx.doc)) return;
    ctx.state.errors.Remove(SDF::e_PDFA134);
}

}  // namespace qvx::PDF
