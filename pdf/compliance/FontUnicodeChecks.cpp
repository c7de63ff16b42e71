// Text must map to Unicode at the accessible levels: a ToUnicode CMap, or an encoding or
// character collection whose Unicode values are known; and the values must be usable.
#include "common/UString.h"
#include "pdf/EncodingData.h"
#include "pdf/FontSubstitution.h"
#include "pdf/GlyphList.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"

namespace qvx::PDF::FontRules {

using SDF::Obj;

namespace {

bool IsStandardEncodingName(std::string_view n)
{
    return n == "MacRomanEncoding" || n == "WinAnsiEncoding" || n == "MacExpertEncoding";
}

bool HasStandardEncoding(const Font& font)
{
    const Obj* enc = font.GetEncodingObj();
    return enc && enc->IsName() && IsStandardEncodingName(enc->GetName());
}

// A simple font whose codes map through a standard encoding's names. Type 1 fonts are
// judged code by code (the names of the glyphs shown), non-symbolic TrueType fonts by their
// programs' Unicode cmap.
bool SimpleFontMapsToUnicode(const Font& font)
{
    if (HasStandardEncoding(font)) return true;
    Font::Kind k = font.GetKind();
    return k == Font::e_type1 || k == Font::e_mmtype1 || (k == Font::e_truetype && !font.IsSymbolic());
}

// A composite font of one of the Adobe character collections whose Unicode values are
// published.
bool CompositeFontMapsToUnicode(const Font& font)
{
    if (!font.GetCMap()) return false;
    const CMap::SystemInfo& info = font.GetCIDSystemInfo();
    if (info.registry != "Adobe") return false;
    const std::string& o = info.ordering;
    return o == "GB1" || o == "CNS1" || o == "Japan1" || o == "Korea1";
}

bool IsPrivateUse(char16_t u) { return u >= 0xE000 && u <= 0xF8FF; }
// Supplementary private use planes 15 and 16 begin with these high surrogates.
bool IsPrivateUseHigh(char16_t u) { return u >= 0xDB80 && u <= 0xDBFF; }

bool HasNonText(const std::u16string& text)
{
    for (char16_t u : text)
        if (u == 0 || u == 0xFEFF || u == 0xFFFE) return true;
    return false;
}

}  // namespace

bool CodeText(const Font& font, const Font::CharCode& c, std::u16string& text)
{
    if (font.ToUnicode(c, text) && !text.empty()) return true;
    const FontProgram* p = font.GetProgram();
    if (font.IsComposite() || !p || !p->HasGlyphNames()) return false;
    long gid = font.GlyphId(c);
    if (gid <= 0) return false;
    text.clear();
    for (char32_t cp : font.NameText(p->GlyphName(static_cast<unsigned>(gid)))) Common::AppendUTF16(text, cp);
    return !text.empty();
}

bool HasPrivateUse(std::u16string_view text)
{
    for (char16_t u : text)
        if (IsPrivateUse(u) || IsPrivateUseHigh(u)) return true;
    return false;
}

std::u16string PublicTextOfName(const Font& font, unsigned code)
{
    std::u16string text;
    if (!font.IsSimple()) return text;
    const std::string_view name = font.GlyphName(code);
    if (char32_t cp = GlyphList::PublicFormOf(name)) {
        Common::AppendUTF16(text, cp);
        return text;
    }
    for (char32_t cp : font.NameText(name)) Common::AppendUTF16(text, cp);
    if (!text.empty()) return HasPrivateUse(text) || HasNonText(text) ? std::u16string() : text;
    // Symbol fonts of the Windows kind give code c the value U+F000 + c, as their cmap does;
    // Symbol's own encoding names the glyph (Office's subsets keep no glyph names).
    std::u16string own;
    const std::string family = SplitFontName(font.GetBaseFont()).family;
    if (code < 256 && (family == "Symbol" || family == "SymbolMT") && font.ToUnicode(Font::CharCode{code, 1, code}, own) &&
        own == std::u16string(1, static_cast<char16_t>(0xF000 + code)) && EncodingData::kSymbol[code]) {
        for (char32_t cp : GlyphList::ToUnicode(EncodingData::kSymbol[code])) Common::AppendUTF16(text, cp);
    }
    return HasPrivateUse(text) || HasNonText(text) ? std::u16string() : text;
}

void AppendActualText(const Font& font, const Font::CharCode& c, std::u16string& text, bool& private_use)
{
    std::u16string own;
    if (!CodeText(font, c, own) || HasNonText(own)) return;
    if (HasPrivateUse(own)) {
        std::u16string named = PublicTextOfName(font, c.code);
        private_use |= named.empty();
        if (!named.empty()) own = named;
    }
    text += own;
}

void CheckToUnicodeEntry(PassContext& ctx, const Font& font)
{
    if (!UnicodeLevel(ctx) || font.GetToUnicodeObj()) return;
    bool ok = font.IsComposite() ? CompositeFontMapsToUnicode(font) : SimpleFontMapsToUnicode(font);
    if (ok) return;
    ctx.Report(SDF::e_PDFA381, font.GetSDFObj());
    if (ctx.state.convert) RepairToUnicode(ctx, font);
}

void CheckUnicode(PassContext& ctx, const Font& font, const Font::CharCode& c, bool in_actual_text)
{
    if (ctx.Part() == 4) {
        // PDF/A-4 has no Unicode levels, but a mapping that is given must be usable text.
        std::u16string text;
        if (font.GetToUnicodeObj() && font.ToUnicode(c, text) && HasNonText(text)) {
            ctx.Report(SDF::e_PDFA62115, font.GetSDFObj());
            if (ctx.state.convert) RepairToUnicode(ctx, font);
        }
        return;
    }
    if (!UnicodeLevel(ctx)) return;
    std::u16string text;
    bool mapped = CodeText(font, c, text);
    Font::Kind k = font.GetKind();
    bool named = k == Font::e_type1 || k == Font::e_mmtype1;
    if (!mapped && named && !font.GetToUnicodeObj() && !HasStandardEncoding(font)) {
        ctx.Report(SDF::e_PDFA381, font.GetSDFObj());
        if (ctx.state.convert) RepairToUnicode(ctx, font);
    }
    if (!mapped) {
        ctx.Report(SDF::e_PDFA62116, font.GetSDFObj());
        if (ctx.state.convert) RepairToUnicode(ctx, font);
        return;
    }
    if (HasNonText(text)) {
        ctx.Report(SDF::e_PDFA62115, font.GetSDFObj());
        if (ctx.state.convert) RepairToUnicode(ctx, font);
        return;
    }
    if (HasPrivateUse(text) && !in_actual_text) {
        ctx.Report(SDF::e_PDFA62117, font.GetSDFObj());
        // Only a glyph whose name stands for a character outside the private area can leave it.
        if (ctx.state.convert && !PublicTextOfName(font, c.code).empty()) RepairToUnicode(ctx, font);
    }
}

}  // namespace qvx::PDF::FontRules
