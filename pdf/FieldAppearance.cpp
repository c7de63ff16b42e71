// Appearances that write text: free text annotations and form fields (text, choice, push
// button), and the states of check boxes and radio buttons.

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cmath>
#include <map>
#include <numbers>
#include <memory>
#include <string>
#include <vector>

#include "pdf/Annot.h"
#include "pdf/AnnotAppearance.h"
#include "pdf/AppearanceText.h"
#include "pdf/AppearanceWriter.h"
#include "pdf/Field.h"
#include "pdf/Font.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageContent.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

namespace {

// Field entries inherit from the field's ancestors; the chain is cut at a depth no real
// form reaches, so a Parent loop cannot hang the walk.
SDF::Obj* Inherited(SDF::Obj* dict, std::string_view key)
{
    for (int depth = 0; dict && dict->IsDict() && depth < 64; ++depth) {
        if (SDF::Obj* v = Deref(dict->FindObj(key))) return v;
        dict = Deref(dict->FindObj("Parent"));
    }
    return nullptr;
}

SDF::Obj* AcroFormOf(SDF::SDFDoc& doc)
{
    return FindDict(FindDict(doc.GetTrailer(), "Root"), "AcroForm");
}

// The default appearance string: font resource name, size and the colour operator.
struct DefaultAppearance {
    std::string font;
    double size = 0;
    std::string colour = "0 g";
    // The family a note's default style (DS) or rich text (RC) names: text the font cannot
    // show is set in it first.
    std::string family;
};

DefaultAppearance ParseDA(const SDF::Obj* da)
{
    DefaultAppearance out;
    if (!da || !da->IsString()) return out;
    Common::ByteView bytes = da->GetBuffer();
    std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::vector<std::string> operands;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = text.find_first_not_of(" \t\r\n\f", pos);
        if (start == std::string::npos) break;
        pos = text.find_first_of(" \t\r\n\f/", start + 1);
        if (pos == std::string::npos) pos = text.size();
        std::string token = text.substr(start, pos - start);
        const bool operand = token[0] == '/' || token[0] == '-' || token[0] == '.' || std::isdigit(static_cast<unsigned char>(token[0]));
        if (operand) {
            operands.push_back(token);
            continue;
        }
        if (token == "Tf" && operands.size() >= 2 && operands[operands.size() - 2][0] == '/') {
            out.font = operands[operands.size() - 2].substr(1);
            out.size = std::abs(std::atof(operands.back().c_str()));
        } else if ((token == "g" && operands.size() >= 1) || (token == "rg" && operands.size() >= 3) ||
                   (token == "k" && operands.size() >= 4)) {
            const std::size_t n = token == "g" ? 1 : token == "rg" ? 3 : 4;
            out.colour.clear();
            for (std::size_t i = operands.size() - n; i < operands.size(); ++i) out.colour += operands[i] + " ";
            out.colour += token;
        }
        operands.clear();
    }
    return out;
}

