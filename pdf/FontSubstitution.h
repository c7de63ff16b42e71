#pragma once
// The choice of a system program for a font a document does not embed: the entries of the
// substitution configuration first (by character collection, then by name), then the
// system fonts through fontconfig, which lists metric-compatible families (Liberation for
// Arial, Helvetica, Times and Courier) ahead of look-alikes. Only programs that cover every
// character asked for, and that SubstituteProgram can open, are chosen.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/SubstituteProgram.h"

namespace qvx::PDF {

struct SubstituteRequest {
    std::string name;        // BaseFont without its subset tag
    std::string collection;  // composite fonts: identity, japan1, japan2, gb1, cns1, korea1
    // Serif or sans is left to the family name: readers draw an unknown family with the
    // default face whatever the descriptor's serif flag says.
    bool bold = false, italic = false, fixed = false;
    std::vector<char32_t> chars;  // characters the substitute must have
    // When no font has them all, the best match that has some: readers draw the others as
    // missing. For the CJK collections, whose system fonts often lack Latin letters.
    bool partial = false;
    // When no font of the family's order has them all, the fonts that have most of them
    // whatever their family (fontconfig lists a family's look-alikes ahead of coverage).
    bool any_family = false;
};

struct ChosenSubstitute {
    std::unique_ptr<SubstituteProgram> program;
    std::string file;
    bool from_config = false;
};

// Null when no entry and no system font fits.
ChosenSubstitute FindSubstitute(const SubstituteRequest& request);
// Whether an entry of the configuration names the font: such an entry wins over every
// other choice.
bool IsConfigured(std::string_view name);

// The family part of a PostScript or BaseFont name, and the style it states:
// "TimesNewRomanPS-BoldItalicMT" gives "TimesNewRoman" with bold and italic, "Arial,Bold"
// gives "Arial" with bold. The family keeps only the characters a PostScript name may have.
struct NameStyle {
    std::string family;
    bool bold = false, italic = false;
};
NameStyle SplitFontName(std::string_view name);
// The family without the MT, PSMT or PS that PostScript names of Monotype families end in:
// "ArialMT" gives "Arial", the name fontconfig knows.
std::string_view WithoutFoundrySuffix(std::string_view family);

}  // namespace qvx::PDF
