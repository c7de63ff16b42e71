#include "sdf/ObjWalk.h"

#include <vector>

#include "common/Exception.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::SDF {

void WalkReachable(Obj& start, const WalkRules& rules)
{
    // Children are pushed in reverse so that they are visited in their own order.
    std::vector<Obj*> stack{&start};
    std::vector<Obj*> children;
    while (!stack.empty()) {
        Obj* o = stack.back();
        stack.pop_back();
        if (o->IsIndirect()) {
            auto* entry = static_cast<Indirect*>(o);
            if (entry->IsFree() || !rules.enter(*entry)) continue;
            try {
                o = entry->Resolve();
            } catch (const Common::Exception&) {
                continue;
            }
        }
        switch (o->GetType()) {
        case Obj::e_array:
            for (std::size_t i = o->Size(); i-- > 0;) stack.push_back(o->GetAt(i));
            break;
        case Obj::e_dict:
        case Obj::e_stream: {
            // A stream's Length is written as a number: an indirect Length is not reached.
            const bool stream = o->GetType() == Obj::e_stream;
            children.clear();
            for (DictIterator it = o->DictBegin(); it.HasNext(); ++it)
                if ((!stream || it.KeyText() != "Length") && (!rules.follow || rules.follow(*o, it.KeyText())))
                    children.push_back(it.Value());
            stack.insert(stack.end(), children.rbegin(), children.rend());
            break;
        }
        default: break;
        }
    }
}

std::size_t MarkReachable(SDFDocImpl& doc, Obj& start)
{
    for (std::uint32_t n = 0; n < doc.XRefSize(); ++n)
        if (Indirect* e = doc.GetEntry(n)) e->SetMark(false);
    std::size_t marked = 0;
    WalkRules rules;
    rules.enter = [&marked](Indirect& e) {
        if (e.IsMarked()) return false;
        e.SetMark(true);
        ++marked;
        return true;
    };
    WalkReachable(start, rules);
    return marked;
}

}  // namespace qvx::SDF