// The first family of the font-family (or font) property of a default style string such as
// "font: bold 12pt Arial, sans-serif; color: #000000", or of the first style of rich text.
std::string StyleFamily(const SDF::Obj* ds)
{
    if (!ds || !ds->IsString()) return {};
    Common::ByteView bytes = ds->GetBuffer();
    std::string style(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::size_t at = style.find("font-family:");
    if (at != std::string::npos) {
        at += 12;
    } else if ((at = style.find("font:")) != std::string::npos) {
        // The shorthand names the family after the size.
        std::size_t size = style.find_first_of("0123456789", at);
        at = size == std::string::npos ? std::string::npos : style.find(' ', size);
    }
    // The name may be quoted, and in rich text the attribute's quotes end it.
    if (at != std::string::npos) at = style.find_first_not_of(" '\"", at);
    if (at == std::string::npos) return {};
    std::string family = style.substr(at, style.find_first_of(",;<>'\"", at) - at);
    family.erase(family.find_last_not_of(' ') + 1);
    return family;
}

// Helvetica, kept once in the form's resources (when there is a form) so that every field
// shares it.
SDF::Obj* Helvetica(SDF::SDFDoc& doc, SDF::Obj* acroform)
{
    SDF::Obj* dr = FindDict(acroform, "DR");
    SDF::Obj* fonts = FindDict(dr, "Font");
    SDF::Obj* helv = FindIn(fonts, "Helv");
    if (helv && IsNameOf(FindIn(helv, "BaseFont"), "Helvetica")) return helv;
    SDF::Obj* dict = doc.CreateIndirectDict();
    dict->PutName("Type", "Font");
    dict->PutName("Subtype", "Type1");
    dict->PutName("BaseFont", "Helvetica");
    dict->PutName("Encoding", "WinAnsiEncoding");
    if (!acroform) return dict;
    if (!dr) dr = acroform->PutDict("DR");
    if (!fonts) fonts = dr->PutDict("Font");
    fonts->Put("Helv", doc.GetObj(dict->GetObjNum()));
    return dict;
}

// A font to write with and the codes of the characters it can show.
class TextFont : public TextSetter {
public:
    TextFont(SDF::SDFDoc& doc, const std::string& name)
    {
        SDF::Obj* acroform = AcroFormOf(doc);
        SDF::Obj* fonts = FindDict(FindDict(acroform, "DR"), "Font");
        mp_dict = name.empty() ? nullptr : Deref(FindIn(fonts, name));
        m_family = FindName(mp_dict, "BaseFont");
        if (!mp_dict || !mp_dict->IsDict() || !(mp_font = Font::Create(mp_dict)) || !mp_font->IsSimple() ||
            mp_font->GetKind() == Font::e_type3) {
            mp_dict = Helvetica(doc, acroform);
            mp_font = Font::Create(mp_dict);
        }
        for (std::uint32_t code = 255; code > 0; --code) {
            std::u16string text;
            if (mp_font->ToUnicode({code, 1, code}, text) && text.size() == 1) m_codes[text[0]] = static_cast<char>(code);
        }
    }

    // The name of the font the appearance string names (a composite font too, which this
    // one stands in for), else of this one: the family to look for first among the fonts
    // that show the characters it lacks.
    std::string Family() const { return m_family.empty() ? std::string(FindName(mp_dict, "BaseFont")) : m_family; }
    // The codes of text; false when the font cannot show one of its characters.
    bool Encode(std::u16string_view text, std::string& out) const
    {
        out.clear();
        for (char16_t c : text) {
            auto it = m_codes.find(c);
            // Latin encodings give their no-break space the glyph of the space, so the text
            // map of the font knows only the space.
            if (it == m_codes.end() && (c == u'\u00A0' || c == u'\u2007' || c == u'\u202F')) it = m_codes.find(u' ');
            if (it == m_codes.end()) return false;
            out += it->second;
        }
        return true;
    }
    double Width(std::u16string_view text) override
    {
        std::string codes;
        Encode(text, codes);
        double w = 0;
        for (unsigned char c : codes) w += mp_font->GetWidth({c, 1, c});
        return w / 1000;
    }
    void Prepare(const std::vector<std::u16string>&) override {}
    void Show(AppearanceWriter& w, std::u16string_view text, double size) override
    {
        std::string codes;
        Encode(text, codes);
        SetFont(w, w.Resource("Font", "F", mp_dict), size);
        w.String(codes).Op("Tj");
    }

private:
    SDF::Obj* mp_dict = nullptr;
    std::shared_ptr<Font> mp_font;
    std::map<char16_t, char> m_codes;
    std::string m_family;
};

// More text than this is not drawn: no field or note shows it, and laying it out would
// only cost time.
constexpr std::size_t kMaxText = 1 << 14;

// The lines of a string entry's text (or the text of a name).
std::vector<std::u16string> Lines(const SDF::Obj* value)
{
    std::vector<std::u16string> out;
    if (value && value->IsString()) {
        std::u16string text = value->GetAsPDFText().Units(), line;
        if (text.size() > kMaxText) text.resize(kMaxText);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'\r' || text[i] == u'\n') {
                out.push_back(line);
                line.clear();
                if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            } else {
                line += text[i];
            }
        }
        out.push_back(line);
    } else if (value && value->IsName()) {
        std::string_view n = value->GetName();
        out.emplace_back(n.begin(), n.end());
    }
    return out;
}

