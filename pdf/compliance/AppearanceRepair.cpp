#include "pdf/compliance/AppearanceRepair.h"

#include <optional>
#include <string>

#include "pdf/AnnotAppearance.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/AnnotationRules.h"
#include "sdf/Dict.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

namespace {

// A form of the annotation's size that draws nothing.
SDF::Obj* EmptyForm(SDF::SDFDoc& doc, const Annot& annot)
{
    std::optional<Rect> rect = annot.GetRect();
    auto form = SDF::Dict::Create();
    form->PutName("Type", "XObject");
    form->PutName("Subtype", "Form");
    SDF::Obj* bbox = form->PutArray("BBox");
    for (double v : {0.0, 0.0, rect ? rect->Width() : 0.0, rect ? rect->Height() : 0.0}) bbox->PushBackNumber(v);
    return doc.CreateIndirectStream({}, std::move(form));
}

// AP with stream as N; for a button, as the stream of its current state (AS, else Off).
void PutNormal(SDF::Obj* dict, const Annot& annot, SDF::Obj* stream, bool button)
{
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

}  // namespace

void GiveAppearance(SDF::SDFDoc& doc, const Annot& annot, bool button, bool blend)
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
        DrawnAppearance drawn = DrawAppearance(doc, annot, blend);
        if (drawn.normal && drawn.rect) Annot(annot).SetRect(*drawn.rect);
        if (drawn.normal && !drawn.state.empty() && button) {
            // The states go in directly: poppler draws nothing from a state dictionary
            // that N refers to.
            SDF::Obj* states = dict->PutDict("AP")->PutDict("N");
            for (auto it = drawn.normal->DictBegin(); it != drawn.normal->DictEnd(); ++it)
                states->Put(it.Key()->GetName(), it.Value());
            dict->PutName("AS", drawn.state);
            return;
        }
        if (drawn.normal && drawn.state.empty()) stream = drawn.normal;
    }
    PutNormal(dict, annot, stream ? stream : EmptyForm(doc, annot), button);
}

void GiveEmptyAppearance(SDF::SDFDoc& doc, const Annot& annot, bool button)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    if (dict && dict->IsDict()) PutNormal(dict, annot, EmptyForm(doc, annot), button);
}

void RedrawFieldFromValue(SDF::SDFDoc& doc, const Annot& annot, bool blend)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    if (!dict || !dict->IsDict()) return;
    SDF::Obj* ft = FieldEntry(dict, "FT");
    if (!IsNameOf(ft, "Tx") && !IsNameOf(ft, "Ch")) return;
    DrawnAppearance drawn = DrawAppearance(doc, annot, blend);
    if (drawn.normal && drawn.state.empty()) PutNormal(dict, annot, drawn.normal, false);
}

}  // namespace qvx::PDF
