// The logical-structure passes: 4 (MarkInfo: 822 at levels 1A, 2A, 3A; PDF/UA Suspects
// -1714), 5 (StructTreeRoot 8331, structure elements 8332, RoleMap 8341 with the PDF/UA
// role-map rules, ActualText 4621081 at PDF/A-4) and 14 (conversion with structure data).
// Their checks belong to the catalog and PDF/UA groups; until those exist the passes record
// nothing.
#include "pdf/compliance/DriverPasses.h"

namespace qvx::PDF {

void RunMarkInfoPass(PassContext&) {}

void RunStructTreePass(PassContext&) {}

void RunStructureDataPass(PassContext&) {}

}  // namespace qvx::PDF
