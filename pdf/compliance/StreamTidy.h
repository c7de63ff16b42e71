#pragma once
// Conversion, after the page walk: what readers that check every stream object ask of
// streams, written where it changes nothing on the page.
// - PDF/A-1: streams the walk never reached (images and forms left in resources that no
//   content uses) still lose the transparency PDF/A-1 has no place for. Nothing draws them;
//   what the walk drew has had its repairs already. Image masks also lose the ColorSpace and
//   Mask viewers ignore on them, drawn or not.
// - A tiling pattern must have resources; one without, whose content names nothing (so uses
//   no resource, its own or its caller's), gets an empty dictionary.
// - A form with private data (PieceInfo) must say when it was last modified.
// - Decode parameters of a stream without filters go: they match no filter.

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

void TidyStreams(PassContext& ctx);

}  // namespace qvx::PDF
