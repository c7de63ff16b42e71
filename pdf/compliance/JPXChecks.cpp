// JPEG 2000 data in PDF/A-2 and later (2831 to 2835) belongs to the image group; until it
// exists a JPXDecode stream passes here unchecked.
#include "pdf/compliance/ObjectChecks.h"

namespace qvx::PDF {

void CheckJPXStream(PassContext&, SDF::Obj&) {}

}  // namespace qvx::PDF
