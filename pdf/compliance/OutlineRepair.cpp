#include "pdf/compliance/OutlineRepair.h"

#include <unordered_set>
#include <vector>

#include "pdf/ObjUtil.h"
#include "pdf/compliance/ActionChecks.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Deeper outlines are not made by people; hostile ones would exhaust the stack.
constexpr int kMaxDepth = 64;

// The tree as readers walk it, read before anything is changed: a node held directly rather
// than as an object of its own cannot be linked to, so such a tree is left as it is.
class OutlineTree {
public:
    OutlineTree(PassContext& ctx, Obj* root_ref) : m_ctx(ctx) { Collect(root_ref, 0); }

    // Links every node; returns the number of items the root shows.
    int Apply() { return m_ok ? Apply(0) : -1; }

private:
    struct Node {
        Obj* ref;
        std::vector<std::size_t> kids;
    };

    std::size_t Collect(Obj* ref, int depth)
    {
        std::size_t at = m_nodes.size();
        m_nodes.push_back({ref, {}});
        m_seen.insert(Deref(ref));
        if (!ref->IsIndirect()) m_ok = false;
        Obj* kid_ref = Deref(ref)->FindObj("First");
        for (Obj* kid = Deref(kid_ref); m_ok && kid && kid->IsDict() && depth < kMaxDepth; kid = FindDict(kid, "Next")) {
            if (m_seen.count(kid)) break;
            std::size_t k = Collect(kid_ref, depth + 1);
            m_nodes[at].kids.push_back(k);
            kid_ref = kid->FindObj("Next");
        }
        return at;
    }

    // Links the children of node i; returns how many items show when it is open.
    int Apply(std::size_t i)
    {
        Obj* node = Deref(m_nodes[i].ref);
        const std::vector<std::size_t>& kids = m_nodes[i].kids;
        if (kids.empty()) {
            for (const char* key : {"First", "Last", "Count"}) node->Erase(key);
            return 0;
        }
        node->Put("First", m_nodes[kids.front()].ref);
        node->Put("Last", m_nodes[kids.back()].ref);
        int shown = 0;
        for (std::size_t k = 0; k < kids.size(); ++k) {
            Obj* kid = Deref(m_nodes[kids[k]].ref);
            DropDeadDest(m_ctx, kid);
            kid->Put("Parent", m_nodes[i].ref);
            if (k > 0) kid->Put("Prev", m_nodes[kids[k - 1]].ref); else kid->Erase("Prev");
            if (k + 1 < kids.size()) kid->Put("Next", m_nodes[kids[k + 1]].ref); else kid->Erase("Next");
            const bool open = FindNumber(kid, "Count", 0) > 0;
            int below = Apply(kids[k]);
            if (below > 0) kid->PutNumber("Count", open ? below : -below);
            shown += 1 + (open ? below : 0);
        }
        return shown;
    }

    PassContext& m_ctx;
    std::vector<Node> m_nodes;
    std::unordered_set<const Obj*> m_seen;
    bool m_ok = true;
};

}  // namespace

void RepairOutlines(PassContext& ctx)
{
    Obj* catalog = FindDict(ctx.doc.GetTrailer(), "Root");
    Obj* ref = catalog ? catalog->FindObj("Outlines") : nullptr;
    Obj* root = Deref(ref);
    if (!root || !root->IsDict()) return;
    int shown = OutlineTree(ctx, ref).Apply();
    if (shown >= 0 && root->FindObj("First")) root->PutNumber("Count", shown);
}

}  // namespace qvx::PDF
