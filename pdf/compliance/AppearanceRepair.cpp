#include "pdf/compliance/AppearanceRepair.h"

#include <optional>
#include <string>

#include "pdf/ObjUtil.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

void GiveEmptyAppearance(SDF::SDFDoc& doc, const Annot& annot, bool button)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    if (!dict || !dict->IsDict()) return;
    std::optional<Rect> rect = annot.GetRect();
    auto form = SDF::Dict::Create();
    form->PutName("Type", "XObject");
    form->PutName("Subtype", "Form");
    SDF::Obj* bbox = form->PutArray("BBox");
    for (double v : {0.0, 0.0, rect ? rect->Width() : 0.0, rect ? rect->Height() : 0.0}) bbox->PushBackNumber(v);
    SDF::Obj* stream = doc.CreateIndirectStream({}, std::move(form));
    SDF::Obj* ap = dict->PutDict("AP");
    if (!button) {
        ap->Put("N", stream);
        return;
    }
    std::string state(annot.GetAppearanceState());
    if (state.empty()) {
        state = "Off";
        dict->PutName("AS", state);
    }
    ap->PutDict("N")->Put(state, stream);
}

}  // namespace qvx::PDF
