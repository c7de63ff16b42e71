#include "pdf/compliance/UndrawnStreams.h"

#include <exception>

#include "pdf/ObjUtil.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

using SDF::Obj;

void ClearUndrawnTransparency(PassContext& ctx)
{
    if (ctx.Part() != 1) return;
    for (std::uint32_t n = 1; n < ctx.doc.XRefSize() && !ctx.Stopped(); ++n) {
        Obj* obj = nullptr;
        try {
            obj = Deref(ctx.doc.GetObj(n));
        } catch (const std::exception&) {
            continue;   // the object pass has reported what cannot be read
        }
        if (!obj || !obj->IsStream()) continue;
        std::string_view subtype = FindName(obj, "Subtype");
        if (subtype == "Form" && FindName(FindDict(obj, "Group"), "S") == "Transparency") obj->Erase("Group");
        if (subtype != "Image") continue;
        if (obj->FindObj("SMask") && !IsNameOf(FindIn(obj, "SMask"), "None")) obj->Erase("SMask");
        if (FindBool(obj, "ImageMask", false)) {
            obj->Erase("ColorSpace");
            obj->Erase("Mask");
        }
    }
}

}  // namespace qvx::PDF
