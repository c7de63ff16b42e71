#pragma once
// Glyph names to Unicode: the Adobe Glyph List, and the uniXXXX, uXXXX[XX] and ligature
// (a_b) forms; a suffix after the first period is ignored (a.sc reads as a).

#include <string>
#include <string_view>

namespace qvx::PDF::GlyphList {

// The code points for a glyph name; empty when the name maps to nothing.
std::u32string ToUnicode(std::string_view name);
// Whether name is an entry of the Adobe Glyph List itself.
bool IsListed(std::string_view name);
// A listed name for a code point (the first in name order), or empty.
std::string_view NameFor(char32_t cp);
// The character a glyph of TeX's math and symbol fonts draws, for the names of theirs the
// Adobe list has no entry for (circlecopyrt, lessmuch, mapsto...); 0 for any other name.
// Readers take no text from such names: this is for writing a ToUnicode map anew.
char32_t TeXNameToUnicode(std::string_view name);
// For a name the Adobe list maps into the Private Use Area (braceex, parenlefttp,
// copyrightsans, oneoldstyle...), the character Unicode has for that glyph since; 0 for any
// other name. Also for writing a ToUnicode map anew.
char32_t PublicFormOf(std::string_view name);

}  // namespace qvx::PDF::GlyphList
