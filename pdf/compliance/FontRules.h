#pragma once
// The rules the font check applies, one family per file: the dictionary and embedding
// (FontChecks.cpp), encodings and CMaps (FontEncodingChecks.cpp), subsets
// (FontSubsetChecks.cpp), glyphs and widths (FontGlyphChecks.cpp) and Unicode
// (FontUnicodeChecks.cpp). Each tests its own level gating.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "pdf/Font.h"
#include "pdf/Page.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF::FontRules {

// Levels with the Unicode rules: 1A, 2A, 2U, 3A, 3U, and PDF/UA (SDF::kUnicodeLevels).
bool UnicodeLevel(const PassContext& ctx);
// Levels where a code that shows .notdef is a violation: those of the rule's row, 2 and
// above, and PDF/UA.
bool NotdefLevel(const PassContext& ctx);

// The structure elements of a page's marked content, indexed by MCID (null when the page
// has none).
SDF::Obj* PageStructParents(SDF::SDFDoc& doc, const Page& page);
// Marked content whose properties, or whose structure element, give ActualText.
bool MarkedContentHasActualText(const SDF::Obj* props, const SDF::Obj* struct_parents);
// PDF/A-4: the ActualText of marked content must not hold private use code points.
void CheckActualTextValue(PassContext& ctx, const SDF::Obj* props, SDF::Obj* stream);

// Once per font.
void CheckDictionary(PassContext& ctx, const Font& font);
// Embedding and a damaged program: whether the program can be used for the glyph rules,
// or, in conversion, whether a substitute is to replace it after the page pass, or whether
// it was filed again (RefileProgram) and the rules go on with the font read anew.
enum class Embedding { e_usable, e_unusable, e_replace, e_refiled };
Embedding CheckEmbedding(PassContext& ctx, const Font& font);
// Conversion (FontRefile.cpp): a FontFile3 program that FreeType opens, filed under the key
// and Subtype that suit it and the file's PDF/A part (PDF/A-1 files hold the bare CFF
// program of an OpenType one); false when the program is of no kind the font can take.
bool RefileProgram(PassContext& ctx, const Font& font);
// A Type 1 program (FontFile) in the segmented form of PFB files, which FreeType reads but
// a PDF file may not hold; conversion joins the parts (false when it cannot).
bool IsSegmentedType1(const Font& font);
bool JoinType1Segments(PassContext& ctx, const Font& font);
// A damaged TrueType program (FontFile2) whose only fault is a head that names no loca
// format: conversion names the format the loca table's size shows (false when that does
// not make the program sound), keeping every glyph as it was drawn.
bool RepairLocaFormat(PassContext& ctx, const Font& font);
// A bare CFF program (FontFile3) with a Font DICT that has no Private DICT, which readers
// that walk the structure cannot read, or with a header longer than four bytes, which some
// readers misplace: conversion writes it again with an empty Private DICT for such a Font
// DICT and a four-byte header, every glyph as it was (false when it cannot).
bool HasLongCFFHeader(const Font& font);
bool MendCFF(PassContext& ctx, const Font& font);
// A TrueType program (FontFile2) whose post table is in format 2 without the glyph-name
// index that format needs, as some writers leave it: FreeType passes over it, yet readers
// that read every table reject the program. Conversion makes it format 3, which names no
// glyph, every glyph drawn as it was (false when it cannot).
bool HasUnreadablePost(const Font& font);
bool MendPostTable(PassContext& ctx, const Font& font);
// Conversion: embeds the URW program of a standard 14 font; false when there is none or
// when the font's Widths disagree with the program for a code shown.
bool EmbedStandardFont(PassContext& ctx, const Font& font, const std::set<unsigned>& shown);
// Conversion, once every font is embedded: each standard program embedded keeps only the
// glyphs the text of the fonts that embed it shows, under a subset's tagged name (with the
// CharSet PDF/A-1 asks of a subset); whole where one of them shows no text (a form's default
// font, which text typed later may need) or where the program will not be cut.
void SubsetStandardPrograms(PassContext& ctx);
void CheckComposite(PassContext& ctx, const Font& font);
// True when the program's cmap is to be rebuilt once the codes shown are known: a symbolic
// font's program keeps one subtable or gets a (3,0) one (373, 4621064, RepairSingleCMap); a non-symbolic font whose
// encoding cannot be made a standard one becomes symbolic (371, RepairSymbolCMap); one whose
// program has neither a (3,1) nor a (1,0) subtable where a level wants one gets a (3,1) one
// (RepairUnicodeCMap).
bool CheckTrueTypeEncoding(PassContext& ctx, const Font& font);
// Whether a font's Encoding is a standard Latin one, or one based on it whose Differences
// name only listed glyphs.
bool HasLatinEncoding(const Font& font);
// Whether conversion gives a non-symbolic TrueType font of a PDF/A-1 copy the symbolic form
// (RepairSymbolCMap) when its Encoding is not a standard name: the PDF/A-1 rule is read by
// other checkers as asking for the name alone, Differences or not. Only where the new cmap
// draws the same glyphs; the text goes into a ToUnicode map (written from the encoding's
// names when the font has none), and a font whose text no map can keep stays as it is. A
// descriptor other fonts share is left to them: the font gets its own.
bool WantsNamedEncoding(PassContext& ctx, const Font& font);
// Whether a non-symbolic TrueType font with a standard encoding has a program without a
// (3,1) or a (1,0) cmap subtable, which RepairUnicodeCMap gives one.
bool WantsUnicodeCMap(const Font& font);
// What the subset rules keep for the codes shown: the CIDSet bits and the CharSet names,
// when the descriptor has them.
struct SubsetInfo {
    using Names = std::set<std::string, std::less<>>;
    std::optional<Common::Bytes> cidset;
    std::optional<Names> charset;
    bool repaired = false;  // conversion rewrote CIDSet or CharSet from the program (once)
};
SubsetInfo CheckSubset(PassContext& ctx, const Font& font);
void CheckToUnicodeEntry(PassContext& ctx, const Font& font);

