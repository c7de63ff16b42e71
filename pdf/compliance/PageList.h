#pragma once
// The document's pages in order, each with the page boxes it has or inherits: a minimal
// walk of the page tree for the page pass, made once per run and kept in its caches. The
// page layer's tree takes its place when the page checks arrive.

#include <vector>

#include "pdf/compliance/PassContext.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

struct RunPage {
    SDF::Obj* dict;
    SDF::Obj* media_box;  // null when neither the page nor an ancestor has one
    SDF::Obj* crop_box;
};

// Pages in document order. Nodes met twice (cycles, shared kids) are visited once; kids
// that are not dictionaries are skipped.
const std::vector<RunPage>& RunPages(PassContext& ctx);

}  // namespace qvx::PDF
