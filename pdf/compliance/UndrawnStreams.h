#pragma once
// PDF/A-1 conversion, after the page walk: streams the walk never reached (images and forms
// left in resources that no content uses) still lose the transparency PDF/A-1 has no place
// for, so that readers which check every object find none. Their look cannot change: nothing
// draws them; what the walk drew has had its repairs already. Image masks also lose the
// entries that viewers ignore on them, drawn or not.

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// Every stream of the file: a form's transparency Group and an image's SMask go, and an
// image mask loses the ColorSpace and Mask readers ignore on it.
void ClearUndrawnTransparency(PassContext& ctx);

}  // namespace qvx::PDF
