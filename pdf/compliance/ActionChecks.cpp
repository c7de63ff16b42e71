#include "pdf/compliance/ActionChecks.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "common/Limits.h"
#include "pdf/Action.h"
#include "pdf/ObjUtil.h"
#include "sdf/Dict.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// The value stored under key in a name tree (Kids and Names, keys compared as bytes).
Obj* LookupNameTree(Obj* root, Common::ByteView key)
{
    std::vector<std::pair<Obj*, int>> todo{{root, 0}};
    std::size_t visited = 0;
    while (!todo.empty() && visited++ < Common::Limits::kMaxTreeNodes) {
        auto [node, depth] = todo.back();
        todo.pop_back();
        if (Obj* names = FindArray(node, "Names")) {
            for (std::size_t i = 0; i + 1 < names->Size(); i += 2) {
                Obj* k = Deref(names->GetAt(i));
                if (!k || !k->IsString()) continue;
                Common::ByteView b = k->GetBuffer();
                if (std::equal(b.begin(), b.end(), key.begin(), key.end())) return Deref(names->GetAt(i + 1));
            }
        }
        Obj* kids = FindArray(node, "Kids");
        if (!kids || depth >= Common::Limits::kMaxPageTreeDepth) continue;
        for (std::size_t i = 0; i < kids->Size(); ++i)
            if (Obj* kid = Deref(kids->GetAt(i)); kid && kid->IsDict()) todo.push_back({kid, depth + 1});
    }
    return nullptr;
}

// A named destination (a name in the catalog's Dests, a string in the Dests name tree)
// as its explicit array.
Obj* ResolveNamedDest(PassContext& ctx, Obj* name)
{
    Obj* root = ctx.doc.GetRoot();
    Obj* value = nullptr;
    if (name->IsName()) {
        value = FindIn(FindDict(root, "Dests"), name->GetName());
    } else {
        Obj* tree = FindDict(FindDict(root, "Names"), "Dests");
        if (tree) value = LookupNameTree(tree, name->GetBuffer());
    }
    if (value && value->IsDict()) value = FindIn(value, "D");
    return value && value->IsArray() ? value : nullptr;
}

// A destination that leads to a page of this document.
bool IsValidDest(PassContext& ctx, Obj* dest)
{
    dest = Deref(dest);
    if (dest && (dest->IsName() || dest->IsString())) dest = ResolveNamedDest(ctx, dest);
    if (!dest || !dest->IsArray() || dest->Size() == 0) return false;
    Obj* page = Deref(dest->GetAt(0));
    return page && page->IsDict() && ctx.Pages().IndexOf(page) >= 0;
}

// The code an action of this type violates at the run's level, or 0.
int ForbiddenCode(PassContext& ctx, const Action& action)
{
    switch (action.GetType()) {
        case Action::e_GoTo: return IsValidDest(ctx, action.GetDest()) ? 0 : 623;
        case Action::e_Launch:
        case Action::e_Sound:
        case Action::e_Movie:
        case Action::e_Hide:
        case Action::e_ResetForm:
        case Action::e_ImportData:
        case Action::e_Rendition:
        case Action::e_Trans:
        case Action::e_Unknown: return 611;
        case Action::e_Named: {
            std::string_view n = action.GetNamedAction();
            bool ok = n == "NextPage" || n == "PrevPage" || n == "FirstPage" || n == "LastPage";
            return ok ? 0 : 612;
        }
        case Action::e_JavaScript:
        case Action::e_RichMediaExecute:
        case Action::e_GoToDp: return ctx.Part() == 4 ? 0 : 611;
        case Action::e_SetOCGState:
        case Action::e_GoTo3DView: return ctx.state.level == 10 ? 0 : 611;
        case Action::e_GoToR:
        case Action::e_GoToE:
        case Action::e_Thread:
        case Action::e_URI:
        case Action::e_SubmitForm: return 0;
    }
    return 0;
}

}  // namespace

bool CheckAction(PassContext& ctx, Obj* action)
{
    std::vector<Obj*> todo{action};
    std::vector<const Obj*> seen;
    bool ok = true;
    while (!todo.empty() && seen.size() < Common::Limits::kMaxActions) {
        Obj* a = todo.back();
        todo.pop_back();
        Obj* d = Deref(a);
        if (!d || std::find(seen.begin(), seen.end(), d) != seen.end()) continue;
        seen.push_back(d);
        Action act(a);
        if (!act.IsValid()) continue;
        if (int code = ForbiddenCode(ctx, act)) {
            ctx.Report(code, d);
            ok = false;
            continue;
        }
        std::vector<Obj*> next = act.GetNext();
        todo.insert(todo.end(), next.rbegin(), next.rend());
    }
    return ok;
}

bool CheckAdditionalActions(PassContext& ctx, Obj* aa)
{
    aa = Deref(aa);
    if (!aa || !aa->IsDict()) return true;
    bool ok = true;
    for (auto it = aa->DictBegin(); it != aa->DictEnd(); ++it)
        if (!CheckAction(ctx, it.Value())) ok = false;
    return ok;
}

bool HasOnlyPermittedTriggers(const Obj* aa)
{
    if (!aa || !aa->IsDict()) return true;
    static constexpr std::string_view kTriggers[] = {"E", "X", "D", "U", "Fo", "Bl"};
    for (auto it = aa->DictBegin(); it != aa->DictEnd(); ++it)
        if (std::find(std::begin(kTriggers), std::end(kTriggers), it.KeyText()) == std::end(kTriggers)) return false;
    return true;
}

}  // namespace qvx::PDF
