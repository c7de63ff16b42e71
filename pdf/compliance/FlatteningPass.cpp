// Pass 0: before anything else, a conversion to PDF/A-1 with flattening rewrites every page
// that uses transparency (JPEG images at quality 85, at the run's dpi), stopping early when
// the stop flag is set. The flattener belongs to the transparency group; this pass runs
// nothing until it exists.
#include "pdf/compliance/DriverPasses.h"

namespace qvx::PDF {

void RunFlatteningPrePass(PassContext&) {}

}  // namespace qvx::PDF
