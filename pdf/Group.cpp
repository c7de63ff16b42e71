#include "pdf/Group.h"

#include "pdf/ObjUtil.h"

namespace qvx::PDF {

Group Group::Of(SDF::Obj* owner)
{
    Group g;
    g.dict = FindDict(owner, "Group");
    if (!g.dict) return g;
    g.is_transparency = FindName(g.dict, "S") == "Transparency";
    g.color_space = FindIn(g.dict, "CS");
    g.isolated = FindBool(g.dict, "I", false);
    g.knockout = FindBool(g.dict, "K", false);
    return g;
}

}  // namespace qvx::PDF
