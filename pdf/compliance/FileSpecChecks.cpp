// File specifications (a dictionary whose Type is Filespec or F) and their embedded files
// belong to the catalog group; until it exists the object pass records nothing for
// dictionaries that are not streams.
#include "pdf/compliance/ObjectChecks.h"

namespace qvx::PDF {

void CheckNonStreamDict(PassContext&, SDF::Obj&) {}

}  // namespace qvx::PDF
