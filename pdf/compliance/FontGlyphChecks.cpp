// Codes shown: each must reach a glyph of the embedded program, not .notdef, with the
// program's advance agreeing with the dictionary's width.
#include <cmath>

#include "pdf/ObjUtil.h"
#include "pdf/compliance/FontRules.h"

namespace qvx::PDF::FontRules {

namespace {

std::int32_t MissingGlyphCode(const Font& font)
{
    if (font.IsComposite()) return SDF::e_PDFA351;
    return font.GetKind() == Font::e_truetype ? SDF::e_PDFA353 : SDF::e_PDFA352;
}

// Both widths in thousandths of an em: they may differ by one.
bool WidthsAgree(double dict_width, double program_width) { return std::fabs(dict_width - program_width) <= 1.0; }

// A code that names no glyph through a standard encoding shows .notdef; a symbolic
// TrueType font and a program's own encoding reach glyphs by code instead.
bool ShowsNotdef(const Font& font, const Font::CharCode& c)
{
    if (font.IsComposite()) return c.cid == 0;
    std::string_view name = font.GlyphName(c.code);
    if (!name.empty()) return name == ".notdef";
    if (font.GetKind() == Font::e_truetype && font.IsSymbolic()) return false;
    // The page layer has no MacExpert names: those codes reach the program's own glyphs.
    BaseEncoding base = font.GetEncoding().GetBase();
    return base != BaseEncoding::e_font_specific && base != BaseEncoding::e_mac_expert;
}

}  // namespace

bool LacksGlyph(const Font& font, const Font::CharCode& c)
{
    return font.GetProgram() && (ShowsNotdef(font, c) || font.GlyphId(c) <= 0);
}

long CheckGlyph(PassContext& ctx, const Font& font, const Font::CharCode& c)
{
    const FontProgram* p = font.GetProgram();
    if (!p) return -1;
    long gid = 0;
    if (ShowsNotdef(font, c)) {
        ctx.Report(SDF::e_PDFA62118, font.GetSDFObj());
    } else {
        gid = font.GlyphId(c);
        if (gid <= 0) {
            ctx.Report(MissingGlyphCode(font), font.GetSDFObj());
            return -1;
        }
    }
    // .notdef is drawn too: its advance must agree with the code's width like any glyph's.
    // A simple font's code outside its Widths has the descriptor's MissingWidth; one with no
    // Widths at all states no widths to disagree with.
    int upem = p->UnitsPerEm();
    if (upem <= 0 || (font.IsSimple() && !FindArray(font.GetSDFObj(), "Widths"))) return -1;
    long advance = p->Advance(static_cast<unsigned>(gid));
    if (advance < 0 || WidthsAgree(font.GetWidth(c), advance * 1000.0 / upem)) return -1;
    ctx.Report(SDF::e_PDFA361, font.GetSDFObj());
    return gid;
}

void CheckHiddenCode(PassContext& ctx, const Font& font, const Font::CharCode& c)
{
    if (font.GetProgram() && !font.IsProgramDamaged() && ShowsNotdef(font, c))
        ctx.Report(SDF::e_PDFA62118, font.GetSDFObj());
}

void CheckType3Width(PassContext& ctx, const Font& font, const Font::CharCode& c, double declared)
{
    if (!FindArray(font.GetSDFObj(), "Widths")) return;
    if (!WidthsAgree(font.GetWidth(c), declared)) ctx.Report(SDF::e_PDFA361, font.GetSDFObj());
}

}  // namespace qvx::PDF::FontRules
