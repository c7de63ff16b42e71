#pragma once
// Conversion: fonts whose program is missing or damaged are marked by the embedding rule
// while the pages are checked, together with every code text shows in them; after the page
// pass each receives a substitute program cut down to those codes (FontReplacement.cpp for
// simple fonts, FontReplaceComposite.cpp for composite ones). The dictionaries keep their
// object numbers and their widths: the program's advances are set to the widths instead.
// A font no substitute fits is left as it was, with its finding.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "pdf/Element.h"
#include "pdf/Font.h"
#include "pdf/SubstituteProgram.h"
#include "pdf/Type1Program.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

class FontReplacements {
public:
    struct Entry {
        std::shared_ptr<const Font> font;
        std::map<std::uint32_t, Font::CharCode> codes;  // by code (simple) or CID (composite)
    };
    void Mark(const std::shared_ptr<const Font>& font);
    bool IsMarked(const Font& font) const { return m_fonts.count(font.GetSDFObj()->Resolve()) != 0; }
    // A code a font shows, kept for the fonts marked here.
    void AddCode(const Font& font, const Font::CharCode& c);
    const std::map<const SDF::Obj*, Entry>& Entries() const { return m_fonts; }

    // Embedded programs whose advances disagree with the widths (361): the advance each
    // glyph is to have, in thousandths of an em (the first width found for a glyph).
    struct Advances {
        std::shared_ptr<const Font> font;
        std::map<unsigned, double> widths;
    };
    void FixAdvance(const std::shared_ptr<const Font>& font, long gid, double width);
    const std::map<const SDF::Obj*, Advances>& AdvanceFixes() const { return m_advances; }

    // TrueType fonts whose program's cmap is to be rebuilt (373, 371), with the codes they
    // show.
    void MarkSingleCMap(const std::shared_ptr<const Font>& font);

    // Type 3 codes shown without a glyph procedure (352): readers draw nothing for them.
    void AddMissingProcedure(const std::shared_ptr<const Font>& font, const Font::CharCode& c);
    const std::map<const SDF::Obj*, Entry>& MissingProcedures() const { return m_missing_procs; }

    // Codes shown that reach no glyph of the embedded program, or .notdef (FontRules::LacksGlyph).
    void AddUncovered(const std::shared_ptr<const Font>& font, const Font::CharCode& c);
    const std::map<const SDF::Obj*, Entry>& Uncovered() const { return m_uncovered; }

    // Whether an object a substitute is written into (a descriptor, a CIDFont) is first
    // claimed by this font (false when a font sharing it already has).
    bool Claim(const SDF::Obj* shared);
    const std::map<const SDF::Obj*, Entry>& SingleCMaps() const { return m_single_cmap; }

private:
    std::map<const SDF::Obj*, Entry> m_fonts;
    std::map<const SDF::Obj*, Advances> m_advances;
    std::map<const SDF::Obj*, Entry> m_single_cmap;
    std::map<const SDF::Obj*, Entry> m_missing_procs;
    std::map<const SDF::Obj*, Entry> m_uncovered;
    std::set<const SDF::Obj*> m_claimed;
};

// Text shown with a Tf name its resources do not define: where each name is to be defined
// (the resources the text was drawn with, or the form stream that has none) and the bytes
// shown with it.
class MissingFonts {
public:
    struct Entry {
        SDF::Obj* resources = nullptr;
        SDF::Obj* stream = nullptr;
        std::string name;
        std::vector<Common::Bytes> shown;
    };
    void Add(SDF::Obj* resources, SDF::Obj* stream, const std::string& name, std::span<const Element::Shown> shown);
    const std::vector<Entry>& Entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries;
};

// Runs after the page pass in conversion, before the marked fonts are replaced: each missing
// name is defined by the interactive form's font of that name when there is one, else by
// Helvetica, and marked for a substitute program when it has none of its own.
void DefineMissingFonts(PassContext& ctx);

// Runs after the page pass in conversion: replaces the marked fonts and sets the advances
// of embedded programs to their fonts' widths.
void ReplaceMarkedFonts(PassContext& ctx);

namespace FontReplace {

// Embedded programs larger than this are left as they are.
inline constexpr std::uint64_t kMaxEmbeddedProgramBytes = 64ull << 20;

bool ReplaceSimple(PassContext& ctx, const FontReplacements::Entry& e);
bool ReplaceComposite(PassContext& ctx, const FontReplacements::Entry& e);

// Shared by both: the family of a BaseFont as a PostScript name ("Font" when nothing of it is left).
std::string PostScriptName(std::string_view base_font);
// Sets the font's descriptor to the substitute's program: FontFile2 holding data (in the
// place of a damaged program's stream), the tagged FontName, and the metrics the descriptor
// lacks. A font without a descriptor, or whose descriptor another replaced font shares, gets
// a new one, put into holder (the font or CIDFont dictionary). Returns the descriptor.
SDF::Obj* EmbedProgram(PassContext& ctx, const Font& font, SDF::Obj* holder, const std::string& font_name,
                       const SubstituteProgram& program, Common::Bytes data);
// The font's request for a substitute of its name and style.
struct Style {
    bool bold, italic, fixed;
};
Style StyleOf(const Font& font);
// Non-symbolic TrueType fonts: Encoding becomes WinAnsiEncoding with Differences that give
// each of codes the glyph of the character it shows, in names of the glyph list. False (and
// the dictionary untouched) when a name has no listed equivalent.
bool PutLatinEncoding(SDF::Obj* dict, const Font& font, const std::set<unsigned>& codes);
// Readers draw a font they lack with a system font squeezed to the font's width when the
// font is much narrower (its "m", width_of the code, less than nine tenths of own_m, the
// system font's in thousandths of an em, and more than the font's MissingWidth): the ratio
// the glyphs are squeezed by, or 1.
double NarrowingOf(const Font& font, double own_m, const std::function<double(unsigned)>& width_of);
// Length1, Length2 and Length3 of a Type 1 program's stream.
void PutType1Lengths(SDF::Obj* stream, const Type1Program::Lengths& lengths);
// The stream under key in dict made data, Flate-compressed: the stream there keeps its object
// number and takes the data, unless another reference in the file reads it too; then, as
// when there is none, a new stream takes its place under key.
SDF::Obj* PutStream(PassContext& ctx, SDF::Obj* dict, std::string_view key, const Common::Bytes& data);
// Whether more than one reference in the file reads the object (a descriptor two fonts
// share, say).
bool IsShared(PassContext& ctx, const SDF::Obj* obj);
// Counts the (indirect) object as shared from now on: conversion gave it a second reader.
void MarkShared(PassContext& ctx, const SDF::Obj* obj);

}  // namespace FontReplace

}  // namespace qvx::PDF
