#pragma once
// What reports read from the table of rules (sdf/Rules.h): a code's message, its clause and
// its printed name. Positive codes are PDF/A rules, negative codes PDF/UA rules.

#include <cstdint>
#include <string>

namespace qvx::PDF {

// The message of the first row with the code, or null when the table lacks it.
const char* FindErrorMessage(std::int32_t code);

// The clause a code breaks in the part of a level (ISO 14289-1 for level 12); empty when
// the table does not know it.
const char* FindErrorClause(std::int32_t code, std::int32_t level);

// "e_PDFA" for a code of 0 or more, "e_PDFUA" for a negative one, then the absolute value.
std::string ErrorCodeText(std::int32_t code);

}  // namespace qvx::PDF
