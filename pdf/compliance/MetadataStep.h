#pragma once
// The metadata step of a compliance run: reads the Info dictionary, validates the XMP
// metadata against it and, in conversion, rewrites both so that they agree and carry the
// identification of the target level; then the PDF/A-4 rules on the Info dictionary.
//
// The driver calls RunMetadataStep once per document, after the catalog passes and
// before the page pass. It honours the run's stop flag.

#include "common/UString.h"
#include "pdf/compliance/DocInfoValues.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

// input_name: the input's file name (the PDF/UA title of last resort).
void RunMetadataStep(SDF::SDFDoc& doc, const Common::UString& input_name);

// PDF/A-4: an Info dictionary needs a PieceInfo dictionary in the catalog (46134) and
// then holds ModDate alone (46135); a PieceInfo that is not a dictionary is 11. In
// conversion the Info dictionary is removed or cut down, or given when PieceInfo wants it.
void CheckPDFA4Info(SDF::SDFDoc& doc, const DocInfoValues& values);

}  // namespace qvx::PDF
