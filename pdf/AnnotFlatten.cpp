// Annot::Flatten: an annotation's appearance drawn into the page content.
#include <cmath>

#include "common/Exception.h"
#include "pdf/Annot.h"
#include "pdf/ObjUtil.h"
#include "pdf/Page.h"
#include "pdf/PageContent.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Where a form lands on the page: its BBox, transformed by its Matrix, scaled and moved
// onto the annotation's rectangle (the form's Matrix is applied by Do itself).
Matrix Placement(Obj* form, const Rect& rect)
{
    Rect bbox;
    QVX_CHECK(ReadRect(FindIn(form, "BBox"), bbox), "The appearance has no usable BBox");
    Matrix m;
    if (Obj* mo = FindIn(form, "Matrix")) QVX_CHECK(ReadMatrix(mo, m), "The appearance has a damaged Matrix");
    Rect box = Transformed(bbox.Normalized(), m);
    double sx = box.Width() > 0 ? rect.Width() / box.Width() : 1;
    double sy = box.Height() > 0 ? rect.Height() / box.Height() : 1;
    QVX_CHECK(std::isfinite(sx) && std::isfinite(sy), "The appearance cannot be fitted to Rect");
    return {sx, 0, 0, sy, rect.x1 - box.x1 * sx, rect.y1 - box.y1 * sy};
}

// Viewers keep a NoRotate annotation upright on a rotated page, turning it about the top
// left corner of its rectangle; drawn into the content it turns against the page.
Matrix Upright(const Matrix& placed, const Rect& rect, int rotation)
{
    const double pi = std::acos(-1.0);
    double c = std::cos(rotation * pi / 180), s = std::sin(rotation * pi / 180);
    return placed.Then({1, 0, 0, 1, -rect.x1, -rect.y2}).Then({c, s, -s, c, 0, 0}).Then({1, 0, 0, 1, rect.x1, rect.y2});
}

}  // namespace

void Annot::Flatten(Page& page)
{
    if (!IsValid()) QVX_THROW_IN("this->IsValid()", "Flatten", "Operation on invalid object");
    Obj* form = GetAppearance(e_normal);
    QVX_CHECK(form, "The annotation has no normal appearance for its state");
    std::string_view subtype = FindName(form, "Subtype");
    QVX_CHECK(subtype.empty() || subtype == "Form", "The appearance is not a form XObject");
    std::optional<Rect> rect = GetRect();
    QVX_CHECK(rect, "The annotation has no usable Rect");
    Matrix placed = Placement(form, *rect);
    if (HasFlag(e_no_rotate) && page.GetRotation() != 0) placed = Upright(placed, *rect, page.GetRotation());

    Obj* annots = page.GetAnnots();
    QVX_CHECK(annots, "The page has no Annots");
    std::size_t index = annots->Size();
    for (std::size_t i = annots->Size(); i-- > 0;) {
        Obj* e = annots->GetAt(i);
        if (e == mp_obj || Deref(e) == mp_dict) {
            index = i;
            break;
        }
    }
    QVX_CHECK(index < annots->Size(), "The annotation is not on the page");

    if (subtype.empty()) {
        form->PutName("Type", "XObject");
        form->PutName("Subtype", "Form");
    }
    std::string name = AddPageResource(page, "XObject", "Annot", IndirectOf(form));
    AppendPageContent(page, "q " + ContentMatrix(placed) + " cm /" + name + " Do Q\n");
    annots->EraseAt(index);
}

}  // namespace qvx::PDF
