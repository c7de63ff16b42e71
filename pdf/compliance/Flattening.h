#pragma once
// Flattening for conversion to PDF/A-1, which forbids transparency: annotations whose
// appearance uses it are merged into the page (or dropped when hidden), then the page
// flattener redraws what the page's transparency touched (FlattenPDF.h).

#include "pdf/Page.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// Walks the page's annotations from the last down: each whose normal appearance uses
// transparency is removed when hidden, else drawn into the page content. A failure on one
// annotation leaves that one and goes on with the next.
void FlattenAnnotsWithTransparency(PassContext& ctx, Page& page);

}  // namespace qvx::PDF