// Breaks lines that are wider than width into words that fit.
std::vector<std::u16string> Wrap(TextSetter& font, double size, const std::vector<std::u16string>& lines, double width)
{
    std::vector<std::u16string> out;
    const double space = font.Width(u" ") * size;
    for (const std::u16string& line : lines) {
        std::u16string current;
        double current_width = 0;
        std::size_t pos = 0;
        while (pos <= line.size()) {
            std::size_t end = line.find(u' ', pos);
            if (end == std::u16string::npos) end = line.size();
            const std::u16string_view word(line.data() + pos, end - pos);
            const double word_width = font.Width(word) * size;
            if (!current.empty() && current_width + space + word_width > width) {
                out.push_back(std::move(current));
                current.assign(word);
                current_width = word_width;
            } else {
                if (!current.empty()) {
                    current += u' ';
                    current_width += space;
                }
                current += word;
                current_width += word_width;
            }
            pos = end + 1;
        }
        out.push_back(std::move(current));
    }
    return out;
}

// How field text is laid out: one line centred in the height, lines broken to the width
// from the top, a list box's rows from the top, one per line, or one line whose characters
// each take one of the equal cells of a comb field, centred in it.
enum class Layout { e_line, e_wrapped, e_rows, e_comb };

// The characters of a line, a surrogate pair kept whole.
std::vector<std::u16string_view> Characters(std::u16string_view line)
{
    std::vector<std::u16string_view> out;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t n = i + 1 < line.size() && line[i] >= 0xD800 && line[i] < 0xDC00 && line[i + 1] >= 0xDC00 &&
                                      line[i + 1] < 0xE000
                                  ? 2
                                  : 1;
        out.push_back(line.substr(i, n));
        i += n;
    }
    return out;
}

// Writes lines of text into box as layout says, aligned by q (0 left, 1 centre, 2 right),
// side points in from its left and right edges; the rows marked are shown selected; a comb
// has cells cells.
void LayText(AppearanceWriter& w, TextSetter& font, const DefaultAppearance& da, const Rect& box, double side,
             const std::vector<std::u16string>& lines, int q, Layout layout, const std::vector<std::size_t>& marked = {},
             std::size_t cells = 0)
{
    const double pad = 2;
    const double width = box.Width() - 2 * side;
    const bool from_top = layout == Layout::e_wrapped || layout == Layout::e_rows;
    double size = da.size;
    // Auto size: 12 points for text from the top; a single line as high as the field, or
    // less where the field's width needs it (below), as viewers size it.
    if (size <= 0) size = from_top ? 12 : std::max(box.Height(), 4.0);
    std::vector<std::u16string> shown;
    std::vector<std::u16string_view> comb;  // the characters of a comb, one a cell
    if (layout == Layout::e_wrapped) {
        shown = Wrap(font, size, lines, width);
    } else if (layout == Layout::e_rows) {
        shown = lines;
    } else if (layout == Layout::e_comb) {
        if (!lines.empty() && cells > 0) {
            comb = Characters(lines.front());
            comb.resize(std::min(comb.size(), cells));
            shown.emplace_back();
            for (std::u16string_view c : comb) shown[0] += c;
        }
    } else if (!lines.empty()) {
        shown.push_back(lines.front());
        const double line_width = font.Width(shown[0]);
        if (da.size <= 0 && line_width * size > width && line_width > 0) size = std::max(width / line_width, 4.0);
    }
    // Empty text shows nothing, and a font that shows nothing is better left out.
    if (width <= 0 || std::all_of(shown.begin(), shown.end(), [](const std::u16string& l) { return l.empty(); })) return;
    font.Prepare(shown);
    double y = from_top ? box.y2 - pad - size * 0.9 : box.y1 + box.Height() / 2 - size * 0.4;
    // Selected rows on the light blue that form viewers give them, each a line high.
    if (!marked.empty()) w.Op("q 0.6 0.75 0.85 rg");
    for (std::size_t row : marked) {
        const double base = y - static_cast<double>(row) * size * 1.15 - size * 0.25;
        const double lo = std::max(base, box.y1), hi = std::min(base + size * 1.15, box.y2);
        if (hi <= lo) continue;
        w.Rectangle({box.x1, lo, box.x2, hi});
        w.Op("f");
    }
    if (!marked.empty()) w.Op("Q");
    w.Op("/Tx BMC q BT");
    if (!da.colour.empty()) w.Op(da.colour);
    if (!comb.empty()) {
        const double cell = box.Width() / static_cast<double>(cells);
        double x = box.x1;
        for (std::u16string_view c : comb) {
            w.Op("1 0 0 1 " + ContentNumber(x + (cell - font.Width(c) * size) / 2) + " " + ContentNumber(y) + " Tm");
            font.Show(w, c, size);
            x += cell;
        }
    } else {
        for (const std::u16string& line : shown) {
            const double lw = font.Width(line) * size;
            double x = box.x1 + side;
            if (q == 1) x = box.x1 + (box.Width() - lw) / 2;
            if (q == 2) x = box.x2 - side - lw;
            if (!line.empty()) {
                w.Op("1 0 0 1 " + ContentNumber(x) + " " + ContentNumber(y) + " Tm");
                font.Show(w, line, size);
            }
            y -= size * 1.15;
            if (y < box.y1 - size) break;
        }
    }
    w.Op("ET Q EMC");
}

