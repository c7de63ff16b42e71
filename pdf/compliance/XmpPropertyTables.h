#pragma once
// The XMP properties that PDF/A predefines, with the value type each must have: one table
// for PDF/A-1 (173 rows) and one for PDF/A-2 and later (278 rows).

#include <span>
#include <string_view>

namespace qvx::PDF {

struct XmpPropertyRow {
    std::string_view ns;
    std::string_view name;
    std::string_view type;   // a value-type name, see XmpValueTypes.h
};

// part 1 gives the PDF/A-1 table, any later part the PDF/A-2 table.
std::span<const XmpPropertyRow> PredefinedXmpProperties(int part);

}  // namespace qvx::PDF
