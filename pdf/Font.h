#pragma once
// A font resource: the dictionary model the text checks and text extraction query.
// Simple fonts (Type1, MMType1, TrueType, Type3) decode one byte per code through their
// encoding; composite fonts (Type0) split strings with their CMap into codes and CIDs.
//
//     auto font = Font::Create(font_dict);           // never throws
//     std::vector<Font::CharCode> codes;
//     font->Decode(shown_string, codes);
//     for (auto& c : codes) { font->GetWidth(c); font->GlyphId(c); font->ToUnicode(c, text); }
//
// The embedded program is opened with FreeType on first use (GetProgram).

#include <bitset>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Buffer.h"
#include "pdf/CMap.h"
#include "pdf/Encoding.h"
#include "pdf/FontProgram.h"
#include "pdf/Geometry.h"

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

class Font {
public:
    enum Kind { e_type1, e_mmtype1, e_truetype, e_type3, e_type0, e_cid_type0, e_cid_type2, e_unknown };
    // Descriptor Flags bits.
    enum Flag { e_fixed_pitch = 1, e_serif = 2, e_symbolic = 4, e_script = 8, e_nonsymbolic = 32, e_italic = 64 };

    struct CharCode {
        std::uint32_t code = 0;
        std::uint8_t nbytes = 1;
        std::uint32_t cid = 0;  // composite fonts; the code itself for simple fonts
    };

    // The font of a font dictionary; a damaged one still yields a Font of kind e_unknown
    // or with the parts that could be read.
    static std::shared_ptr<Font> Create(SDF::Obj* dict);

    Kind GetKind() const { return m_kind; }
    // For Type0: the descendant's kind (e_cid_type0 or e_cid_type2), else e_unknown.
    Kind GetDescendantKind() const { return m_desc_kind; }
    bool IsSimple() const { return m_kind == e_type1 || m_kind == e_mmtype1 || m_kind == e_truetype || m_kind == e_type3; }
    bool IsComposite() const { return m_kind == e_type0; }
    // Subtype name of the dictionary as found ("Type1", "Type0", ...), or empty.
    const std::string& GetSubtype() const { return m_subtype; }

    SDF::Obj* GetSDFObj() const { return mp_dict; }
    // Type0: the first DescendantFonts entry when it is a dictionary, else null.
    SDF::Obj* GetDescendant() const { return mp_desc; }
    // The FontDescriptor (of the descendant for Type0), or null.
    SDF::Obj* GetDescriptor() const { return mp_descriptor; }
    // BaseFont as found, or empty.
    const std::string& GetBaseFont() const { return m_base_font; }
    // BaseFont, or the descriptor's FontName, starts with a subset tag ("ABCDEF+"): producers
    // that tag only the one still embed a subset.
    bool IsSubset() const;
    // A font whose glyph names a1, a2... are the ITC Zapf Dingbats ones.
    bool IsDingbatsFont() const;
    // The characters a glyph name of this font stands for (none for a dingbat's name
    // outside a dingbats font).
    std::u32string NameText(std::string_view name) const;
    // The standard 14 font this font names when it has no embedded program, or empty.
    std::string_view GetStandardName() const { return m_std14; }
    // The descriptor's MissingWidth (0 when it gives none).
    double GetMissingWidth() const { return m_missing_width; }

    int GetFlags() const { return m_flags; }
    bool IsSymbolic() const { return m_flags & e_symbolic; }

    // The embedded program stream, the key it came from (FontFile, FontFile2, FontFile3)
    // and FontFile3's Subtype; null/empty when not embedded.
    SDF::Obj* GetEmbeddedStream() const { return mp_file; }
    const std::string& GetEmbeddedKey() const { return m_file_key; }
    const std::string& GetEmbeddedSubtype() const { return m_file_subtype; }
    // The program opened with FreeType, null when not embedded or unreadable.
    const FontProgram* GetProgram() const;
    // Embedded but FreeType cannot open it.
    bool IsProgramDamaged() const;

    // Simple fonts: the encoding in force and whether the dictionary has an Encoding.
    const SimpleEncoding& GetEncoding() const { return m_encoding; }
    SDF::Obj* GetEncodingObj() const { return mp_encoding; }
    // Composite fonts: the CMap (null when it cannot be found) and CIDSystemInfo of the CIDFont.
    const CMap* GetCMap() const { return mp_cmap.get(); }
    const CMap::SystemInfo& GetCIDSystemInfo() const { return m_cid_info; }
    int GetWMode() const { return mp_cmap ? mp_cmap->GetWMode() : 0; }
    // CIDFontType2: "Identity", a stream, or null when absent.
    // Looked up on each call: conversion may replace the entry while the font is in use.
    SDF::Obj* GetCIDToGIDMapObj() const;
    // The glyph numbers of a CIDToGIDMap stream by CID (read once); null when the map is no
    // stream or cannot be read.
    const std::vector<std::uint16_t>* GetCIDToGIDTable() const;
    // The glyph number a CID leads to through CIDToGIDMap: the map stream's (0 past its end
    // or when it cannot be read), else the CID itself (Identity, or no map).
    std::uint32_t MappedGlyph(std::uint32_t cid) const;
    const CMap* GetToUnicode() const { return mp_to_unicode.get(); }
    SDF::Obj* GetToUnicodeObj() const { return mp_to_unicode_obj; }

