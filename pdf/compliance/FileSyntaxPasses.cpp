// The document-level file-syntax passes that precede the object pass: 1 (Encrypt),
// 2 (the file identifier) and 3 (the linearization identifier).
#include "common/Exception.h"
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
    // The parser has recorded 131 or 135 for this trailer; here it is repaired.
    SDF::Obj* trailer = ctx.doc.GetTrailer();
    if (!ctx.Checks() || HasUsableFileID(*trailer)) return;
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
