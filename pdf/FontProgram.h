#pragma once
// An embedded font program opened with FreeType: the queries the font checks make of it
// (glyph lookup by code, name or CID; advance widths in font units; glyph names; the
// TrueType cmap subtables). The program owns its bytes; FreeType reads them in place.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Buffer.h"

namespace qvx::PDF {

class FontProgram {
public:
    struct CMapTable {
        int platform;
        int encoding;
    };

    // Opens a program (Type 1, CFF, TrueType, OpenType); null when FreeType cannot, or when
    // the program is damaged in a way FreeType passes over.
    static std::unique_ptr<FontProgram> Open(Common::Bytes data);
    ~FontProgram();
    FontProgram(const FontProgram&) = delete;
    FontProgram& operator=(const FontProgram&) = delete;

    // The program's bytes.
    Common::ByteView Data() const;
    // FreeType's format name: "TrueType", "Type 1", "CFF", "CID Type 1", ...
    std::string Format() const;
    int UnitsPerEm() const;
    long GlyphCount() const;
    bool HasGlyphNames() const;
    bool IsCIDKeyed() const;
    // Wrapped in the tables of a TrueType or OpenType file (not a bare CFF or Type 1 program).
    bool IsSFNT() const;
    // The bytes of one of those tables by its four-letter tag; empty when there is none.
    Common::Bytes SFNTTable(std::string_view tag) const;
    // Whether the table directory places a table of glyphs, their metrics or their mapping
    // beyond the end of the data, as in a file cut short: FreeType opens such a program and
    // fails on the glyphs that were lost.
    bool HasGlyphTablesBeyondEnd() const;

    // 0 when the glyph has no name or the program has none.
    std::string GlyphName(unsigned gid) const;
    // The glyph of a name, or 0 (.notdef).
    unsigned GlyphByName(std::string_view name) const;
    // The advance width of a glyph in font units, or -1 when it cannot be loaded.
    long Advance(unsigned gid) const;
    // Type 1: the charstring width that makes a glyph's advance the given thousandths of an
    // em (the font matrix may scale widths apart from heights); nullopt when out of range.
    std::optional<long> CharStringWidth(double thousandths) const;
    // The glyph of a CID in a CID-keyed CFF program (the CID itself otherwise).
    unsigned GlyphByCID(unsigned cid) const;

    // The subtables of a TrueType or OpenType program's cmap (the charmaps FreeType made up
    // for other kinds of program).
    const std::vector<CMapTable>& CMapTables() const { return m_cmaps; }
    // The glyph of code through subtable (platform, encoding); 0 when absent or unmapped.
    unsigned GlyphByCMap(int platform, int encoding, unsigned code) const;
    // The character each glyph stands for in the program's Unicode cmap subtables (the
    // lowest when several reach it); empty for programs without them.
    std::map<unsigned, char32_t> GlyphCharacters() const;
    // For each glyph of a program with TrueType outlines, whether it has an outline of its
    // own that no composite glyph takes as a part: the glyphs a subset holds for the text, not
    // the empty slots it keeps for glyphs left out nor the parts of its composites. Empty for
    // other programs.
    std::vector<bool> GlyphsDrawnAlone() const;
    // The glyph of code through the built-in encoding of a Type 1 or CFF program.
    unsigned GlyphByBuiltinCode(unsigned code) const;
    // The name a Type 1 program's own Encoding array gives code (".notdef" for the codes it
    // leaves alone); empty for other programs and encodings.
    std::string BuiltinCodeName(unsigned code) const;

private:
    FontProgram() = default;
    struct Impl;
    std::unique_ptr<Impl> mp;
    std::vector<CMapTable> m_cmaps;
};

}  // namespace qvx::PDF
