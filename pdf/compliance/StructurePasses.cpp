// The logical-structure passes: 4 (MarkInfo: 822 at levels 1A, 2A, 3A; PDF/UA Suspects
// -1714), 5 (StructTreeRoot 8331, structure elements 8332, RoleMap 8341 with the PDF/UA
// rules -1716 and -1717, ActualText 4621081 at PDF/A-4) and 14 (conversion with structure
// data, which the tool never passes).
#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/DriverPasses.h"
#include "pdf/compliance/StructureTypes.h"
#include "sdf/Dict.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

bool IsLevelA(const PassContext& ctx) { return ctx.state.level == 1 || ctx.state.level == 3 || ctx.state.level == 6; }

Obj* Catalog(PassContext& ctx)
{
    Obj* root = Deref(ctx.doc.GetRoot());
    return root && root->IsDict() ? root : nullptr;
}

bool HasPrivateUse(const Obj* text)
{
    if (!text || !text->IsString()) return false;
    // Planes 15 and 16 are private use too; their high surrogates are DB80 to DBFF.
    const Common::UString value = text->GetAsPDFText();
    for (char16_t u : value.Units())
        if ((u >= 0xE000 && u <= 0xF8FF) || (u >= 0xDB80 && u <= 0xDBFF)) return true;
    return false;
}

// Whether type is standard or leads, through the role map, to a standard type.
bool MapsToStandard(const Obj* map, std::string_view type)
{
    Obj* target = nullptr;
    for (std::size_t hops = 0; hops <= (map ? map->Size() : 0); ++hops) {
        if (IsStandardStructureType(type)) return true;
        target = FindIn(map, type);
        if (!target || !target->IsName()) return false;
        type = target->GetName();
    }
    return false;
}

// Whether following the map from type comes back to a type already visited.
bool MapsInCircle(const Obj* map, std::string_view type)
{
    std::vector<std::string_view> visited{type};
    for (std::size_t hops = 0; hops <= map->Size(); ++hops) {
        Obj* target = FindIn(map, type);
        if (!target || !target->IsName()) return false;
        type = target->GetName();
        if (std::find(visited.begin(), visited.end(), type) != visited.end()) return true;
        visited.push_back(type);
    }
    return false;
}

// Each role-map entry must lead, through the map, to a standard type. PDF/UA also names
// chains that come back to a type already visited and standard types mapped elsewhere.
void CheckRoleMap(PassContext& ctx, Obj* tree_root)
{
    Obj* map = FindDict(tree_root, "RoleMap");
    if (!map) return;
    const bool ua = ctx.state.is_pdfua;
    std::vector<std::string> unmapped;
    for (auto it = map->DictBegin(); it != map->DictEnd(); ++it) {
        std::string_view type = it.KeyText();
        if (ua && IsStandardStructureType(type)) {
            ctx.Report(SDF::e_PDFUA1717, map);
            continue;
        }
        if (MapsToStandard(map, type)) continue;
        ctx.Report(ua && MapsInCircle(map, type) ? SDF::e_PDFUA1716 : SDF::e_PDFA8341, map);
        unmapped.emplace_back(type);
    }
    // As for the elements' types: an entry that leads nowhere (or round in a circle) leads
    // to NonStruct.
    if (ctx.state.convert && !ua && SDF::InForce(SDF::e_PDFA8341, ctx.state.level))
        for (const std::string& type : unmapped) map->PutName(type, "NonStruct");
}

