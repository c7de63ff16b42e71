#pragma once
// An action dictionary: its type from S, and the actions that follow it through Next.

#include <string_view>
#include <vector>

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

class Action {
public:
    enum Type { e_GoTo, e_GoToR, e_GoToE, e_Launch, e_Thread, e_URI, e_Sound, e_Movie, e_Hide, e_Named,
                e_SubmitForm, e_ResetForm, e_ImportData, e_JavaScript, e_SetOCGState, e_Rendition, e_Trans,
                e_GoTo3DView, e_RichMediaExecute, e_GoToDp, e_Unknown };

    explicit Action(SDF::Obj* obj);
    bool IsValid() const { return mp_dict != nullptr; }
    SDF::Obj* GetSDFObj() const { return mp_obj; }
    Type GetType() const;
    static Type TypeFromName(std::string_view s);
    // Named actions: N, or empty.
    std::string_view GetNamedAction() const;
    // GoTo and GoToR: D, or null.
    SDF::Obj* GetDest() const;
    // The actions of Next (a dictionary or an array of them), in order.
    std::vector<SDF::Obj*> GetNext() const;

private:
    SDF::Obj* mp_obj;
    SDF::Obj* mp_dict = nullptr;
};

}  // namespace qvx::PDF
