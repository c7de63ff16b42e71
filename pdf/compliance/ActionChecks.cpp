#include "pdf/compliance/ActionChecks.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/Limits.h"
#include "pdf/Action.h"
#include "pdf/ObjUtil.h"
#include "sdf/Dict.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// The string-named destinations of the Dests name tree, read once per run (links may
// be many, and each would otherwise walk the tree).
struct NamedDestinations {
    explicit NamedDestinations(SDF::SDFDoc& doc)
    {
        Obj* root = FindDict(FindDict(doc.GetRoot(), "Names"), "Dests");
        std::vector<Obj*> todo;
        if (root) todo.push_back(root);
        std::unordered_set<const Obj*> seen;
        while (!todo.empty() && seen.size() < Common::Limits::kMaxTreeNodes) {
            Obj* node = todo.back();
            todo.pop_back();
            if (!seen.insert(node).second) continue;
            Obj* names = FindArray(node, "Names");
            for (std::size_t i = 0; names && i + 1 < names->Size(); i += 2) {
                Obj* k = Deref(names->GetAt(i));
                if (!k || !k->IsString()) continue;
                Common::ByteView b = k->GetBuffer();
                by_name.emplace(std::string(b.begin(), b.end()), names->GetAt(i + 1));
            }
            Obj* kids = FindArray(node, "Kids");
            for (std::size_t i = 0; kids && i < kids->Size(); ++i)
                if (Obj* kid = Deref(kids->GetAt(i)); kid && kid->IsDict() && !seen.count(kid)) todo.push_back(kid);
        }
    }
    std::map<std::string, Obj*> by_name;
};

// A named destination (a name in the catalog's Dests, a string in the Dests name tree)
// as its explicit array.
Obj* ResolveNamedDest(PassContext& ctx, Obj* name)
{
    Obj* value = nullptr;
    if (name->IsName()) {
        value = FindIn(FindDict(ctx.doc.GetRoot(), "Dests"), name->GetName());
    } else {
        const auto& tree = ctx.caches.Get<NamedDestinations>(ctx.doc).by_name;
        Common::ByteView b = name->GetBuffer();
        auto it = tree.find(std::string(b.begin(), b.end()));
        if (it != tree.end()) value = Deref(it->second);
    }
    if (value && value->IsDict()) value = FindIn(value, "D");
    return value && value->IsArray() ? value : nullptr;
}

// The code an action of this type violates at the run's level, or 0.
int ForbiddenCode(PassContext& ctx, const Action& action)
{
    switch (action.GetType()) {
        case Action::e_GoTo: return IsValidDest(ctx, action.GetDest()) ? 0 : SDF::e_PDFA623;
        case Action::e_Launch:
        case Action::e_Sound:
        case Action::e_Movie:
        case Action::e_Hide:
        case Action::e_ResetForm:
        case Action::e_ImportData:
        case Action::e_Rendition:
        case Action::e_Trans:
        case Action::e_Unknown: return SDF::e_PDFA611;
        case Action::e_Named: {
            std::string_view n = action.GetNamedAction();
            bool ok = n == "NextPage" || n == "PrevPage" || n == "FirstPage" || n == "LastPage";
            return ok ? 0 : SDF::e_PDFA612;
        }
        case Action::e_JavaScript:
        case Action::e_RichMediaExecute:
        case Action::e_GoToDp: return ctx.Part() == 4 ? 0 : SDF::e_PDFA611;
        case Action::e_SetOCGState:
        case Action::e_GoTo3DView: return ctx.state.level == 10 ? 0 : SDF::e_PDFA611;
        case Action::e_GoToE:
        case Action::e_GoToR:
        case Action::e_Thread:
        case Action::e_URI:
        case Action::e_SubmitForm: return 0;
    }
    return 0;
}

}  // namespace

void DropDeadDest(PassContext& ctx, Obj* holder)
{
    Obj* dest = Deref(holder->FindObj("Dest"));
    if (!dest || !dest->IsArray() || dest->Size() == 0) return;
    Obj* first = Deref(dest->GetAt(0));
    if (!(first && first->IsNumber()) && !IsValidDest(ctx, dest)) holder->Erase("Dest");
}

bool IsValidDest(PassContext& ctx, Obj* dest)
{
    dest = Deref(dest);
    if (dest && (dest->IsName() || dest->IsString())) dest = ResolveNamedDest(ctx, dest);
    if (!dest || !dest->IsArray() || dest->Size() == 0) return false;
    Obj* page = Deref(dest->GetAt(0));
    return page && page->IsDict() && ctx.Pages().IndexOf(page) >= 0;
}

bool CheckAction(PassContext& ctx, Obj* action)
{
    std::vector<Obj*> todo{action};
    std::unordered_set<const Obj*> seen;
    bool ok = true;
    while (!todo.empty() && seen.size() < Common::Limits::kMaxActions) {
        Obj* a = todo.back();
        todo.pop_back();
        Obj* d = Deref(a);
        if (!d || !seen.insert(d).second) continue;
        Action act(a);
        if (!act.IsValid()) continue;
        if (int code = ForbiddenCode(ctx, act)) {
            ctx.Report(code, d);
            ok = false;
            continue;
        }
        // Each action is checked once, so the work stays within the limit however the
        // chains share or loop.
        std::vector<Obj*> next = act.GetNext();
        for (auto it = next.rbegin(); it != next.rend() && todo.size() < Common::Limits::kMaxActions; ++it)
            todo.push_back(*it);
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

void CheckFieldActions(PassContext& ctx, Obj* dict)
{
    const bool fix = ctx.state.convert;
    if (FindIn(dict, "A")) {
        ctx.Report(SDF::e_PDFA91, dict);
        if (fix) dict->Erase("A");
    }
    if (!FindIn(dict, "AA")) return;
    if (ctx.Part() != 4) {
        ctx.Report(SDF::e_PDFA91, dict);
        if (fix) dict->Erase("AA");
    } else if (!CheckAdditionalActions(ctx, FindDict(dict, "AA")) && fix) {
        dict->Erase("AA");
    }
}

}  // namespace qvx::PDF
