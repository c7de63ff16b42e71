// Filespec dictionaries (Type Filespec or F) and their embedded files:
// F and UF (81), and per level either the PDF/A-3 description of the embedded file
// (11, 1, 101, 2, 3) or a nested run that tells whether it is a PDF/A file itself; an
// embedded file that is neither records 1111.
#include <cctype>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/PDFDate.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/ObjectChecks.h"
#include "pdf/compliance/PDFACompliance.h"
#include "sdf/Dict.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Object numbers of the Filespec dictionaries that some object of the document lists in
// its AF (pages, images and other parts may carry their own associated files).
struct AssociatedFiles {
    explicit AssociatedFiles(SDF::SDFDoc& doc)
    {
        ForEachObject(doc, [&](Obj* obj) {
            Obj* af = obj->IsDict() || obj->IsStream() ? FindArray(obj, "AF") : nullptr;
            for (std::size_t i = 0; af && i < af->Size(); ++i)
                if (af->GetAt(i)->IsIndirect()) nums.insert(af->GetAt(i)->GetObjNum());
        });
    }
    std::set<std::uint32_t> nums;
};

// Nested runs on embedded files (each may embed further files).
thread_local int t_run_depth = 0;

// A MIME type: type/subtype, each of word characters, '-', '+' and '.'.
bool IsMimeType(std::string_view s)
{
    auto part_ok = [](std::string_view p) {
        if (p.empty()) return false;
        for (unsigned char c : p)
            if (!(std::isalnum(c) || c == '_' || c == '-' || c == '+' || c == '.')) return false;
        return true;
    };
    std::size_t slash = s.find('/');
    return slash != std::string_view::npos && part_ok(s.substr(0, slash)) && part_ok(s.substr(slash + 1));
}

void CheckNames(PassContext& ctx, Obj& filespec)
{
    Obj* f = FindIn(&filespec, "F");
    Obj* uf = FindIn(&filespec, "UF");
    if (!f) ctx.Report(SDF::e_PDFA81, &filespec);
    if (!uf) ctx.Report(SDF::e_PDFA81, &filespec);
    if (!ctx.state.convert || (f && uf) || (!f && !uf)) return;
    if (!f) filespec.Put("F", uf->Clone());
    else filespec.Put("UF", f->Clone());
}

// Whether obj is container or stands inside it; parents form a chain up to the table entry.
bool StandsIn(const Obj* obj, const Obj* container)
{
    for (const Obj* p = obj; p && container; p = p->GetParent())
        if (p == container) return true;
    return false;
}

// PDF/A-3: every embedded stream described by its MIME type and ModDate.
void DescribeStreams(PassContext& ctx, Obj& filespec, Obj* ef)
{
    const bool fix = ctx.state.convert;
    for (auto it = ef->DictBegin(); it != ef->DictEnd(); ++it) {
        Obj* file = Deref(it.Value());
        if (!file || !file->IsStream()) {
            ctx.Report(SDF::e_PDFA11, &filespec);
            continue;
        }
        Obj* subtype = FindIn(file, "Subtype");
        if (!subtype || !subtype->IsName() || !IsMimeType(subtype->GetName())) {
            ctx.Report(SDF::e_PDFA1, file);
            if (fix) file->PutName("Subtype", "application/octet-stream");
        }
        Obj* params = FindDict(file, "Params");
        Obj* mod = FindIn(params, "ModDate");
        if (params && !(mod && mod->IsString())) {
            ctx.Report(SDF::e_PDFA101, params);
            if (!fix) continue;
            Obj* created = FindIn(params, "CreationDate");
            std::string date = PDFDate::Now().Format();
            if (created && created->IsString()) date.assign(created->GetBuffer().begin(), created->GetBuffer().end());
            params->PutString("ModDate", std::string_view(date));
        }
    }
}