// Writes the text in the font da names when it can show every character, else in the
// system fonts that have them.
void WriteText(SDF::SDFDoc& doc, AppearanceWriter& w, const DefaultAppearance& da, const Rect& box, double side,
               const std::vector<std::u16string>& lines, int q, Layout layout, const std::vector<std::size_t>& marked = {},
               std::size_t cells = 0)
{
    TextFont font(doc, da.font);
    std::string codes;
    if (std::all_of(lines.begin(), lines.end(), [&](const std::u16string& l) { return font.Encode(l, codes); })) {
        LayText(w, font, da, box, side, lines, q, layout, marked, cells);
        return;
    }
    ShapedText shaped(doc, da.family.empty() ? font.Family() : da.family, lines);
    if (shaped.CanShow()) LayText(w, shaped, da, box, side, lines, q, layout, marked, cells);
}

// The text a combo box shows for its value: the display text Opt pairs with the value
// exported, else the value itself.
SDF::Obj* ShownChoice(SDF::Obj* dict, SDF::Obj* value)
{
    SDF::Obj* opt = Inherited(dict, "Opt");
    if (!value || !value->IsString() || !opt || !opt->IsArray()) return value;
    const std::u16string wanted = value->GetAsPDFText().Units();
    for (std::size_t i = 0; i < opt->Size(); ++i) {
        SDF::Obj* pair = Deref(opt->GetAt(i));
        if (!pair || !pair->IsArray() || pair->Size() < 2) continue;
        SDF::Obj* exported = Deref(pair->GetAt(0));
        SDF::Obj* shown = Deref(pair->GetAt(1));
        if (exported && exported->IsString() && shown && shown->IsString() && exported->GetAsPDFText().Units() == wanted)
            return shown;
    }
    return value;
}

// A list box's rows from its top index (TI): the display texts of its options, and in marked
// the rows its value selects (by export value, or by index through I). Rows past what any
// box shows are not read.
std::vector<std::u16string> ListRows(SDF::Obj* dict, std::vector<std::size_t>& marked)
{
    constexpr std::size_t kMaxRows = 1000;
    SDF::Obj* opt = Inherited(dict, "Opt");
    if (!opt || !opt->IsArray()) return {};
    SDF::Obj* ti = Inherited(dict, "TI");
    const double top_index = ti && ti->IsNumber() ? ti->GetNumber() : 0;
    const std::size_t top = top_index >= 0 && top_index < static_cast<double>(opt->Size()) ? static_cast<std::size_t>(top_index) : 0;
    std::vector<std::u16string> chosen;
    SDF::Obj* v = Inherited(dict, "V");
    for (std::size_t i = 0; v && i < (v->IsArray() ? v->Size() : 1); ++i) {
        SDF::Obj* item = v->IsArray() ? Deref(v->GetAt(i)) : v;
        if (item && item->IsString()) chosen.push_back(item->GetAsPDFText().Units());
    }
    std::vector<double> indices;
    SDF::Obj* index = Inherited(dict, "I");
    for (std::size_t i = 0; index && index->IsArray() && i < index->Size(); ++i)
        if (SDF::Obj* n = Deref(index->GetAt(i)); n && n->IsNumber()) indices.push_back(n->GetNumber());
    auto is_chosen = [&](const std::u16string& t) { return std::find(chosen.begin(), chosen.end(), t) != chosen.end(); };
    std::vector<std::u16string> rows;
    for (std::size_t i = top; i < opt->Size() && rows.size() < kMaxRows; ++i) {
        SDF::Obj* option = Deref(opt->GetAt(i));
        SDF::Obj* exported = option;
        if (option && option->IsArray() && option->Size() >= 2) {
            exported = Deref(option->GetAt(0));
            option = Deref(option->GetAt(1));
        }
        std::vector<std::u16string> text = Lines(option);
        rows.push_back(text.empty() ? std::u16string() : text.front());
        // Writers put the export value in V, and some the text shown.
        const bool by_value = (exported && exported->IsString() && is_chosen(exported->GetAsPDFText().Units())) ||
                              (!rows.back().empty() && is_chosen(rows.back()));
        if (by_value || std::find(indices.begin(), indices.end(), static_cast<double>(i)) != indices.end())
            marked.push_back(rows.size() - 1);
    }
    return rows;
}

