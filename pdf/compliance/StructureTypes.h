#pragma once
// The standard structure types of tagged PDF (PDF 1.7), to which a role map must lead.

#include <string_view>

namespace qvx::PDF {

bool IsStandardStructureType(std::string_view type);

// The PDF 1.7 type that a structure type PDF 2.0 added stands for (Em and Strong are
// spans), or empty for any other type.
std::string_view PDF17EquivalentOf(std::string_view type);

}  // namespace qvx::PDF