// PDF/A-3: the embedded streams described, the relationship named, and the Filespec
// dictionary listed in the catalog's AF. An EF of another kind than a dictionary embeds
// a file no one can describe.
void DescribeEmbedded(PassContext& ctx, Obj& filespec, Obj* ef)
{
    const bool fix = ctx.state.convert;
    if (ef) {
        DescribeStreams(ctx, filespec, ef);
    } else {
        ctx.Report(SDF::e_PDFA11, &filespec);
        if (fix) filespec.Erase("EF");
    }
    Obj* relationship = FindIn(&filespec, "AFRelationship");
    if (!relationship || !relationship->IsName()) {
        ctx.Report(SDF::e_PDFA2, &filespec);
        if (fix) filespec.PutName("AFRelationship", "Unspecified");
    }
    Obj* root = Deref(ctx.doc.GetRoot());
    if (!root || !root->IsDict()) return;
    Obj* af = FindArray(root, "AF");
    const std::uint32_t num = PassContext::EnclosingObjNum(&filespec);
    if (!af && num && ctx.caches.Get<AssociatedFiles>(ctx.doc).nums.count(num)) return;
    if (!af) {
        ctx.Report(SDF::e_PDFA3, &filespec);
        // An AF of another kind gives way to an array, unless this very dictionary stands
        // in it (a catalog whose AF is its one Filespec dictionary itself).
        if (!fix || StandsIn(&filespec, FindIn(root, "AF"))) return;
        af = root->PutArray("AF");
    }
    if (!fix) return;
    Obj* holder = filespec.GetParent() && filespec.GetParent()->IsIndirect() ? filespec.GetParent() : nullptr;
    for (std::size_t i = 0; i < af->Size(); ++i)
        if (Deref(af->GetAt(i)) == &filespec) return;
    if (holder) af->PushBack(holder);
}

// Whether an embedded stream is a PDF/A file of a level the host accepts.
bool IsEmbeddedPDFA(PassContext& ctx, Obj* ef)
{
    if (t_run_depth >= Common::Limits::kMaxEmbeddedRunDepth) return false;
    Obj* file = FindStream(ef, "UF");
    if (!file) file = FindStream(ef, "F");
    if (!file) return false;
    std::optional<Common::Bytes> data = ReadDecoded(file, Common::Limits::kMaxEmbeddedFileBytes);
    if (!data || data->empty()) return false;
    std::vector<std::int32_t> levels{1, 2, 3, 4, 5};
    if (ctx.Part() == 4) levels.push_back(9);
    ++t_run_depth;
    bool ok = false;
    for (std::int32_t level : levels) {
        try {
            PDFACompliance run(false, *data, nullptr, level, nullptr, 0, 10, true);
            ok = run.GetErrorCount() == 0;
        } catch (const std::exception&) {
            ok = false;
        }
        if (ok) break;
    }
    --t_run_depth;
    return ok;
}

void CheckEmbedded(PassContext& ctx, Obj& filespec)
{
    Obj* ef = FindIn(&filespec, "EF");
    if (!ef) return;
    if (!ef->IsDict()) ef = nullptr;
    const int level = ctx.state.level;
    bool compliant = false;
    if (ctx.Part() == 3 || ctx.Part() == 4) {
        DescribeEmbedded(ctx, filespec, ef);
        compliant = true;
    }
    if (ctx.Part() == 2 || level == 9) compliant = IsEmbeddedPDFA(ctx, ef);
    if (compliant) return;
    ctx.Report(SDF::e_PDFA1111, &filespec);
    if (ctx.state.convert) filespec.Erase("EF");
}

}  // namespace

bool IsFileSpec(const Obj& dict)
{
    std::string_view type = FindName(&dict, "Type");
    return type == "Filespec" || type == "F";
}

void CheckNonStreamDict(PassContext& ctx, Obj& dict)
{
    if (!ctx.Checks() && !ctx.state.is_pdfua) return;
    if (!IsFileSpec(dict)) return;
    if (ctx.state.is_pdfua || ctx.Part() >= 2) CheckNames(ctx, dict);
    if (ctx.Checks()) CheckEmbedded(ctx, dict);
}

}  // namespace qvx::PDF