// The stroking form of a fill colour operation ("1 0 0 rg" gives "1 0 0 RG").
std::string StrokeOf(std::string colour)
{
    if (colour.size() >= 2 && colour.substr(colour.size() - 2) == "rg") return colour.replace(colour.size() - 2, 2, "RG");
    if (!colour.empty()) colour.back() = static_cast<char>(std::toupper(static_cast<unsigned char>(colour.back())));
    return colour;
}

// Background (MK BG) and border (MK BC) of a widget; returns the area inside the border.
Rect DrawFrame(const Annot& annot, const Rect& rect, AppearanceWriter& w, bool round)
{
    SDF::Obj* mk = FindDict(Deref(annot.GetSDFObj()), "MK");
    const double width = BorderWidth(annot);
    if (w.Colour(FindArray(mk, "BG"), false)) {
        round ? w.Ellipse(rect) : w.Rectangle(rect);
        w.Op("f");
    }
    if (width > 0 && w.Colour(FindArray(mk, "BC"), true)) {
        const double h = width / 2;
        w.Num(width).Op("w");
        BorderDash(annot, w);
        Rect r{rect.x1 + h, rect.y1 + h, rect.x2 - h, rect.y2 - h};
        round ? w.Ellipse(r) : w.Rectangle(r);
        w.Op("S");
    }
    return {rect.x1 + width, rect.y1 + width, rect.x2 - width, rect.y2 - width};
}

// The mark of a checked box or selected radio button, after the ZapfDingbats character
// MK CA names (4 check, l dot, 8 cross, u diamond, n square), drawn as paths so that it
// needs no font.
void DrawMark(AppearanceWriter& w, const Rect& box, char style, const std::string& colour)
{
    const double s = std::min(box.Width(), box.Height()) * 0.8;
    if (s <= 0) return;
    const double cx = (box.x1 + box.x2) / 2, cy = (box.y1 + box.y2) / 2, h = s / 2;
    w.Op(colour).Op(StrokeOf(colour));
    switch (style) {
    case 'l': w.Ellipse({cx - h / 2, cy - h / 2, cx + h / 2, cy + h / 2}); w.Op("f"); break;
    case 'n': w.Rectangle({cx - h * 0.7, cy - h * 0.7, cx + h * 0.7, cy + h * 0.7}); w.Op("f"); break;
    case 'u': w.Polyline({cx, cy + h, cx + h, cy, cx, cy - h, cx - h, cy}, true); w.Op("f"); break;
    case 'H': {
        // A five-pointed star, its points on a circle of radius h and its notches on one of 0.4 h.
        std::vector<double> points;
        for (int i = 0; i < 10; ++i) {
            const double r = i % 2 ? h * 0.4 : h, a = std::numbers::pi / 2 + i * std::numbers::pi / 5;
            points.push_back(cx + r * std::cos(a));
            points.push_back(cy + r * std::sin(a));
        }
        w.Polyline(points, true);
        w.Op("f");
        break;
    }
    case '8':
        w.Num(s / 8).Op("w 1 J");
        w.Polyline({cx - h, cy - h, cx + h, cy + h}, false);
        w.Polyline({cx - h, cy + h, cx + h, cy - h}, false);
        w.Op("S");
        break;
    default:
        w.Num(s / 8).Op("w 1 J 1 j");
        w.Polyline({cx - h * 0.8, cy, cx - h * 0.25, cy - h * 0.7, cx + h * 0.85, cy + h * 0.8}, false);
        w.Op("S");
    }
}

