// ActualText that encloses shown text: in the marked content's properties, or in the
// structure element (or one of its ancestors) that the marked content's MCID belongs to.
#include "pdf/ObjUtil.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"

namespace qvx::PDF::FontRules {

using SDF::Obj;

namespace {

// Number trees and structure trees deeper than this are not followed.
constexpr int kMaxTreeDepth = 32;

Obj* NumberTreeFind(Obj* node, double key, int depth)
{
    if (!node || !node->IsDict() || depth > kMaxTreeDepth) return nullptr;
    if (Obj* nums = FindArray(node, "Nums")) {
        for (std::size_t i = 0; i + 1 < nums->Size(); i += 2) {
            Obj* k = Deref(nums->GetAt(i));
            if (k && k->IsNumber() && k->GetNumber() == key) return Deref(nums->GetAt(i + 1));
        }
    }
    Obj* kids = FindArray(node, "Kids");
    for (std::size_t i = 0; kids && i < kids->Size(); ++i) {
        Obj* kid = Deref(kids->GetAt(i));
        Obj* limits = FindArray(kid, "Limits");
        if (limits && (key < NumberAt(limits, 0, key) || key > NumberAt(limits, 1, key))) continue;
        if (Obj* found = NumberTreeFind(kid, key, depth + 1)) return found;
    }
    return nullptr;
}

}  // namespace

Obj* PageStructParents(SDF::SDFDoc& doc, const Page& page)
{
    Obj* key = FindIn(page.GetSDFObj(), "StructParents");
    if (!key || !key->IsNumber()) return nullptr;
    Obj* tree = FindDict(FindDict(doc.GetRoot(), "StructTreeRoot"), "ParentTree");
    Obj* found = NumberTreeFind(tree, key->GetNumber(), 0);
    return found && found->IsArray() ? found : nullptr;
}

bool MarkedContentHasActualText(const Obj* props, const Obj* struct_parents)
{
    if (!props) return false;
    if (FindIn(props, "ActualText")) return true;
    Obj* mcid = FindIn(props, "MCID");
    if (!struct_parents || !mcid || !mcid->IsNumber()) return false;
    double i = mcid->GetNumber();
    if (!(i >= 0 && i < static_cast<double>(struct_parents->Size()))) return false;
    Obj* elem = Deref(struct_parents->GetAt(static_cast<std::size_t>(i)));
    for (int depth = 0; elem && elem->IsDict() && depth < kMaxTreeDepth; ++depth) {
        if (FindIn(elem, "ActualText")) return true;
        elem = FindDict(elem, "P");
    }
    return false;
}

}  // namespace qvx::PDF::FontRules
