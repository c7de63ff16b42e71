// Text must map to Unicode at the accessible levels: a ToUnicode CMap, or an encoding or
// character collection whose Unicode values are known; and the values must be usable.
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

// A simple font whose codes all have glyph names of the Adobe Glyph List.
bool SimpleFontMapsToUnicode(const Font& font)
{
    const Obj* enc = font.GetEncodingObj();
    if (enc && enc->IsName() && IsStandardEncodingName(enc->GetName())) return true;
    if (font.GetKind() != Font::e_type1 && font.GetKind() != Font::e_mmtype1) return false;
    for (unsigned code = 0; code < 256; ++code) {
        std::string_view name = font.GlyphName(code);
        if (!name.empty() && name != ".notdef" && !GlyphList::IsListed(name)) return false;
    }
    return true;
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

}  // namespace

void CheckToUnicodeEntry(PassContext& ctx, const Font& font)
{
    if (!UnicodeLevel(ctx) || font.GetToUnicodeObj()) return;
    bool ok = font.IsComposite() ? CompositeFontMapsToUnicode(font) : SimpleFontMapsToUnicode(font);
    if (!ok) ctx.Report(381, font.GetSDFObj());
}

void CheckUnicode(PassContext& ctx, const Font& font, const Font::CharCode& c, bool in_actual_text)
{
    // PDF/A-1 asks only for the mapping's presence.
    if (!UnicodeLevel(ctx) || ctx.Part() == 1) return;
    std::u16string text;
    if (!font.ToUnicode(c, text) || text.empty()) {
        ctx.Report(62116, font.GetSDFObj());
        return;
    }
    bool pua = false;
    for (char16_t u : text) {
        if (u == 0 || u == 0xFEFF || u == 0xFFFE) {
            ctx.Report(62115, font.GetSDFObj());
            return;
        }
        pua |= IsPrivateUse(u) || IsPrivateUseHigh(u);
    }
    if (pua && !in_actual_text) ctx.Report(62117, font.GetSDFObj());
}

}  // namespace qvx::PDF::FontRules
