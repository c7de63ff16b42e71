#include "pdf/Action.h"

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

Action::Action(Obj* obj) : mp_obj(obj)
{
    Obj* d = Deref(obj);
    mp_dict = d && d->IsDict() ? d : nullptr;
}

Action::Type Action::TypeFromName(std::string_view s)
{
    static constexpr std::string_view kNames[] = {
        "GoTo", "GoToR", "GoToE", "Launch", "Thread", "URI", "Sound", "Movie", "Hide", "Named", "SubmitForm",
        "ResetForm", "ImportData", "JavaScript", "SetOCGState", "Rendition", "Trans", "GoTo3DView",
        "RichMediaExecute", "GoToDp"};
    for (std::size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
        if (kNames[i] == s) return static_cast<Type>(i);
    }
    return e_Unknown;
}

Action::Type Action::GetType() const { return TypeFromName(FindName(mp_dict, "S")); }

std::string_view Action::GetNamedAction() const { return FindName(mp_dict, "N"); }

Obj* Action::GetDest() const { return FindIn(mp_dict, "D"); }

std::vector<Obj*> Action::GetNext() const
{
    std::vector<Obj*> out;
    Obj* next = FindIn(mp_dict, "Next");
    if (!next) return out;
    if (next->IsDict()) {
        out.push_back(mp_dict->FindObj("Next"));
    } else if (next->IsArray()) {
        for (std::size_t i = 0; i < next->Size() && out.size() < Common::Limits::kMaxActions; ++i) {
            Obj* a = next->GetAt(i);
            Obj* d = Deref(a);
            if (d && d->IsDict()) out.push_back(a);
        }
    }
    return out;
}

}  // namespace qvx::PDF
