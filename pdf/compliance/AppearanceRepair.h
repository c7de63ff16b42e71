#pragma once
// Conversion of annotations whose appearance is missing or unusable: a new normal
// appearance drawn from the annotation's own entries, as viewers draw such annotations;
// where those say nothing to draw, one that paints nothing over the annotation's
// rectangle, so that every viewer shows the same. A button whose appearance is a single
// stream, where a dictionary of states belongs, keeps that stream as its one state: it is
// usable, and the button keeps its look.

#include "pdf/Annot.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

// Replaces AP by one whose N is the drawn appearance, else an empty form of the
// annotation's size; for a widget of a button field, N is a dictionary of states (a check
// box's or radio button's drawn on and Off states, else the form or the button's own
// appearance stream under the current state, AS, else Off). blend: whether the file may
// use blend modes.
void GiveAppearance(SDF::SDFDoc& doc, const Annot& annot, bool button, bool blend);

// An annotation that no viewer showed gets a normal appearance that draws nothing, so
// that the flags conversion must set, which make it visible, show nothing new.
void GiveEmptyAppearance(SDF::SDFDoc& doc, const Annot& annot, bool button);

// A widget of a text or choice field drawn anew from its value, as viewers draw it when
// the form asks them to (NeedAppearances); its old appearance stays where nothing is drawn.
void RedrawFieldFromValue(SDF::SDFDoc& doc, const Annot& annot, bool blend);

// Kept for the run: the interactive form asked viewers to draw its fields from their
// values (NeedAppearances true). Conversion removes the flag, so the fields that have no
// appearance get theirs drawn instead.
struct FieldsDrawnByViewer {
    bool value = false;
};

}  // namespace qvx::PDF