DrawnAppearance DrawToggle(SDF::SDFDoc& doc, const Annot& annot, const Rect& rect, bool radio)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    std::string on, shown = std::string(annot.GetAppearanceState());
    SDF::Obj* v = Inherited(dict, "V");
    if (!shown.empty() && shown != "Off") on = shown;
    else if (!radio && v && v->IsName() && v->GetName() != "Off") on = v->GetName();
    if (on.empty()) on = "Yes";
    if (shown.empty()) shown = !radio && v && v->IsName() && v->GetName() == on ? on : "Off";
    SDF::Obj* mk = FindDict(dict, "MK");
    SDF::Obj* ca = FindIn(mk, "CA");
    char style = radio ? 'l' : '4';
    if (ca && ca->IsString() && ca->GetBuffer().size() == 1) style = static_cast<char>(ca->GetBuffer()[0]);
    DefaultAppearance da = ParseDA(Inherited(dict, "DA"));
    SDF::Obj* states = doc.CreateIndirectDict();
    for (bool checked : {true, false}) {
        AppearanceWriter w;
        Rect inside = DrawFrame(annot, rect, w, radio);
        if (checked) DrawMark(w, inside, style, da.colour);
        states->Put(checked ? on : "Off", w.Finish(doc, rect));
    }
    return {states, shown, {}};
}

}  // namespace

SDF::Obj* DrawFreeText(SDF::SDFDoc& doc, const Annot& annot, const Rect& rect)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    AppearanceWriter w;
    DefaultAppearance da = ParseDA(FindIn(dict, "DA"));
    // Viewers fill the box with C and frame it in the text's colour, one unit wide unless
    // BS or Border says otherwise.
    if (w.Colour(FindArray(dict, "C"), false)) {
        w.Rectangle(rect);
        w.Op("f");
    }
    const double width = BorderWidth(annot);
    if (width > 0) {
        w.Op(StrokeOf(da.colour)).Num(width).Op("w");
        BorderDash(annot, w);
        w.Rectangle({rect.x1 + width / 2, rect.y1 + width / 2, rect.x2 - width / 2, rect.y2 - width / 2});
        w.Op("S");
    }
    da.family = StyleFamily(Deref(FindIn(dict, "DS")));
    if (da.family.empty()) da.family = StyleFamily(Deref(FindIn(dict, "RC")));
    const double q = FindNumber(dict, "Q", 0);
    WriteText(doc, w, da, {rect.x1 + width, rect.y1 + width, rect.x2 - width, rect.y2 - width}, 2,
              Lines(Deref(FindIn(dict, "Contents"))), static_cast<int>(q), Layout::e_wrapped);
    return w.Finish(doc, rect);
}

SDF::Obj* DrawStamp(SDF::SDFDoc& doc, const Annot& annot, const Rect& rect)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    // The name in capitals, a word for each capital of the name (NotApproved reads NOT
    // APPROVED); a name that is no such word (the hexadecimal ones of custom stamps, which
    // come with their appearance) and none at all read DRAFT, as viewers show them.
    std::string_view name = FindName(dict, "Name");
    const bool word = !name.empty() && name.size() <= 64 &&
                      std::all_of(name.begin(), name.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
    if (!word) name = "Draft";
    std::u16string text;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (i > 0 && std::isupper(c) && std::islower(static_cast<unsigned char>(name[i - 1]))) text += u' ';
        text += static_cast<char16_t>(std::toupper(c));
    }
    // A frame a twelfth of the stamp's smaller side wide, in the annotation's colour (dark grey
    // when it has none), and the name as large as the frame holds it, centred.
    AppearanceWriter w;
    const double line = std::min(rect.Width(), rect.Height()) / 12;
    SDF::Obj* colour = FindArray(dict, "C");
    if (!w.Colour(colour, true)) w.Op("0.25 G");
    if (!w.Colour(colour, false)) w.Op("0.25 g");
    w.Num(line).Op("w");
    w.Rectangle({rect.x1 + line / 2, rect.y1 + line / 2, rect.x2 - line / 2, rect.y2 - line / 2});
    w.Op("S");
    DefaultAppearance da;
    da.colour.clear();  // the fill set above
    TextFont font(doc, "");
    const double side = 2 * line, width = font.Width(text);
    if (width > 0) da.size = std::min(rect.Height() * 0.6, (rect.Width() - 2 * side) / width);
    if (da.size > 0) LayText(w, font, da, rect, side, {text}, 1, Layout::e_line);
    return w.Finish(doc, rect);
}

