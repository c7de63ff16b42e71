// ActualText that encloses shown text: in the marked content's properties, or in the
// structure element (or one of its ancestors) that the marked content's MCID belongs to.
#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"

namespace qvx::PDF::FontRules {

using SDF::Obj;

namespace {

Obj* NumberTreeFind(Obj* node, double key, int depth)
{
    if (!node || !node->IsDict() || depth > Common::Limits::kMaxStructTreeDepth) return nullptr;
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
    for (int depth = 0; elem && elem->IsDict() && depth < Common::Limits::kMaxStructTreeDepth; ++depth) {
        if (FindIn(elem, "ActualText")) return true;
        elem = FindDict(elem, "P");
    }
    return false;
}

void CheckActualTextValue(PassContext& ctx, const Obj* props, Obj* stream)
{
    Obj* text = FindIn(props, "ActualText");
    if (!text || !text->IsString()) return;
    Common::ByteView b = text->GetBuffer();
    std::u16string units;
    if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        for (std::size_t i = 2; i + 1 < b.size(); i += 2) units += static_cast<char16_t>((b[i] << 8) | b[i + 1]);
    } else if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        // UTF-8 (PDF 2.0): the three-byte forms of U+E000..U+F8FF and the planes 15 and 16.
        for (std::size_t i = 3; i + 1 < b.size(); ++i) {
            bool bmp = (b[i] == 0xEE) || (b[i] == 0xEF && b[i + 1] >= 0x80 && b[i + 1] <= 0xA3);
            bool planes = b[i] == 0xF4 || (b[i] == 0xF3 && b[i + 1] >= 0xB0);
            if (bmp || planes) units += static_cast<char16_t>(0xE000);
        }
    }
    if (HasPrivateUse(units)) ctx.Report(SDF::e_PDFA4621081, stream);
}

}  // namespace qvx::PDF::FontRules
