#include "sdf/LinearizePlan.h"

#include <string_view>
#include <unordered_set>

#include "common/Exception.h"
#include "common/Limits.h"
#include "sdf/ObjWalk.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::SDF {

namespace {

constexpr const char* kInherited[] = {"Resources", "MediaBox", "CropBox", "Rotate"};

// The page objects in order. Inherited attributes move from the page tree into each page
// (readers that check the layout expect every page to name what it uses). Empty when a
// page is not an indirect object.
std::vector<Indirect*> CollectPages(Obj& tree_root)
{
    struct Node {
        Obj* node;
        int depth;
        Obj* inherited[4];
    };
    std::vector<Indirect*> pages;
    std::vector<Obj*> nodes;
    std::unordered_set<const Obj*> seen;
    std::vector<Node> stack{{&tree_root, 0, {}}};
    while (!stack.empty()) {
        Node cur = stack.back();
        stack.pop_back();
        if (!cur.node->IsIndirect()) return {};
        if (!seen.insert(cur.node).second) continue;
        Obj* d = cur.node->Resolve();
        if (!d->IsDict()) continue;
        Obj* kids = d->FindObj("Kids");
        Obj* type = d->FindObj("Type");
        bool is_page = !(kids && kids->IsArray()) || (type && type->IsName() && type->GetName() == "Page");
        if (is_page) {
            for (int k = 0; k < 4; ++k)
                if (cur.inherited[k] && !d->FindObj(kInherited[k])) d->Put(kInherited[k], cur.inherited[k]);
            pages.push_back(static_cast<Indirect*>(cur.node));
            continue;
        }
        if (cur.depth >= Common::Limits::kMaxPageTreeDepth) continue;
        nodes.push_back(d);
        Node child{nullptr, cur.depth + 1, {}};
        for (int k = 0; k < 4; ++k) {
            Obj* v = d->FindObj(kInherited[k]);
            child.inherited[k] = v ? v : cur.inherited[k];
        }
        for (std::size_t i = kids->Size(); i-- > 0;) {
            child.node = kids->GetAt(i);
            stack.push_back(child);
        }
    }
    for (Obj* node : nodes)
        for (const char* key : kInherited) node->Erase(key);
    return pages;
}

bool IsOpenDocKey(std::string_view key)
{
    return key == "ViewerPreferences" || key == "PageMode" || key == "Threads" || key == "OpenAction" ||
           key == "AcroForm";
}

// What the walks need to know of an entry, found once: null objects are not written (a
// reference to one reads as null anyway), and page objects, in the page tree or not, end
// the walk of anything but their own page.
class EntryKinds {
public:
    explicit EntryKinds(std::size_t size) : m_kind(size, e_unknown) {}
    void MarkPage(std::uint32_t n) { m_kind[n] = e_page; }
    bool IsNull(Indirect& e) { return Kind(e) == e_null; }
    bool IsPage(Indirect& e) { return Kind(e) == e_page; }

private:
    enum : std::uint8_t { e_unknown, e_null, e_page, e_other };
    std::uint8_t Kind(Indirect& e)
    {
        std::uint8_t& k = m_kind[e.GetObjNum()];
        if (k != e_unknown) return k;
        k = e_other;
        try {
            Obj* o = e.Resolve();
            Obj* type = o->IsDict() ? o->FindObj("Type") : nullptr;
            if (o->IsNull()) k = e_null;
            else if (type && type->IsName() && type->GetName() == "Page") k = e_page;
        } catch (const Common::Exception&) {
            // Written, and reported, as it is.
        }
        return k;
    }
    std::vector<std::uint8_t> m_kind;
};

}  // namespace

