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

// "e_PDFA" for a code of 0 or more, "e_PDFUA" for a negative one, then the absolute value.
std::string ErrorCodeText(std::int32_t code);

}  // namespace qvx::PDF
