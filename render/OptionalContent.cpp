#include "render/OptionalContent.h"

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "sdf/Obj.h"
#include "sdf/SDFDoc.h"

namespace qvx::Render {

namespace {

void Collect(SDF::Obj* array, std::set<const SDF::Obj*>& out)
{
    if (!array) return;
    for (std::size_t i = 0; i < std::min<std::size_t>(array->Size(), Common::Limits::kMaxTreeNodes); ++i)
        if (SDF::Obj* o = PDF::Deref(array->GetAt(i))) out.insert(o);
}

}  // namespace

OptionalContent::OptionalContent(SDF::SDFDoc& doc)
{
    SDF::Obj* root = nullptr;
    try {
        root = doc.GetRoot();
    } catch (...) {
        return;
    }
    SDF::Obj* properties = PDF::FindDict(root, "OCProperties");
    // Without OCProperties the document has no optional content: marks show what they mark.
    m_none = !properties;
    SDF::Obj* d = PDF::FindDict(properties, "D");
    if (!d) return;
    m_base_off = PDF::FindName(d, "BaseState") == "OFF";
    Collect(PDF::FindArray(d, "OFF"), m_off);
    Collect(PDF::FindArray(d, "ON"), m_on);
}

bool OptionalContent::GroupOn(const SDF::Obj* group) const
{
    if (m_base_off) return m_on.count(group) > 0;
    return m_off.count(group) == 0;
}

bool OptionalContent::Visible(SDF::Obj* oc, int depth) const
{
    SDF::Obj* o = PDF::Deref(oc);
    if (m_none || !o || !o->IsDict() || depth > Common::Limits::kMaxColorSpaceNesting) return true;
    if (PDF::FindName(o, "Type") != "OCMD") return GroupOn(o);
    // A membership dictionary: its visibility expression when it has one, else its groups
    // combined by its policy P (AnyOn by default).
    if (SDF::Obj* ve = PDF::FindArray(o, "VE")) return Expression(ve, depth + 1);
    SDF::Obj* groups = PDF::FindIn(o, "OCGs");
    if (!groups) return true;
    std::set<const SDF::Obj*> list;
    if (groups->IsArray()) Collect(groups, list);
    else list.insert(groups);
    if (list.empty()) return true;
    std::string_view p = PDF::FindName(o, "P");
    int on = 0;
    for (const SDF::Obj* g : list) on += GroupOn(g);
    int n = static_cast<int>(list.size());
    if (p == "AllOn") return on == n;
    if (p == "AnyOff") return on < n;
    if (p == "AllOff") return on == 0;
    return on > 0;
}

bool OptionalContent::Expression(SDF::Obj* ve, int depth) const
{
    SDF::Obj* e = PDF::Deref(ve);
    if (!e || depth > Common::Limits::kMaxColorSpaceNesting) return true;
    if (e->IsDict()) return GroupOn(e);
    if (!e->IsArray() || e->Size() < 2) return true;
    SDF::Obj* op = PDF::Deref(e->GetAt(0));
    std::string_view name = op && op->IsName() ? op->GetName() : "";
    if (name == "Not") return !Expression(e->GetAt(1), depth + 1);
    bool all = name == "And";
    if (!all && name != "Or") return true;
    std::size_t n = std::min<std::size_t>(e->Size(), Common::Limits::kMaxTreeNodes);
    for (std::size_t i = 1; i < n; ++i)
        if (Expression(e->GetAt(i), depth + 1) != all) return !all;
    return all;
}

}  // namespace qvx::Render