DrawnAppearance DrawWidget(SDF::SDFDoc& doc, const Annot& annot, const Rect& rect)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    SDF::Obj* ft = Inherited(dict, "FT");
    SDF::Obj* ff_obj = Inherited(dict, "Ff");
    const int ff = ff_obj && ff_obj->IsNumber() && std::isfinite(ff_obj->GetNumber())
                       ? static_cast<int>(static_cast<std::int64_t>(ff_obj->GetNumber()) & 0x7fffffff)
                       : 0;
    const bool button = ft && ft->IsName() && ft->GetName() == "Btn";
    const bool push = button && (ff >> Field::e_push_button) & 1;
    if (button && !push) return DrawToggle(doc, annot, rect, (ff >> Field::e_radio) & 1);
    // The field's own frame in its own space: BBox at the origin, as form writers make it.
    const Rect box{0, 0, rect.Width(), rect.Height()};
    AppearanceWriter w;
    Rect inside = DrawFrame(annot, box, w, false);
    DefaultAppearance da = ParseDA(Inherited(dict, "DA"));
    SDF::Obj* q_obj = Inherited(dict, "Q");
    int q = q_obj && q_obj->IsNumber() ? static_cast<int>(q_obj->GetNumber()) : 0;
    std::vector<std::u16string> lines;
    std::vector<std::size_t> marked;
    std::size_t cells = 0;
    Layout layout = Layout::e_line;
    if (push) {
        lines = Lines(FindIn(FindDict(dict, "MK"), "CA"));
        q = 1;
    } else if (ft && ft->IsName() && ft->GetName() == "Tx") {
        lines = Lines(Inherited(dict, "V"));
        if ((ff >> Field::e_multiline) & 1) layout = Layout::e_wrapped;
        // Passwords show as bullets.
        if ((ff >> Field::e_password) & 1)
            for (std::u16string& l : lines) l.assign(l.size(), u'*');
        // A comb spreads the characters over MaxLen cells, one each.
        SDF::Obj* max_len = Inherited(dict, "MaxLen");
        const double n = max_len && max_len->IsNumber() ? max_len->GetNumber() : 0;
        const int plain = (1 << Field::e_multiline) | (1 << Field::e_password) | (1 << Field::e_file_select);
        if ((ff >> Field::e_comb) & 1 && !(ff & plain) && n >= 1 && n <= 10000) {
            layout = Layout::e_comb;
            cells = static_cast<std::size_t>(n);
        }
    } else if (ft && ft->IsName() && ft->GetName() == "Ch" && (ff >> Field::e_combo) & 1) {
        SDF::Obj* v = Inherited(dict, "V");
        if (v && v->IsArray() && v->Size() > 0) v = Deref(v->GetAt(0));
        lines = Lines(ShownChoice(dict, v));
    } else if (ft && ft->IsName() && ft->GetName() == "Ch") {
        lines = ListRows(dict, marked);
        layout = Layout::e_rows;
    } else {
        return {};
    }
    if (!lines.empty()) {
        // Form writers and viewers start field text two border widths in from the field's
        // edge, and 2 points in where the border is thinner than a point.
        const double border = BorderWidth(annot);
        WriteText(doc, w, da, inside, std::max(2.0, 2 * border) - border, lines, q, layout, marked, cells);
    }
    return {w.Finish(doc, box), {}, {}};
}

}  // namespace qvx::PDF
