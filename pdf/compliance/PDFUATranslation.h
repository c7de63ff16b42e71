#pragma once
// PDF/UA runs report through the PDF/A checks where the rules coincide; afterwards those
// PDF/A codes are rewritten to their PDF/UA counterparts.

#include <cstdint>
#include <span>

#include "sdf/CheckState.h"

namespace qvx::PDF {

struct CodePair {
    std::int32_t pdfa;
    std::int32_t pdfua;
};

// The PDF/A code and its PDF/UA counterpart, for every rule the two share.
std::span<const CodePair> PDFUATranslationTable();

// Replaces every PDF/A code of the table by its PDF/UA code; the object numbers and the
// present flag move along. Codes outside the table stay.
void TranslateToPDFUA(SDF::ErrorStore& store);

}  // namespace qvx::PDF
