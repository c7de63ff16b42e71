#include "pdf/PageTree.h"

#include <algorithm>

#include "common/Exception.h"
#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "sdf/Indirect.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

struct Inherited {
    Obj* resources = nullptr;
    Obj* media_box = nullptr;
    Obj* crop_box = nullptr;
    Obj* rotate = nullptr;
};

struct Frame {
    Obj* node;        // a page tree node being walked (resolved)
    Obj* kids;        // its Kids array
    std::size_t next; // next kid index
    Inherited inh;    // values in force for its kids
};

Obj* Own(Obj* dict, std::string_view key) { return FindIn(dict, key); }

Inherited Merge(const Inherited& up, Obj* node)
{
    Inherited r = up;
    if (Obj* v = Own(node, "Resources"); v && v->IsDict()) r.resources = v;
    if (Obj* v = Own(node, "MediaBox")) r.media_box = v;
    if (Obj* v = Own(node, "CropBox")) r.crop_box = v;
    if (Obj* v = Own(node, "Rotate")) r.rotate = v;
    return r;
}

// The highest number of an object the file defines (a reference alone makes no object).
std::uint32_t HighestDefined(SDF::SDFDoc& doc)
{
    for (std::size_t i = doc.XRefSize(); i-- > 1;) {
        const auto* e = dynamic_cast<const SDF::Indirect*>(doc.GetObj(static_cast<std::uint32_t>(i)));
        if (e && !e->IsFree() && !e->IsPlaceholder()) return static_cast<std::uint32_t>(i);
    }
    return 0;
}

bool IsTreeNode(Obj* node)
{
    std::string_view type = FindName(node, "Type");
    if (type == "Pages") return true;
    if (type == "Page") return false;
    return FindArray(node, "Kids") != nullptr;
}

}  // namespace

PageTree::PageTree(SDF::SDFDoc& doc) : mp_doc(&doc)
{
    Obj* root = nullptr;
    try {
        root = FindDict(doc.GetRoot(), "Pages");
    } catch (const Common::Exception&) {
        m_repaired = true;  // no catalog: no pages
    }
    if (root) Read(root);
}

void PageTree::Read(Obj* root)
{
    std::vector<Frame> stack;
    auto on_stack = [&](Obj* node) {
        return std::any_of(stack.begin(), stack.end(), [&](const Frame& f) { return f.node == node; });
    };
    auto enter = [&](Obj* node, const Inherited& inh) {
        Obj* kids = FindArray(node, "Kids");
        if (!kids) {
            m_repaired = true;
            return;
        }
        if (static_cast<int>(stack.size()) >= Common::Limits::kMaxPageTreeDepth) {
            m_repaired = true;
            return;
        }
        stack.push_back({node, kids, 0, Merge(inh, node)});
    };
    if (!IsTreeNode(root)) {
        // A catalog whose Pages is itself a page.
        Inherited inh = Merge({}, root);
        m_pages.emplace_back(root, inh.resources, inh.media_box, inh.crop_box, inh.rotate);
        m_repaired = true;
        return;
    }
    enter(root, {});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next >= f.kids->Size()) {
            stack.pop_back();
            continue;
        }
        Obj* kid_ref = f.kids->GetAt(f.next++);
        Obj* kid = Deref(kid_ref);
        if (!kid || !kid->IsDict() || on_stack(kid)) {
            m_repaired = true;
            // Viewers show a blank page there; a readable object of another kind is no page.
            if ((!kid || kid->IsNull()) && LostToDamage(kid_ref)) m_lost.push_back({m_pages.size(), f.inh.media_box});
            continue;
        }
        // Kids refer to pages through their table entry; keep that handle. A kid held
        // directly in the array has none, which readers put up with and the format forbids.
        Obj* handle = kid_ref->IsIndirect() ? kid_ref : kid;
        if (!kid_ref->IsIndirect()) m_repaired = true;
        if (IsTreeNode(kid)) {
            Inherited inh = f.inh;
            enter(kid, inh);
        } else {
            Inherited inh = Merge(f.inh, kid);
            m_pages.emplace_back(handle, inh.resources, inh.media_box, inh.crop_box, inh.rotate);
            // A leaf that lost its Type (damage) is a page only to readers that guess.
            if (FindName(kid, "Type") != "Page") m_repaired = true;
        }
    }
    Obj* count = FindIn(root, "Count");
    if (!count || !count->IsNumber() || count->GetNumber() != static_cast<double>(m_pages.size())) m_repaired = true;
}

bool PageTree::LostToDamage(const Obj* kid_ref)
{
    const auto* e = dynamic_cast<const SDF::Indirect*>(kid_ref);
    if (!e || e->IsFree()) return false;
    // Its object was defined and could not be read.
    if (!e->IsPlaceholder()) return true;
    // Or the table had to be rebuilt and the object's header could not be found: a number
    // among those of the objects the scan found.
    if (!mp_doc->HasRepairedXRef()) return false;
    if (!m_highest_defined) m_highest_defined = HighestDefined(*mp_doc);
    return e->GetObjNum() < *m_highest_defined;
}

const Page& PageTree::GetPage(std::size_t i) const
{
    QVX_CHECK(i < m_pages.size(), "Page index is out of range");
    return m_pages[i];
}

long PageTree::IndexOf(const Obj* obj) const
{
    if (!obj) return -1;
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i].GetSDFObj() == obj || m_pages[i].GetSDFObj()->Resolve() == obj->Resolve()) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

}  // namespace qvx::PDF
