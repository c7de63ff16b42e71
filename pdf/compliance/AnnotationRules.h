#pragma once
// What the annotation checks ask per annotation: whether the subtype is permitted at the
// run's level, the 3D data of PDF/A-4e, whether a widget belongs to a button field, and the
// channel count of the document's output intent.

#include <string_view>

#include "pdf/Annot.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// The code a subtype violates at the run's level (0 when permitted). 3D annotations are
// left to Check3DData at PDF/A-2 and later.
int SubtypeCode(PassContext& ctx, const Annot& annot);

// A 3D annotation at PDF/A-2 and later: records 526, or at level 4E checks (and in
// conversion repairs) the Subtype of its 3D stream (461613, 11). False when the annotation
// is to be removed.
bool Check3DData(PassContext& ctx, const Annot& annot);

// The entry key of a widget's field: the widget's own, else the nearest ancestor's through
// Parent; null where none has it.
SDF::Obj* FieldEntry(const SDF::Obj* widget, std::string_view key);

// A widget whose field has FT Btn.
bool IsButtonWidget(const SDF::Obj* widget);

}  // namespace qvx::PDF
