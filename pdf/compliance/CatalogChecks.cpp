#include "pdf/compliance/CatalogChecks.h"

#include <exception>
#include <unordered_set>
#include <vector>

#include "common/Limits.h"
#include "pdf/Field.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/ActionChecks.h"
#include "pdf/compliance/AppearanceRepair.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

void CheckCatalogActions(PassContext& ctx, Obj* root)
{
    const bool fix = ctx.state.convert;
    if (FindIn(root, "AA")) {
        if (ctx.Part() != 4) {
            ctx.Report(SDF::e_PDFA621, root);
            if (fix) root->Erase("AA");
        } else if (!HasOnlyPermittedTriggers(FindDict(root, "AA"))) {
            ctx.Report(SDF::e_PDFA46631, root);
            if (fix) root->Erase("AA");
        }
    }
    // OpenAction may also be a destination (an array), which is no action.
    Obj* open = FindDict(root, "OpenAction");
    if (open && !CheckAction(ctx, root->FindObj("OpenAction")) && fix) root->Erase("OpenAction");
}

void CheckForm(PassContext& ctx, Obj* root)
{
    Obj* form = FindDict(root, "AcroForm");
    if (!form) return;
    const bool fix = ctx.state.convert;
    if (Obj* na = FindIn(form, "NeedAppearances")) {
        if (!na->IsBool()) ctx.Report(SDF::e_PDFA11, form);
        else if (na->GetBool()) ctx.Report(SDF::e_PDFA92, form);
        if (fix && na->IsBool() && na->GetBool()) ctx.caches.Get<FieldsDrawnByViewer>().value = true;
        if (fix) form->Erase("NeedAppearances");
    }
    // XFA that the viewer must render itself (NeedsRendering) is dynamic.
    if (FindIn(form, "XFA") && FindBool(root, "NeedsRendering", false))
        ctx.Report(SDF::e_PDFUA17151, form);
    if (!ctx.Checks()) return;
    if (FindIn(form, "XFA")) {
        ctx.Report(SDF::e_PDFA93, form);
        if (fix) form->Erase("XFA");
    }
    // Fields that are not merged with their widget carry actions of their own.
    for (const Field& f : Field::ReadAll(ctx.doc)) {
        Obj* d = f.GetSDFObj();
        if (FindName(d, "Subtype") != "Widget") CheckFieldActions(ctx, d);
    }
}

// Outline items: First, Next and their children, each with an optional action.
void CheckOutlineActions(PassContext& ctx, Obj* root)
{
    Obj* outlines = FindDict(root, "Outlines");
    if (!outlines) return;
    std::vector<Obj*> todo;
    std::unordered_set<const Obj*> seen;
    if (Obj* first = FindDict(outlines, "First")) todo.push_back(first);
    while (!todo.empty() && seen.size() < Common::Limits::kMaxTreeNodes && !ctx.Stopped()) {
        Obj* item = todo.back();
        todo.pop_back();
        if (!seen.insert(item).second) continue;
        if (FindDict(item, "A") && !CheckAction(ctx, item->FindObj("A")) && ctx.state.convert) item->Erase("A");
        for (const char* key : {"Next", "First"})
            if (Obj* n = FindDict(item, key)) todo.push_back(n);
    }
}

// PDF/UA: the viewer shows the document's title rather than its file name.
void CheckDisplayDocTitle(PassContext& ctx, Obj* root)
{
    Obj* prefs = FindDict(root, "ViewerPreferences");
    Obj* shows = FindIn(prefs, "DisplayDocTitle");
    if (shows && shows->IsBool() && shows->GetBool()) return;
    ctx.Report(SDF::e_PDFUA17111, prefs ? prefs : root);
    if (!ctx.state.convert) return;
    if (!prefs) prefs = root->PutDict("ViewerPreferences");
    prefs->PutBool("DisplayDocTitle", true);
}

void CheckEntries(PassContext& ctx, Obj* root)
{
    if (ctx.Checks()) CheckCatalogActions(ctx, root);
    if (ctx.Stopped()) return;
    CheckForm(ctx, root);
    if (ctx.state.is_pdfua) CheckDisplayDocTitle(ctx, root);
    if (!ctx.Checks() || ctx.Stopped()) return;
    if (Obj* nr = FindIn(root, "NeedsRendering"); nr && !(nr->IsBool() && !nr->GetBool())) {
        ctx.Report(SDF::e_PDFA94, root);
        if (ctx.state.convert) root->Erase("NeedsRendering");
    }
    CheckOutlineActions(ctx, root);
}

}  // namespace

void CheckCatalogEntries(PassContext& ctx)
{
    Obj* root = Deref(ctx.doc.GetRoot());
    if (!root || !root->IsDict()) return;
    // A catalog entry that cannot be read is a damaged document, not the end of the run.
    try {
        CheckEntries(ctx, root);
    } catch (const std::exception&) {
        ctx.Report(SDF::e_PDFA11, root);
    }
}

}  // namespace qvx::PDF
