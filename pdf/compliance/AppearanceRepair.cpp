#include "pdf/compliance/AppearanceRepair.h"

#include <optional>
#include <string>

#include "pdf/AnnotAppearance.h"
#include "pdf/ObjUtil.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

void GiveAppearance(SDF::SDFDoc& doc, const Annot& annot, bool button, bool blend, bool fields)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    if (!dict || !dict->IsDict()) return;
    SDF::Obj* own = button ? FindIn(FindIn(dict, "AP"), "N") : nullptr;
    SDF::Obj* stream = nullptr;
    if (own && own->IsStream()) {
        // The table entry, so that the new dictionary refers to the stream, not a copy.
        SDF::Obj* entry = doc.GetObj(own->GetObjNum());
        if (entry && entry->Resolve() == own) stream = entry;
    }
    if (!stream) {
        // What a viewer would draw from the annotation's entries; an empty form otherwise.
        DrawnAppearance drawn = DrawAppearance(doc, annot, blend, fields);
        if (drawn.normal && !drawn.state.empty() && button) {
            dict->PutDict("AP")->Put("N", drawn.normal);
            dict->PutName("AS", drawn.state);
            return;
        }
        if (drawn.normal && drawn.state.empty()) stream = drawn.normal;
    }
    if (!stream) {
        std::optional<Rect> rect = annot.GetRect();
        auto form = SDF::Dict::Create();
        form->PutName("Type", "XObject");
        form->PutName("Subtype", "Form");
        SDF::Obj* bbox = form->PutArray("BBox");
        for (double v : {0.0, 0.0, rect ? rect->Width() : 0.0, rect ? rect->Height() : 0.0}) bbox->PushBackNumber(v);
        stream = doc.CreateIndirectStream({}, std::move(form));
    }
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
