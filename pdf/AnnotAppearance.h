#pragma once
// Appearances drawn from an annotation's own entries, for annotations that came without
// one: shapes, lines, polygons and ink from their geometry, text markup over its
// quadrilaterals, a note icon, free text, stamps, and form fields from their values, close to
// what viewers show for such annotations.
//
//     DrawnAppearance drawn = DrawAppearance(doc, annot, /*blend=*/true);
//     if (drawn.normal) { ...AP N = drawn.normal, AS = drawn.state when not empty... }

#include <optional>
#include <string>

#include "pdf/Geometry.h"

namespace qvx::SDF {
class Obj;
class SDFDoc;
}  // namespace qvx::SDF

namespace qvx::PDF {

class Annot;

struct DrawnAppearance {
    // A form XObject (indirect), or for check boxes and radio buttons a dictionary of
    // state streams (the on state and Off); null when the annotation's kind has nothing a
    // viewer would draw from its entries.
    SDF::Obj* normal = nullptr;
    // The state that shows (check boxes and radio buttons), else empty.
    std::string state;
    // The rectangle drawn in, when the annotation's Rect has no area (a line's vertices
    // give it); the annotation is to take it as its Rect.
    std::optional<Rect> rect;
};

// blend: whether the file may use blend modes; text highlighting multiplies with the text
// under it, and is not drawn without. A form field is drawn from its value, as viewers
// draw a widget that has no appearance.
DrawnAppearance DrawAppearance(SDF::SDFDoc& doc, const Annot& annot, bool blend);

}  // namespace qvx::PDF
