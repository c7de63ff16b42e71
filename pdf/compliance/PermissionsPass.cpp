// Pass 7: the catalog's Perms. PDF/A-1 allows none; later parts allow UR3 and DocMDP, and
// (except PDF/A-4) the DocMDP signature's references must not use a digest.
#include <string_view>

#include "pdf/ObjUtil.h"
#include "pdf/compliance/DriverPasses.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

namespace {

bool OnlyPermittedKeys(const SDF::Obj& perms)
{
    for (auto it = perms.DictBegin(); it != perms.DictEnd(); ++it)
        if (it.KeyText() != "UR3" && it.KeyText() != "DocMDP") return false;
    return true;
}

// The signature reference dictionaries of the DocMDP signature (its Reference array).
bool SignatureReferencesWithoutDigest(const SDF::Obj& doc_mdp)
{
    if (!doc_mdp.IsDict()) return true;
    SDF::Obj* refs = doc_mdp.FindObj("Reference");
    if (!refs || !refs->IsArray()) return true;
    for (std::size_t i = 0; i < refs->Size(); ++i) {
        SDF::Obj* ref = refs->GetAt(i);
        if (!ref->IsDict()) return false;
        for (const char* key : {"DigestLocation", "DigestMethod", "DigestValue"})
            if (ref->FindObj(key)) return false;
    }
    return true;
}

bool PermsComply(const PassContext& ctx, const SDF::Obj& perms)
{
    if (ctx.Part() == 1 || !perms.IsDict() || !OnlyPermittedKeys(perms)) return false;
    SDF::Obj* doc_mdp = perms.FindObj("DocMDP");
    return !doc_mdp || ctx.Part() == 4 || SignatureReferencesWithoutDigest(*doc_mdp);
}

}  // namespace

void RunPermissionsPass(PassContext& ctx)
{
    if (!ctx.Checks()) return;
    SDF::Obj* root = ctx.doc.GetRoot();
    SDF::Obj* perms = root->IsDict() ? root->FindObj("Perms") : nullptr;
    if (!Deref(perms) || PermsComply(ctx, *perms)) return;
    ctx.Report(SDF::e_PDFA11210, perms);
    if (ctx.state.convert) root->Erase("Perms");
}

}  // namespace qvx::PDF
