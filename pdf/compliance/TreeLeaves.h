#pragma once
// Conversion to PDF/A-1, which takes no array of more than 8,191 elements: a name or number
// tree leaf whose Names or Nums array is longer (a document's named destinations, a large
// tagged document's ParentTree) becomes a node whose Kids are leaves of 2,048 pairs each, in
// the same order, each with the Limits of its keys. The node keeps its object and its own
// Limits, so the tree reads as before.

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

void SplitLongTreeLeaves(PassContext& ctx);

}  // namespace qvx::PDF
