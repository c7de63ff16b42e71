#pragma once
// The standard 14 fonts: their names (with the aliases found in the wild, such as Arial
// for Helvetica) and advance widths by glyph name.

#include <optional>
#include <string>
#include <string_view>

namespace qvx::PDF::Std14 {

// The standard font a BaseFont names (subset tag and style suffixes such as ",Bold" are
// understood), or empty.
std::string_view Canonical(std::string_view base_font);

// The name without a subset tag ("ABCDEF+": six capitals and a plus), or as it is.
std::string_view Untagged(std::string_view name);
// The advance width (1/1000 em) of a glyph of a standard font, if it has that glyph.
std::optional<int> Width(std::string_view std_font, std::string_view glyph);
// The system's file of the URW program a standard font is drawn and embedded with, or
// empty for a name that is not a standard font.
std::string ProgramFile(std::string_view std_font);

}  // namespace qvx::PDF::Std14
