#pragma once
// The PDF/A level a file claims for itself in its XMP metadata, for runs that take the
// level from each file rather than from the command line.

#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/compliance/RunDocument.h"

namespace qvx::PDF {

// The level named by a pdfaid:part and pdfaid:conformance pair (conformance in any case,
// empty for PDF/A-4 itself); e_NoConformance for a pair that names no level.
std::int32_t LevelFromClaim(std::string_view part, std::string_view conformance);

// Opens the input (unlocking it with the password when one is given) and reads the claim of
// its catalog's Metadata stream. e_NoConformance when there is no stream, no pdfaid:part, or
// a packet the toolkit cannot read. Throws the engine exception when the file cannot be
// opened or unlocked, as the compliance run would.
std::int32_t ReadClaimedLevel(const RunInput& input, const std::string& password);

}  // namespace qvx::PDF
