// The catalog passes that follow the permissions: 8 (the name dictionary: EmbeddedFiles
// 1112 and 4695, JavaScript 622, AlternatePresentations 6101), 9 (OCProperties: 1131,
// 69001, 69003, 10), 10 (Requirements 11000) and 11 (Version 461121 at PDF/A-4). Their
// checks belong to the catalog group; until it exists the passes record nothing.
#include "pdf/compliance/DriverPasses.h"

namespace qvx::PDF {

void RunNameTreesPass(PassContext&) {}

void RunOptionalContentPass(PassContext&) {}

void RunRequirementsPass(PassContext&) {}

void RunCatalogVersionPass(PassContext&) {}

}  // namespace qvx::PDF
