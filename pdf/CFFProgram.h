#pragma once
// Bare CFF font programs as PDF embeds them (FontFile3 Type1C and CIDFontType0C): one font,
// read into its INDEX and DICT structures and written again with glyphs added, copies of
// others or without outline, each with an advance of its own, so that codes that reached no
// glyph reach one that draws as before; or with the advances of glyphs changed to the
// widths text is placed with.
//
//     CFFProgram::Copy c{0, 278, "notdef.c32", 0};   // .notdef again, 278 units wide
//     auto fixed = CFFProgram::WithGlyphCopies(program, {c});

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Buffer.h"

namespace qvx::PDF::CFFProgram {

// Whether the data is a CFF program whose structure holds together: at least one font in
// its Name INDEX, a Top DICT for each, CharStrings, and a Private DICT for the font or for
// every Font DICT of a CID-keyed one. FreeType reads past a missing Private DICT; readers
// that walk the structure cannot. Only the structure is read, no charstring.
bool IsIntact(Common::ByteView data);

// Whether the header is longer than the four bytes of version 1.0. The format allows it,
// yet readers that skip only four bytes find no font.
bool HasLongHeader(Common::ByteView data);

// The program written again in the form every reader takes: a four-byte header, and an
// empty Private DICT for each Font DICT without one (the DICT's entries all have defaults);
// nullopt when it cannot be read as WithGlyphCopies reads it.
std::optional<Common::Bytes> Mended(Common::ByteView data);

struct Copy {
    std::optional<unsigned> source;  // the glyph copied (by number); none: no outline
    double advance;                  // in the program's units
    std::string name;                // a name-keyed program: the new glyph's name
    unsigned cid;                    // a CID-keyed program: the new glyph's CID
};

// The program with the copies appended after its last glyph, in the order given; nullopt
// when the data is not a single-font CFF with Type 2 charstrings that can be read, when a
// source is missing or its charstring takes its width from a subroutine, or when a new
// name or CID is already the program's.
std::optional<Common::Bytes> WithGlyphCopies(Common::ByteView data, const std::vector<Copy>& copies);

// A name-keyed program made CID-keyed (Adobe-Identity-0, one Font DICT with the program's
// Private DICT and FontMatrix): each CID of glyphs is given a copy of the glyph it names (by
// number); CID 0 stays glyph 0, .notdef. For a CIDFont whose program numbers glyphs by
// index, which PDF's CFF programs cannot. Nullopt when the program cannot be read, is
// CID-keyed already, or a glyph is missing.
std::optional<Common::Bytes> AsCIDKeyed(Common::ByteView data, const std::map<unsigned, unsigned>& glyphs);

// The program with the advances of some glyphs set, in the program's units, each glyph by
// its number as FreeType gives it (the CID in a CID-keyed program); nullopt under the same
// conditions, or when a glyph is missing.
std::optional<Common::Bytes> WithAdvances(Common::ByteView data, const std::map<unsigned, double>& advances);

}  // namespace qvx::PDF::CFFProgram
