#include "pdf/compliance/ErrorCatalogue.h"

#include "pdf/compliance/PDFAConformance.h"
#include "sdf/CheckState.h"
#include "sdf/Rules.h"

namespace qvx::PDF {

const char* FindErrorMessage(std::int32_t code)
{
    const SDF::RuleRow* row = SDF::FindRule(code);
    return row ? row->message : nullptr;
}

const char* FindErrorClause(std::int32_t code, std::int32_t level)
{
    if (!IsPDFALevel(level) && !IsPDFUALevel(level)) return "";
    const SDF::RuleRow* row = SDF::FindRule(code);
    if (!row) return "";
    return row->clauses[IsPDFUALevel(level) ? SDF::kUAClauseColumn : SDF::CheckState::PartOf(level) - 1];
}

std::string ErrorCodeText(std::int32_t code)
{
    // Widen first: the absolute value of INT32_MIN does not fit in 32 bits.
    std::int64_t value = code;
    return (value < 0 ? "e_PDFUA" : "e_PDFA") + std::to_string(value < 0 ? -value : value);
}

}  // namespace qvx::PDF
