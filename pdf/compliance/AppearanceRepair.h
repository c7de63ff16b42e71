#pragma once
// Conversion of annotations whose appearance is missing or unusable: a new normal
// appearance that paints nothing over the annotation's rectangle. The annotation then
// looks the same in every viewer (it shows nothing of its own) instead of being drawn
// from its other entries by whoever displays it.

#include "pdf/Annot.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

// Replaces AP by one whose N is an empty form of the annotation's size; for a widget of a
// button field, N is a dictionary holding that form under the current state (AS, else Off).
void GiveEmptyAppearance(SDF::SDFDoc& doc, const Annot& annot, bool button);

}  // namespace qvx::PDF
