#pragma once
// The catalog entries the page pass checks before the pages: AA and OpenAction, the
// interactive form (NeedAppearances, XFA, the actions of its fields), NeedsRendering, and
// the actions of the outline items.

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

void CheckCatalogEntries(PassContext& ctx);

}  // namespace qvx::PDF