    // Splits a shown string into codes (one byte each for simple fonts).
    void Decode(Common::ByteView s, std::vector<CharCode>& out) const;
    // Glyph width in thousandths of text space (Type 3: glyph space scaled by FontMatrix x 1000).
    double GetWidth(const CharCode& c) const;
    // Vertical writing: the vertical displacement w1 and the position vector (vx, vy) from the
    // glyph's origin to the point it is placed by, in thousandths of text space (W2, DW2).
    void GetVerticalMetrics(const CharCode& c, double& w1, double& vx, double& vy) const;
    // Whether Widths (or W) gives this code's width explicitly.
    bool HasExplicitWidth(const CharCode& c) const;
    // Composite widths as W gives them: CID ranges of one width, by first CID (a later entry
    // over an earlier one wins).
    struct WRange {
        std::uint32_t first, last;
        double width;
    };
    const std::vector<WRange>& GetWRanges() const { return m_w; }
    // Simple fonts: the glyph name of a code from the encoding (and program), or empty.
    std::string_view GlyphName(std::uint32_t code) const;
    // How codes of TrueType programs reach glyphs: by the character maps the PDF names
    // (what the font rules hold a program to), or also as viewers go on to look (a symbolic
    // font's codes in its Windows Unicode map, Unicode-platform maps standing in for it).
    enum GlyphLookup { e_standard_maps, e_as_viewers };
    // The glyph of a code in the embedded program; 0 (.notdef) when it has none, -1
    // when there is no program.
    long GlyphId(const CharCode& c, GlyphLookup lookup = e_standard_maps) const;
    // The text of a code: ToUnicode, else the glyph name, else the character collection.
    // False when no mapping exists.
    bool ToUnicode(const CharCode& c, std::u16string& out) const;
    // Word spacing applies to the single-byte code 32.
    static bool IsWordSpace(const CharCode& c) { return c.nbytes == 1 && c.code == 32; }

    // Type 3: FontMatrix, the glyph procedure of a code (null when none) and Resources.
    const Matrix& GetFontMatrix() const { return m_matrix; }
    SDF::Obj* GetCharProc(std::uint32_t code) const;
    SDF::Obj* GetType3Resources() const;

private:
    Font() = default;
    void ReadSimple();
    void ReadComposite();
    void ReadDescriptor(SDF::Obj* descriptor);
    void ReadSimpleEncoding();
    void ReadSimpleWidths();
    void ReadCompositeWidths();
    long SimpleGlyph(std::uint32_t code, GlyphLookup lookup) const;
    long CompositeGlyph(std::uint32_t cid) const;

    Kind m_kind = e_unknown;
    Kind m_desc_kind = e_unknown;
    std::string m_subtype;
    std::string m_base_font;
    std::string_view m_std14;
    SDF::Obj* mp_dict = nullptr;
    SDF::Obj* mp_desc = nullptr;
    SDF::Obj* mp_descriptor = nullptr;
    SDF::Obj* mp_file = nullptr;
    std::string m_file_key, m_file_subtype;
    int m_flags = 0;

    SimpleEncoding m_encoding;
    SDF::Obj* mp_encoding = nullptr;
    std::shared_ptr<const CMap> mp_cmap;
    CMap::SystemInfo m_cid_info;
    std::shared_ptr<const CMap> mp_to_unicode;
    SDF::Obj* mp_to_unicode_obj = nullptr;
    std::shared_ptr<const CIDToUnicode> mp_collection;

    // Simple widths: per code, with the codes Widths covers.
    double m_widths[256] = {};
    std::bitset<256> m_has_width;
    double m_missing_width = 0;
    std::vector<WRange> m_w;
    double m_dw = 1000;
    // Vertical metrics: W2 ranges and DW2.
    struct VRange {
        std::uint32_t first, last;
        double w1, vx, vy;
    };
    std::vector<VRange> m_w2;
    double m_dw2_vy = 880, m_dw2_w1 = -1000;

    Matrix m_matrix{0.001, 0, 0, 0.001, 0, 0};

    // Simple fonts: per-code results, computed on first use (text is shown code by code).
    mutable double m_resolved_width[256] = {};
    mutable std::bitset<256> m_width_done;
    mutable std::u16string m_uni[256];
    mutable std::bitset<256> m_uni_done, m_uni_ok;

    mutable std::shared_ptr<const FontProgram> mp_program;
    mutable bool m_program_tried = false;
    mutable std::optional<std::vector<std::uint16_t>> m_cid_to_gid;  // decoded CIDToGIDMap stream
    mutable bool m_cid_to_gid_read = false;
};

}  // namespace qvx::PDF