// Every structure element below the root: at the A levels its Type (8332) and its type's
// role mapping (8341); at PDF/A-4 its ActualText.
void CheckElements(PassContext& ctx, Obj* tree_root)
{
    const bool fix = ctx.state.convert, level_a = IsLevelA(ctx);
    Obj* map = FindDict(tree_root, "RoleMap");
    std::vector<Obj*> todo{tree_root->FindObj("K")};
    std::unordered_set<const Obj*> seen;
    while (!todo.empty() && seen.size() < Common::Limits::kMaxTreeNodes && !ctx.Stopped()) {
        Obj* ref = todo.back();
        todo.pop_back();
        Obj* node = Deref(ref);
        if (!node || !seen.insert(node).second) continue;
        if (node->IsArray()) {
            for (std::size_t i = node->Size(); i-- > 0;) todo.push_back(node->GetAt(i));
            continue;
        }
        // Marked-content and object references end a branch; elements name their type in S.
        if (!node->IsDict() || !node->FindObj("S")) continue;
        if (level_a && !IsNameOf(FindIn(node, "Type"), "StructElem")) {
            ctx.Report(SDF::e_PDFA8332, ref && ref->IsIndirect() ? node : nullptr);
            if (fix) node->PutName("Type", "StructElem");
        }
        std::string_view type = FindName(node, "S");
        if (!type.empty() && !MapsToStandard(map, type)) {
            ctx.Report(SDF::e_PDFA8341, node);
            // A type PDF 2.0 added (as browsers tag emphasis) is mapped to the older type
            // it stands for, when the map says nothing of it; any other to NonStruct, the
            // grouping of no meaning of its own: what it holds keeps its types, and readers
            // that know no better read it through.
            std::string_view old = PDF17EquivalentOf(type);
            if (fix && SDF::InForce(SDF::e_PDFA8341, ctx.state.level)) {
                if (!map) map = tree_root->PutDict("RoleMap");
                map->PutName(type, !old.empty() && !FindIn(map, type) ? old : "NonStruct");
            }
        }
        if (HasPrivateUse(FindIn(node, "ActualText"))) ctx.Report(SDF::e_PDFA4621081, node);
        todo.push_back(node->FindObj("K"));
    }
}

}  // namespace

void RunMarkInfoPass(PassContext& ctx)
{
    Obj* root = Catalog(ctx);
    if (!root) return;
    Obj* mark_info = FindDict(root, "MarkInfo");
    if (FindBool(mark_info, "Suspects", false)) ctx.Report(SDF::e_PDFUA1714, mark_info);
    if (!ctx.Checks()) return;
    Obj* marked = FindIn(mark_info, "Marked");
    if (marked && marked->IsBool() && marked->GetBool()) return;
    ctx.Report(SDF::e_PDFA822);
    // A structure tree whose elements the content's marks are tied to (through its parent
    // tree) is what the flag says; only the flag was lost. Without one, nothing says the
    // content is tagged, and the copy does not claim it.
    Obj* tree_root = FindDict(root, "StructTreeRoot");
    Obj* kids = FindIn(tree_root, "K");
    const bool tagged = kids && !(kids->IsArray() && kids->Size() == 0) && FindDict(tree_root, "ParentTree");
    if (ctx.state.convert && tagged && SDF::InForce(SDF::e_PDFA822, ctx.state.level)) {
        if (!mark_info) mark_info = root->PutDict("MarkInfo");
        mark_info->PutBool("Marked", true);
    }
}

void RunStructTreePass(PassContext& ctx)
{
    Obj* root = Catalog(ctx);
    if (!root) return;
    if (ctx.state.is_pdfua) {
        if (Obj* tree_root = FindDict(root, "StructTreeRoot")) CheckRoleMap(ctx, tree_root);
        return;
    }
    if (!ctx.Checks()) return;
    Obj* tree_root = FindDict(root, "StructTreeRoot");
    if (!tree_root) {
        if (!IsLevelA(ctx)) return;
        ctx.Report(SDF::e_PDFA8331);
        if (ctx.state.convert) {
            Obj* created = ctx.doc.CreateIndirectDict();
            created->PutName("Type", "StructTreeRoot");
            root->Put("StructTreeRoot", created);
        }
        return;
    }
    if (IsLevelA(ctx) || ctx.Part() == 4) CheckElements(ctx, tree_root);
    CheckRoleMap(ctx, tree_root);
}

void RunStructureDataPass(PassContext&) {}

}  // namespace qvx::PDF
