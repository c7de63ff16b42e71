#include "pdf/Std14.h"

#include <algorithm>
#include <string>

#include "pdf/Std14Data.h"

namespace qvx::PDF::Std14 {

namespace {

struct Alias {
    std::string_view from, to;
};

// Names in common use for the standard fonts (without spaces, as normalised below).
constexpr Alias kAliases[] = {
    {"Arial", "Helvetica"}, {"Arial,Bold", "Helvetica-Bold"}, {"Arial,BoldItalic", "Helvetica-BoldOblique"},
    {"Arial,Italic", "Helvetica-Oblique"}, {"Arial-Bold", "Helvetica-Bold"},
    {"Arial-BoldItalic", "Helvetica-BoldOblique"}, {"Arial-BoldItalicMT", "Helvetica-BoldOblique"},
    {"Arial-BoldMT", "Helvetica-Bold"}, {"Arial-Italic", "Helvetica-Oblique"},
    {"Arial-ItalicMT", "Helvetica-Oblique"}, {"ArialMT", "Helvetica"}, {"Courier,Bold", "Courier-Bold"},
    {"Courier,BoldItalic", "Courier-BoldOblique"}, {"Courier,Italic", "Courier-Oblique"},
    {"CourierNew", "Courier"}, {"CourierNew,Bold", "Courier-Bold"},
    {"CourierNew,BoldItalic", "Courier-BoldOblique"}, {"CourierNew,Italic", "Courier-Oblique"},
    {"CourierNew-Bold", "Courier-Bold"}, {"CourierNew-BoldItalic", "Courier-BoldOblique"},
    {"CourierNew-Italic", "Courier-Oblique"}, {"CourierNewPS-BoldItalicMT", "Courier-BoldOblique"},
    {"CourierNewPS-BoldMT", "Courier-Bold"}, {"CourierNewPS-ItalicMT", "Courier-Oblique"},
    {"CourierNewPSMT", "Courier"}, {"Helvetica,Bold", "Helvetica-Bold"},
    {"Helvetica,BoldItalic", "Helvetica-BoldOblique"}, {"Helvetica,Italic", "Helvetica-Oblique"},
    {"Helvetica-BoldItalic", "Helvetica-BoldOblique"}, {"Helvetica-Italic", "Helvetica-Oblique"},
    {"Symbol,Bold", "Symbol"}, {"Symbol,BoldItalic", "Symbol"}, {"Symbol,Italic", "Symbol"},
    {"Times", "Times-Roman"}, {"Times,Bold", "Times-Bold"}, {"Times,BoldItalic", "Times-BoldItalic"},
    {"Times,Italic", "Times-Italic"}, {"TimesNewRoman", "Times-Roman"},
    {"TimesNewRoman,Bold", "Times-Bold"}, {"TimesNewRoman,BoldItalic", "Times-BoldItalic"},
    {"TimesNewRoman,Italic", "Times-Italic"}, {"TimesNewRoman-Bold", "Times-Bold"},
    {"TimesNewRoman-BoldItalic", "Times-BoldItalic"}, {"TimesNewRoman-Italic", "Times-Italic"},
    {"TimesNewRomanPS", "Times-Roman"}, {"TimesNewRomanPS-Bold", "Times-Bold"},
    {"TimesNewRomanPS-BoldItalic", "Times-BoldItalic"}, {"TimesNewRomanPS-BoldItalicMT", "Times-BoldItalic"},
    {"TimesNewRomanPS-BoldMT", "Times-Bold"}, {"TimesNewRomanPS-Italic", "Times-Italic"},
    {"TimesNewRomanPS-ItalicMT", "Times-Italic"}, {"TimesNewRomanPSMT", "Times-Roman"},
};

const Std14Data::Font* FindFont(std::string_view name)
{
    for (std::size_t i = 0; i < Std14Data::kFontCount; ++i) {
        if (name == Std14Data::kFonts[i].name) return &Std14Data::kFonts[i];
    }
    return nullptr;
}

}  // namespace

std::string_view Untagged(std::string_view name)
{
    if (name.size() > 7 && name[6] == '+' &&
        std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; })) {
        name.remove_prefix(7);
    }
    return name;
}

std::string_view Canonical(std::string_view base_font)
{
    std::string name;
    for (char c : Untagged(base_font)) {
        if (c != ' ') name += c;
    }
    if (const Std14Data::Font* f = FindFont(name)) return f->name;
    for (const Alias& a : kAliases) {
        if (a.from == name) return a.to;
    }
    return {};
}

std::optional<int> Width(std::string_view std_font, std::string_view glyph)
{
    const Std14Data::Font* f = FindFont(std_font);
    if (!f) return std::nullopt;
    const Std14Data::Width* end = f->widths + f->count;
    const Std14Data::Width* it = std::lower_bound(f->widths, end, glyph, [](const Std14Data::Width& w, std::string_view g) {
        return std::string_view(w.name) < g;
    });
    if (it == end || std::string_view(it->name) != glyph) return std::nullopt;
    return it->width;
}

std::string ProgramFile(std::string_view std_font)
{
    static constexpr std::pair<std::string_view, std::string_view> kFiles[] = {
        {"Helvetica", "NimbusSans-Regular"}, {"Helvetica-Bold", "NimbusSans-Bold"},
        {"Helvetica-Oblique", "NimbusSans-Italic"}, {"Helvetica-BoldOblique", "NimbusSans-BoldItalic"},
        {"Times-Roman", "NimbusRoman-Regular"}, {"Times-Bold", "NimbusRoman-Bold"},
        {"Times-Italic", "NimbusRoman-Italic"}, {"Times-BoldItalic", "NimbusRoman-BoldItalic"},
        {"Courier", "NimbusMonoPS-Regular"}, {"Courier-Bold", "NimbusMonoPS-Bold"},
        {"Courier-Oblique", "NimbusMonoPS-Italic"}, {"Courier-BoldOblique", "NimbusMonoPS-BoldItalic"},
        {"Symbol", "StandardSymbolsPS"}, {"ZapfDingbats", "D050000L"}};
    for (const auto& [name, file] : kFiles)
        if (name == std_font) return "/usr/share/fonts/type1/urw-base35/" + std::string(file) + ".t1";
    return {};
}

}  // namespace qvx::PDF::Std14
