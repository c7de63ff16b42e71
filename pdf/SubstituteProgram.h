#pragma once
// A system TrueType program that replaces a font a document does not embed: opened with
// HarfBuzz, asked for the glyphs of characters, and cut down to a subset whose advance
// widths are the document's, so that text placed with the document's widths lines up with
// the glyphs drawn.
//
//     auto p = SubstituteProgram::Open("/usr/share/fonts/.../LiberationSans-Regular.ttf", 0);
//     SubstituteProgram::Widths w{{U'A', 667}, {U'B', 667}};   // thousandths of an em
//     auto subset = p->Subset(w, std::nullopt);                // subset->gids[U'A'] ...

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Buffer.h"
#include "pdf/CFFProgram.h"

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

class SubstituteProgram {
public:
    // Characters to keep with the advance each must have, in thousandths of an em.
    using Widths = std::map<char32_t, double>;

    struct Subset {
        Common::Bytes data;                  // a TrueType program (glyf outlines)
        std::map<char32_t, unsigned> gids;   // the glyph of each kept character
    };

    // Values a font descriptor takes from the program, in thousandths of an em.
    struct Metrics {
        double bbox[4] = {0, 0, 0, 0};
        double ascent = 0, descent = 0, cap_height = 0, italic_angle = 0;
    };

    // The face `index` of a TrueType or TrueType collection file with glyf outlines; null
    // when the file is missing, too large, or of another kind.
    static std::unique_ptr<SubstituteProgram> Open(const std::string& path, unsigned index);
    ~SubstituteProgram();
    SubstituteProgram(const SubstituteProgram&) = delete;
    SubstituteProgram& operator=(const SubstituteProgram&) = delete;

    // The glyph of a character, 0 when the program lacks it.
    unsigned Glyph(char32_t c) const;
    // The program's own advance of a character's glyph, in thousandths of an em.
    double Advance(char32_t c) const;
    // The same of a glyph, by number (0 past the last glyph).
    double GlyphAdvance(unsigned glyph) const;
    unsigned GlyphCount() const;
    int UnitsPerEm() const;
    Metrics GetMetrics() const;

    // The subset with .notdef and the glyphs of the characters of widths, each glyph's
    // advance set to its width (the first width asked for a glyph wins); .notdef gets
    // notdef_width when given. A character the program lacks gets a glyph of its own drawn
    // as .notdef, as readers draw it, though not .notdef itself, which text may not show. Outlines are narrowed to x_scale of their width (0 < x_scale
    // <= 1) for a font drawn narrower than the program. Null when HarfBuzz cannot subset
    // the program.
    std::optional<Subset> MakeSubset(const Widths& widths, std::optional<double> notdef_width, double x_scale = 1) const;

    // Text shaped as readers lay it out (Arabic letters joined, right-to-left runs reversed):
    // the glyphs in the order they are drawn, each with the advance shaping gave it and its
    // own, in thousandths of an em, and the index in text of the first character it shows.
    struct ShapedGlyph {
        unsigned glyph;
        double advance, own_advance;
        std::size_t cluster;
    };
    std::vector<ShapedGlyph> Shape(std::u32string_view text, bool right_to_left) const;

    // The subset of some glyphs (by number, each with the advance it is to have in
    // thousandths of an em, and .notdef) with the subset's number of each; glyphs are
    // renumbered in their order. Nullopt when HarfBuzz cannot subset the program.
    struct GlyphSubset {
        Common::Bytes data;
        std::map<unsigned, unsigned> gids;
        unsigned glyph_count = 0;
    };
    std::optional<GlyphSubset> SubsetGlyphs(const std::map<unsigned, double>& widths) const;

    // A subset tag made from the characters kept ("ABCDEF+"), or from the text that lists
    // what a subset keeps (the names of its glyphs, say).
    static std::string SubsetTag(const Widths& widths);
    static std::string SubsetTag(std::string_view kept);

    // The subset that keeps glyph numbers: each glyph of widths (a glyph number with the
    // advance it is to have, in thousandths of an em) stays at its number, with .notdef and
    // the parts of composite glyphs; the glyphs between them are empty, and so are those of
    // widths past the program's last glyph. For CIDs that are glyph numbers of a font the
    // document does not hold. Nullopt when HarfBuzz cannot subset the program.
    std::optional<Common::Bytes> KeepGlyphs(const std::map<unsigned, double>& widths) const;

    // An embedded TrueType or OpenType program (glyf or CFF outlines) with the advances of
    // some glyphs set, in thousandths of an em; nullopt when it is of another kind or cannot
    // be read.
    static std::optional<Common::Bytes> WithAdvances(Common::ByteView program, const std::map<unsigned, double>& widths);

    // A glyf program with copies of some of its glyphs appended (each copy of the glyph
    // source, or without outline when there is none, with advance width in thousandths of an
    // em), numbered from the program's glyph count on in the order given; nullopt when the
    // program cannot be read.
    struct GlyphCopy {
        std::optional<unsigned> source;
        double width;
    };
    static std::optional<Common::Bytes> WithGlyphCopies(Common::ByteView program, const std::vector<GlyphCopy>& copies);

    // An OpenType program with CFF outlines given the copies as CFFProgram::WithGlyphCopies
    // adds them, each with its advance in hmtx too; nullopt when either cannot be read.
    static std::optional<Common::Bytes> WithCFFGlyphCopies(Common::ByteView program, const std::vector<CFFProgram::Copy>& copies);

    // The CFF table of an OpenType program with CFF outlines: the bare CFF program it holds;
    // nullopt when it has none.
    static std::optional<Common::Bytes> CFFTable(Common::ByteView program);

    // An embedded TrueType or OpenType program with only the cmap subtable (platform,
    // encoding) left; nullopt when the program has none or cannot be read.
    static std::optional<Common::Bytes> WithOneCMap(Common::ByteView program, int platform, int encoding);
    // The same with one (3,0) cmap subtable that takes each code (0xF000 + code) to the glyph
    // given for it; nullopt when there is none or the program cannot be read.
    static std::optional<Common::Bytes> WithSymbolCMap(Common::ByteView program, const std::map<unsigned, unsigned>& glyphs);
    // The same with one (3,1) cmap subtable that takes each character of the Basic
    // Multilingual Plane to the glyph given for it; nullopt when a character lies beyond it,
    // there is none, or the program cannot be read.
    static std::optional<Common::Bytes> WithUnicodeCMap(Common::ByteView program, const std::map<char32_t, unsigned>& glyphs);

private:
    SubstituteProgram() = default;
    struct Impl;
    std::unique_ptr<Impl> mp;
};

// Puts the metrics a font descriptor needs (FontBBox, ItalicAngle, Ascent, Descent,
// CapHeight, StemV) from a program into descriptor, keeping those it already has (a
// FontBBox only when it is an array).
void FillDescriptorMetrics(SDF::Obj* descriptor, const SubstituteProgram::Metrics& m);

}  // namespace qvx::PDF