LinearizePlan PlanLinearized(SDFDocImpl& doc, Obj& trailer)
{
    LinearizePlan plan;
    Obj* root = trailer.FindObj("Root");
    std::vector<Indirect*> pages;
    try {
        Obj* tree = root && root->IsIndirect() && root->IsDict() ? root->FindObj("Pages") : nullptr;
        if (tree) pages = CollectPages(*tree);
    } catch (const Common::Exception&) {
        // A catalog or page tree that cannot be read is reported by the plain save.
        pages.clear();
    }
    if (pages.empty()) return plan;
    Obj* root_dict = root->Resolve();
    // The outline hint table names the outline dictionary as an object.
    if (Obj* outlines = root_dict->FindObj("Outlines"); outlines && !outlines->IsIndirect() && outlines->IsDict())
        root_dict->Put("Outlines", doc.AddObj(outlines->Clone()));

    const std::size_t size = doc.XRefSize();
    std::vector<bool> open(size, false), multi(size, false), placed(size, false);
    std::vector<std::int32_t> first_user(size, -1);
    EntryKinds kinds(size);
    for (Indirect* p : pages) kinds.MarkPage(p->GetObjNum());

    Obj* mode = root_dict->FindObj("PageMode");
    const bool outlines_at_open = mode && mode->IsName() && mode->GetName() == "UseOutlines";
    WalkRules open_rules;
    open_rules.enter = [&](Indirect& e) {
        std::uint32_t n = e.GetObjNum();
        if (open[n] || kinds.IsPage(e) || kinds.IsNull(e)) return false;
        open[n] = true;
        plan.open_doc.push_back(n);
        return true;
    };
    open_rules.follow = [&](const Obj& d, std::string_view key) {
        return &d != root_dict || IsOpenDocKey(key);
    };
    WalkReachable(*root, open_rules);

    // Objects the document uses outside its pages and outlines.
    std::vector<bool> doc_used(size, false);
    WalkRules doc_rules;
    doc_rules.enter = [&](Indirect& e) {
        std::uint32_t n = e.GetObjNum();
        if (open[n] || doc_used[n] || kinds.IsPage(e) || kinds.IsNull(e)) return false;
        doc_used[n] = true;
        return true;
    };
    doc_rules.follow = [&](const Obj& d, std::string_view key) {
        if (&d == root_dict) return key != "Pages" && key != "Outlines" && !IsOpenDocKey(key);
        return &d != &trailer || key != "Root";
    };
    WalkReachable(trailer, doc_rules);
    WalkReachable(*root_dict, doc_rules);

    std::vector<std::vector<std::uint32_t>> used(pages.size());
    std::vector<std::uint32_t> stamp(size, 0);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const Obj* page_dict = pages[i]->Resolve();
        const auto mark = static_cast<std::uint32_t>(i + 1);
        WalkRules rules;
        rules.enter = [&](Indirect& e) {
            std::uint32_t n = e.GetObjNum();
            if (open[n] || stamp[n] == mark || (&e != pages[i] && kinds.IsPage(e)) || kinds.IsNull(e)) return false;
            stamp[n] = mark;
            if (first_user[n] < 0) first_user[n] = static_cast<std::int32_t>(i);
            else if (first_user[n] != static_cast<std::int32_t>(i)) multi[n] = true;
            used[i].push_back(n);
            return true;
        };
        // The page tree above and thumbnails are not part of a page.
        rules.follow = [&](const Obj& d, std::string_view key) {
            return &d != page_dict || (key != "Parent" && key != "Thumb");
        };
        WalkReachable(*pages[i], rules);
    }

    plan.outlines_at_open = outlines_at_open;
    if (Obj* outline_root = root_dict->FindObj("Outlines")) {
        WalkRules rules;
        rules.enter = [&](Indirect& e) {
            std::uint32_t n = e.GetObjNum();
            if (stamp[n] == ~0u || kinds.IsPage(e) || kinds.IsNull(e)) return false;
            stamp[n] = ~0u;
            ++plan.outline_reach;
            if (!open[n] && first_user[n] < 0) plan.outlines.push_back(n);
            return true;
        };
        WalkReachable(*outline_root, rules);
    }

    plan.pages.resize(pages.size());
    plan.shared_refs.resize(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        for (std::uint32_t n : used[i]) {
            // Beyond the first page, what the document also uses belongs to neither.
            if (first_user[n] != 0 && doc_used[n]) continue;
            bool own = i == 0 ? first_user[n] == 0 : (first_user[n] == static_cast<std::int32_t>(i) && !multi[n]);
            if (own) plan.pages[i].push_back(n);
            else plan.shared_refs[i].push_back(n);
            if (!own && first_user[n] != 0 && !placed[n]) plan.shared.push_back(n);
            placed[n] = true;
        }
    }

    for (std::uint32_t n : plan.outlines) placed[n] = true;

    // Also through placed objects: a page's thumbnail is reached only from the page.
    std::vector<bool> walked(size, false);
    WalkRules other_rules;
    other_rules.enter = [&](Indirect& e) {
        std::uint32_t n = e.GetObjNum();
        if (walked[n] || kinds.IsNull(e)) return false;
        walked[n] = true;
        if (!open[n] && !placed[n]) plan.other.push_back(n);
        return true;
    };
    WalkReachable(trailer, other_rules);
    return plan;
}

}  // namespace qvx::SDF