// Conversion repairs (FontRepairs.cpp), each made where its finding is recorded.
// A simple font's ToUnicode written (again) from its usable mappings and its glyph names,
// once per font dictionary.
struct ToUnicodeRebuilt : std::set<const SDF::Obj*> {};
void RepairToUnicode(PassContext& ctx, const Font& font);
void RepairCharSet(const Font& font, SubsetInfo& info);
// PDF/A-1 conversion, after the page walk: the W of every composite font of the file
// written again with the same widths where it, or a list in it, is longer than PDF/A-1 takes
// arrays (the reader recorded that as it read W). Fonts no text used (one only a flattened
// form drew, say) are among them.
void RepairLongWidths(PassContext& ctx);
// A simple font's Encoding (or its BaseEncoding) naming no encoding readers know, such as
// PDFDocEncoding or a misspelt name: the font reads as its own encoding. Conversion notes
// the font as the page walk meets it and, after the walk, leaves the name out, so the copy
// says what the text was read as.
struct UnknownBaseEncodings : std::set<SDF::Obj*> {};
void NoteUnknownBaseEncoding(PassContext& ctx, const Font& font);
void ForgetUnknownBaseEncodings(PassContext& ctx);
void RepairCIDSet(PassContext& ctx, const Font& font, SubsetInfo& info);
// False (and the font untouched) when a glyph name has no listed equivalent.
bool RepairLatinEncoding(const Font& font);
// Whether RepairSymbolCMap can keep the font's look and text: a TrueType program, a ToUnicode map.
bool SymbolCMapFits(const Font& font);
// The outlines part of it: glyf outlines in FontFile2, which readers draw through the cmap.
bool SymbolOutlinesFit(const Font& font);
// A descriptor given its Type and the metrics every descriptor carries, where missing.
void CompleteDescriptor(const Font& font);
// A TrueType program put under the font's descriptor (or the one given) as its FontFile2,
// with its Length1.
void PutTrueType(PassContext& ctx, const Font& font, const Common::Bytes& program, SDF::Obj* descriptor = nullptr);
// The holder's CIDSystemInfo set to info (a supplement not given written 0).
void PutSystemInfo(SDF::Obj* holder, const CMap::SystemInfo& info);
// A CIDFont's CIDSystemInfo made the CMap's where that changes neither glyphs nor text.
void RepairSystemInfo(const Font& font, const CMap::SystemInfo& cmap);
// An embedded CMap's stream given the CMapName and CIDSystemInfo its program states.
void DescribeEmbeddedCMap(SDF::Obj* stream, const CMap& cmap);
// A symbolic TrueType program left with the one cmap subtable the codes shown are read
// through, or given a (3,0) one when it has none symbolic codes are read through
// (373, and 4621064 at PDF/A-4).
void RepairSingleCMap(PassContext& ctx, const Font& font, const std::set<unsigned>& shown);
// A TrueType font whose program has CFF outlines (OpenType): readers draw it as a Type 1
// font, reaching glyphs by the names of its encoding.
bool IsCFFTrueType(const Font& font);
// Such a font made the Type 1 font that readers draw, its program under FontFile3 (OpenType,
// or the bare CFF program in PDF/A-1 files); its encoding, widths and outlines stay.
void RepairCFFTrueType(PassContext& ctx, const Font& font);
// A non-symbolic TrueType font made symbolic without Encoding, its program given a (3,0)
// cmap that takes each code shown to the glyph the code showed before.
void RepairSymbolCMap(PassContext& ctx, const Font& font, const std::set<unsigned>& shown);
// A non-symbolic TrueType font's program given one (3,1) cmap subtable that takes the
// character of each code's glyph name to the glyph the code showed before.
void RepairUnicodeCMap(PassContext& ctx, const Font& font, const std::set<unsigned>& shown);
// Whether a Type 3 font's encoding names a code: through its Differences, or through the
// base encoding it names. A Type 3 font has no built-in encoding, so without either the
// code has no name of its own.
bool Type3CodeNamed(const Font& font, std::uint32_t code);
// A Type 3 font whose Differences are made to name each code shown as readers named it, and
// given an empty glyph procedure (of the code's width) for each glyph name shown without one:
// readers draw nothing for such a code, and neither does the procedure.
void RepairType3Procedures(PassContext& ctx, const Font& font, const std::map<std::uint32_t, Font::CharCode>& codes);
// Codes shown that reach no glyph of the program, or .notdef (LacksGlyph), each given a copy
// of the glyph readers drew for it, at its width (FontGlyphRepair.cpp).
void RepairGlyphCoverage(PassContext& ctx, const Font& font, const std::map<std::uint32_t, Font::CharCode>& shown);
// The name a code's own copy of .notdef takes in a Type 1 or CFF program, and whether a name
// is one of those.
std::string NotdefCopyName(std::uint32_t code);
bool IsNotdefCopyName(std::string_view name);
// The text of a code: the font's mapping, else the name of the glyph the program shows.
bool CodeText(const Font& font, const Font::CharCode& c, std::u16string& text);

