#pragma once
// Conversion of annotations whose appearance is missing or unusable: a new normal
// appearance that paints nothing over the annotation's rectangle. The annotation then
// looks the same in every viewer (it shows nothing of its own) instead of being drawn
// from its other entries by whoever displays it. A button whose appearance is a single
// stream, where a dictionary of states belongs, keeps that stream as its one state: it is
// usable, and the button keeps its look.

#include "pdf/Annot.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

// Replaces AP by one whose N is an empty form of the annotation's size; for a widget of a
// button field, N is a dictionary holding that form, or the button's own appearance stream,
// under the current state (AS, else Off).
void GiveAppearance(SDF::SDFDoc& doc, const Annot& annot, bool button);

}  // namespace qvx::PDF
