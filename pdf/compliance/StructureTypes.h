#pragma once
// The standard structure types of tagged PDF (PDF 1.7), to which a role map must lead.

#include <string_view>

namespace qvx::PDF {

bool IsStandardStructureType(std::string_view type);

}  // namespace qvx::PDF