// Once per code shown (the first time it is shown with this font).
// Whether a code reaches no glyph of the embedded program (351-353), or .notdef (62118, and
// at every level a glyph whose advance can agree with one width only).
bool LacksGlyph(const Font& font, const Font::CharCode& c);
// The glyph whose advance disagrees with the code's width, or -1.
long CheckGlyph(PassContext& ctx, const Font& font, const Font::CharCode& c);
// A code of text that draws nothing (render mode 3): only .notdef is a violation there.
void CheckHiddenCode(PassContext& ctx, const Font& font, const Font::CharCode& c);
void CheckSubsetCode(PassContext& ctx, const Font& font, SubsetInfo& info, const Font::CharCode& c);
// Text (UTF-16) with a code point of a Private Use Area.
bool HasPrivateUse(std::u16string_view text);
// The character outside the Private Use Areas that the name of a simple font's glyph for
// code stands for (Symbol's bullet, which Office maps to U+F0B7; a name the Adobe list gave
// a private value that Unicode has since given a character of its own), or empty.
std::u16string PublicTextOfName(const Font& font, unsigned code);
// Gives the font dictionary an Encoding of its own whose Differences give codes their
// names; a shared encoding object stays as the other fonts use it (FontGlyphRepair.cpp).
void PutDifferences(SDF::Obj* dict, const std::map<unsigned, std::string>& names);
// Appends the text of a code for an ActualText that stands for it: its public character
// where one is known; private_use is set when it keeps a private-use value.
void AppendActualText(const Font& font, const Font::CharCode& c, std::u16string& text, bool& private_use);
void CheckUnicode(PassContext& ctx, const Font& font, const Font::CharCode& c, bool in_actual_text);
// Type 3: glyph width (thousandths of text space) against Widths; NaN when the procedure
// declared none.
void CheckType3Width(PassContext& ctx, const Font& font, const Font::CharCode& c, double declared);

}  // namespace qvx::PDF::FontRules
