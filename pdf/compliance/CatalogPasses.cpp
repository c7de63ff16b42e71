// The catalog passes that follow the permissions: 8 (the name dictionary: EmbeddedFiles
// 1112 and 4695, JavaScript 622, AlternatePresentations 6101), 9 (OCProperties: 1131,
// 69001 and 69003 for D and every entry of Configs, 10), 10 (Requirements 11000) and 11
// (Version 461121 at PDF/A-4). A null entry is no entry.
#include <memory>

#include "pdf/ObjUtil.h"
#include "pdf/compliance/DriverPasses.h"
#include "pdf/compliance/HiddenContent.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

Obj* Catalog(PassContext& ctx)
{
    Obj* root = Deref(ctx.doc.GetRoot());
    return root && root->IsDict() ? root : nullptr;
}

// A text value (string or name) as bytes, for a name tree key.
bool TextOf(Obj* v, std::string& out)
{
    v = Deref(v);
    if (v && v->IsString()) {
        Common::ByteView b = v->GetBuffer();
        out.assign(b.begin(), b.end());
        return true;
    }
    if (v && v->IsName()) {
        out = v->GetName();
        return true;
    }
    return false;
}

// PDF/A-4f: an EmbeddedFiles tree listing the Filespec dictionaries of the catalog's AF.
void BuildEmbeddedFiles(Obj* root, Obj* names)
{
    Obj* tree = names->PutDict("EmbeddedFiles");
    Obj* list = tree->PutArray("Names");
    Obj* af = FindArray(root, "AF");
    for (std::size_t i = 0; af && i < af->Size(); ++i) {
        Obj* ref = af->GetAt(i);
        Obj* filespec = Deref(ref);
        std::string key;
        if (!ref->IsIndirect() || !filespec || !filespec->IsDict()) continue;
        if (!TextOf(filespec->FindObj("UF"), key) && !TextOf(filespec->FindObj("F"), key)) continue;
        list->PushBackString(Common::AsBytes(std::string_view(key)));
        list->PushBack(ref);
    }
}

// An optional content configuration: a string Name (69001), and before PDF/A-4 no AS
// (69003).
void CheckConfiguration(PassContext& ctx, Obj* oc, Obj* config, bool report_name)
{
    const bool fix = ctx.state.convert;
    Obj* name = FindIn(config, "Name");
    if (!name || !name->IsString()) {
        if (report_name) ctx.Report(SDF::e_PDFA69001, oc);
        if (fix) config->PutString("Name", std::string_view("Auto"));
    }
    if (ctx.Part() != 4 && FindIn(config, "AS")) {
        ctx.Report(SDF::e_PDFA69003, oc);
        if (fix) config->Erase("AS");
    }
}

}  // namespace

void RunNameTreesPass(PassContext& ctx)
{
    Obj* root = Catalog(ctx);
    if (!ctx.Checks() || !root) return;
    Obj* names = FindDict(root, "Names");
    const bool fix = ctx.state.convert;
    // PDF/A-4f lists its embedded files, so it needs a name dictionary to hold them.
    if (!names && ctx.state.level == 11) {
        ctx.Report(SDF::e_PDFA4695, root);
        if (fix) BuildEmbeddedFiles(root, root->PutDict("Names"));
        return;
    }
    if (!names) return;
    if (ctx.Part() == 1 && FindIn(names, "EmbeddedFiles")) {
        ctx.Report(SDF::e_PDFA1112, names);
        if (fix) names->Erase("EmbeddedFiles");
    }
    if (ctx.state.level == 11 && !FindIn(names, "EmbeddedFiles")) {
        ctx.Report(SDF::e_PDFA4695, names);
        if (fix) BuildEmbeddedFiles(root, names);
    }
    if (FindIn(names, "JavaScript")) {
        ctx.Report(SDF::e_PDFA622, names);
        if (fix) names->Erase("JavaScript");
    }
    if (FindIn(names, "AlternatePresentations")) {
        ctx.Report(SDF::e_PDFA6101, names);
        if (fix) names->Erase("AlternatePresentations");
    }
}

void RunOptionalContentPass(PassContext& ctx)
{
    Obj* root = Catalog(ctx);
    const int level = ctx.state.level;
    if (!root || !(ctx.Checks() || ctx.state.is_pdfua)) return;
    // Where layers are not allowed, an OCProperties of any kind is one too many.
    Obj* oc = FindIn(root, "OCProperties");
    if (!oc) return;
    const bool fix = ctx.state.convert;
    if (ctx.Part() == 1 || level >= 12) {
        ctx.Report(SDF::e_PDFA1131, root);
        if (!fix) return;
        // Without the layers, what they kept hidden would show.
        if (ctx.Part() == 1) HideOffContent(ctx);
        root->Erase("OCProperties");
        return;
    }
    // One of another kind than a dictionary has no OCGs either.
    if (!FindIn(oc, "OCGs")) {
        if (fix) root->Erase("OCProperties");
        else ctx.state.RequestStop();
        return;
    }
    Obj* d = FindDict(oc, "D");
    const bool created = !d;
    if (created) {
        ctx.Report(SDF::e_PDFA10, oc);
        if (!fix) return;
        d = oc->PutDict("D");
    }
    CheckConfiguration(ctx, oc, d, !created);
    // The other configurations a viewer may offer are held to the same rules.
    Obj* configs = FindArray(oc, "Configs");
    for (std::size_t i = 0; configs && i < configs->Size(); ++i)
        if (Obj* c = Deref(configs->GetAt(i)); c && c->IsDict()) CheckConfiguration(ctx, oc, c, true);
}

void RunRequirementsPass(PassContext& ctx)
{
    Obj* root = Catalog(ctx);
    if (!ctx.Checks() || !root || !FindIn(root, "Requirements")) return;
    ctx.Report(SDF::e_PDFA11000, root);
    if (ctx.state.convert) root->Erase("Requirements");
}

void RunCatalogVersionPass(PassContext& ctx)
{
    Obj* root = Catalog(ctx);
    if (!ctx.Checks() || ctx.Part() != 4 || !root) return;
    Obj* v = FindIn(root, "Version");
    if (!v) return;
    std::string_view s = v->IsName() ? v->GetName() : std::string_view();
    bool ok = s.size() == 3 && s[0] == '2' && s[1] == '.' && s[2] >= '0' && s[2] <= '9';
    if (ok) return;
    ctx.Report(SDF::e_PDFA461121, root->FindObj("Version"));
    if (ctx.state.convert) root->Erase("Version");
}

}  // namespace qvx::PDF
