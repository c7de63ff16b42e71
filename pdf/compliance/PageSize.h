#pragma once
// Page size: MediaBox and CropBox 3 to 14400 units wide and high (PDF/A-2 and -3: the rule's
// levels), and in conversion pages outside those limits restated in other units.

#include "pdf/Page.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// Records 1135 against the page for each of its MediaBox and CropBox outside the limits.
void CheckPageSize(PassContext& ctx, const Page& page);

// Conversion, before the page checks: a page whose boxes lie outside the limits is scaled by
// the factor nearest 1 that brings every box within them (boxes, content and annotations
// alike) and its UserUnit is divided by that factor, so the page keeps its size and look.
// Each such page records what the check records. A page no factor fits (a side too long
// while another is too short, a box without area) is left for the check.
void FitPageSizes(PassContext& ctx);

}  // namespace qvx::PDF
