#pragma once
// The error catalogue: every rule the compliance engine reports, as a code with its fixed
// English message. Positive codes are PDF/A rules, negative codes PDF/UA rules.

#include <cstdint>
#include <span>
#include <string>

namespace qvx::PDF {

struct ErrorCatalogueRow {
    std::int32_t code;
    const char* message;
};

// All rows in catalogue order.
std::span<const ErrorCatalogueRow> ErrorCatalogue();

// The message of the first row with the code, or null when the catalogue lacks it.
const char* FindErrorMessage(std::int32_t code);

// Where a code's rule stands in a standard: part 1 to 4 of ISO 19005 for PDF/A, 0 for
// ISO 14289-1 (PDF/UA-1), and the clause number there ("6.2.4.3").
struct ErrorClauseRow {
    std::int32_t code;
    std::int32_t part;
    const char* clause;
};

// The clause table, generated from the conformance corpus by tools/gen-clause-table.py.
std::span<const ErrorClauseRow> ErrorClauses();

// The clause a code breaks in the part of a level (PDF/UA-1 for level 12); empty when the
// table does not know it.
const char* FindErrorClause(std::int32_t code, std::int32_t level);

// "e_PDFA" for a code of 0 or more, "e_PDFUA" for a negative one, then the absolute value.
std::string ErrorCodeText(std::int32_t code);

}  // namespace qvx::PDF
