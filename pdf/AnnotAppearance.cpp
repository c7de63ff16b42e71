#include "pdf/AnnotAppearance.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "pdf/Annot.h"
#include "pdf/AppearanceWriter.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageContent.h"
#include "sdf/ObjWriter.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

namespace {

// Control-point distance of a quarter ellipse drawn with one Bezier curve.
constexpr double kKappa = 0.5522847498;
// Quadrilaterals of text markup drawn at most; more would only make a huge stream.
constexpr std::size_t kMaxQuads = 4096;

std::vector<double> Numbers(const SDF::Obj* array)
{
    std::vector<double> out;
    for (std::size_t i = 0; array && array->IsArray() && i < array->Size(); ++i) {
        const SDF::Obj* v = Deref(array->GetAt(i));
        if (!v || !v->IsNumber() || !std::isfinite(v->GetNumber())) return {};
        out.push_back(v->GetNumber());
    }
    return out;
}

// The stroke colour of a shape: C, black when absent, none when empty.
bool StrokeColour(const Annot& annot, AppearanceWriter& w)
{
    const SDF::Obj* c = annot.GetColor();
    if (!c) {
        w.Op("0 G");
        return true;
    }
    return w.Colour(c, true);
}

// Rect less the RD differences, less half the border so the stroke stays inside.
Rect Inner(const Annot& annot, const Rect& rect, double width)
{
    std::vector<double> rd = Numbers(FindArray(Deref(annot.GetSDFObj()), "RD"));
    Rect r = rect;
    if (rd.size() == 4 && rd[0] + rd[2] < r.Width() && rd[1] + rd[3] < r.Height())
        r = {r.x1 + rd[0], r.y1 + rd[1], r.x2 - rd[2], r.y2 - rd[3]};
    const double h = std::min({width / 2, r.Width() / 2, r.Height() / 2});
    return {r.x1 + h, r.y1 + h, r.x2 - h, r.y2 - h};
}

// Paint operator for what was set: fill and stroke, fill, stroke, or nothing.
const char* Paint(bool fill, bool stroke, bool close)
{
    if (fill && stroke) return close ? "b" : "B";
    if (fill) return "f";
    if (stroke) return close ? "s" : "S";
    return "n";
}

void DrawShape(const Annot& annot, const Rect& rect, AppearanceWriter& w)
{
    const double width = BorderWidth(annot);
    const bool stroke = width > 0 && StrokeColour(annot, w);
    const bool fill = annot.GetInteriorColor() && w.Colour(annot.GetInteriorColor(), false);
    w.Num(width).Op("w");
    BorderDash(annot, w);
    Rect r = Inner(annot, rect, width);
    if (annot.GetType() == Annot::e_Square) w.Rectangle(r);
    else w.Ellipse(r);
    w.Op(Paint(fill, stroke, false));
}

// The points of a line, polygon, polyline or ink annotation, x and y in turn.
std::vector<std::vector<double>> Vertices(const Annot& annot)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    const Annot::Type type = annot.GetType();
    std::vector<std::vector<double>> out;
    if (type == Annot::e_Ink) {
        SDF::Obj* list = FindArray(dict, "InkList");
        for (std::size_t i = 0; list && i < list->Size(); ++i) out.push_back(Numbers(Deref(list->GetAt(i))));
    } else if (type == Annot::e_Line || type == Annot::e_Polygon || type == Annot::e_Polyline) {
        out.push_back(Numbers(FindArray(dict, type == Annot::e_Line ? "L" : "Vertices")));
    }
    return out;
}

// The bounds of an annotation's vertices, widened by its border: where viewers draw a line
// or polygon whose Rect has no area. None without two points.
std::optional<Rect> VertexBounds(const Annot& annot)
{
    double x1 = HUGE_VAL, y1 = HUGE_VAL, x2 = -HUGE_VAL, y2 = -HUGE_VAL;
    for (const std::vector<double>& xy : Vertices(annot))
        for (std::size_t i = 0; i + 1 < xy.size(); i += 2)
            x1 = std::min(x1, xy[i]), x2 = std::max(x2, xy[i]), y1 = std::min(y1, xy[i + 1]), y2 = std::max(y2, xy[i + 1]);
    if (!(x2 >= x1 && y2 >= y1) || !std::isfinite(x2 - x1) || !std::isfinite(y2 - y1) || (x1 == x2 && y1 == y2))
        return std::nullopt;
    const double margin = std::max(BorderWidth(annot), 1.0);
    return Rect{x1 - margin, y1 - margin, x2 + margin, y2 + margin};
}

void DrawVertices(const Annot& annot, AppearanceWriter& w)
{
    const Annot::Type type = annot.GetType();
    const double width = BorderWidth(annot);
    const bool stroke = width > 0 && StrokeColour(annot, w);
    const bool fill = type == Annot::e_Polygon && annot.GetInteriorColor() && w.Colour(annot.GetInteriorColor(), false);
    w.Num(width).Op("w 1 j 1 J");
    BorderDash(annot, w);
    for (const std::vector<double>& xy : Vertices(annot)) w.Polyline(xy, type == Annot::e_Polygon);
    w.Op(Paint(fill, stroke, false));
}

// Text markup: each quadrilateral of QuadPoints (upper left, upper right, lower left, lower
// right, as writers store them) highlighted, underlined, struck out or underlined with a wave.
bool DrawMarkup(const Annot& annot, bool blend, AppearanceWriter& w)
{
    const Annot::Type type = annot.GetType();
    std::vector<double> q = Numbers(FindArray(Deref(annot.GetSDFObj()), "QuadPoints"));
    if (q.size() < 8 || (type == Annot::e_Highlight && !blend)) return false;
    const SDF::Obj* c = annot.GetColor();
    if (!c) w.Op(type == Annot::e_Highlight ? "1 1 0 rg" : "0 G");
    else if (!w.Colour(c, type != Annot::e_Highlight)) return false;
    if (type == Annot::e_Highlight) {
        auto gs = SDF::Dict::Create();
        gs->PutName("Type", "ExtGState");
        gs->PutName("BM", "Multiply");
        w.Op("/" + w.Resource("ExtGState", "GS", std::move(gs)) + " gs");
    }
    for (std::size_t i = 0; i + 8 <= q.size() && i < 8 * kMaxQuads; i += 8) {
        const double ulx = q[i], uly = q[i + 1], urx = q[i + 2], ury = q[i + 3];
        const double llx = q[i + 4], lly = q[i + 5], lrx = q[i + 6], lry = q[i + 7];
        const double h = std::hypot(ulx - llx, uly - lly);
        if (type == Annot::e_Highlight) {
            w.Polyline({ulx, uly, urx, ury, lrx, lry, llx, lly}, true);
            w.Op("f");
            continue;
        }
        // Viewers draw these lines about one unit wide on text of common sizes (poppler
        // always so, MuPDF at a sixteenth of the height).
        const double lw = std::max(h / 16, 1.0);
        w.Num(lw).Op("w");
        // Along the line's direction, at a fraction t of the height above the bottom edge.
        auto at = [&](double t, double s, double& x, double& y) {
            const double bx = llx + (lrx - llx) * s, by = lly + (lry - lly) * s;
            const double tx = ulx + (urx - ulx) * s, ty = uly + (ury - uly) * s;
            x = bx + (tx - bx) * t;
            y = by + (ty - by) * t;
        };
        double x0, y0, x1, y1;
        if (type == Annot::e_Squiggly) {
            const double len = std::hypot(lrx - llx, lry - lly);
            const int waves = std::clamp(static_cast<int>(len / std::max(h / 4, 1.0)), 1, 2000);
            std::vector<double> xy;
            for (int k = 0; k <= waves; ++k) {
                at(k % 2 ? 0.12 : 0.0, static_cast<double>(k) / waves, x0, y0);
                xy.insert(xy.end(), {x0, y0});
            }
            w.Polyline(xy, false);
        } else {
            // An underline sits on the bottom edge, a strike-out across the middle, where
            // viewers draw them.
            const double t = type == Annot::e_StrikeOut ? 0.5 : (h > 0 ? lw / 2 / h : 0);
            at(t, 0, x0, y0);
            at(t, 1, x1, y1);
            w.Polyline({x0, y0, x1, y1}, false);
        }
        w.Op("S");
    }
    return true;
}

// A note: a sheet in the annotation's colour with lines of text, fitted to its rectangle.
void DrawNote(const Annot& annot, const Rect& rect, AppearanceWriter& w)
{
    // Viewers draw the icon 20 units wide at the rectangle's top left corner, however large
    // the rectangle.
    constexpr double kIcon = 20;
    const double s = std::min({kIcon, rect.Width(), rect.Height()});
    const double x = rect.x1, y = rect.y2 - s;
    if (!annot.GetColor() || !w.Colour(annot.GetColor(), false)) w.Op("1 1 0 rg");
    w.Op("0 G").Num(s / 20).Op("w 1 j");
    w.Rectangle({x + s * 0.1, y + s * 0.1, x + s * 0.9, y + s * 0.9});
    w.Op("B");
    for (double t : {0.7, 0.55, 0.4, 0.25}) w.Polyline({x + s * 0.25, y + s * t, x + s * 0.75, y + s * t}, false);
    w.Op("S");
}

// The annotation's rectangle, normalised; none when it has no area, since the appearance
// is fitted to it and would be squeezed to nothing.
std::optional<Rect> DrawnRect(const Annot& annot)
{
    std::optional<Rect> rect = annot.GetRect();
    if (!rect) return std::nullopt;
    Rect r = rect->Normalized();
    if (r.Width() <= 0 || r.Height() <= 0) return std::nullopt;
    return r;
}

}  // namespace

AppearanceWriter& AppearanceWriter::Op(std::string_view text)
{
    m_content += text;
    m_content += '\n';
    return *this;
}

AppearanceWriter& AppearanceWriter::Num(double v)
{
    m_content += ContentNumber(v);
    m_content += ' ';
    return *this;
}

bool AppearanceWriter::Colour(const SDF::Obj* array, bool stroke)
{
    std::vector<double> c = Numbers(array);
    static const char* const kFill[] = {nullptr, "g", nullptr, "rg", "k"};
    static const char* const kStroke[] = {nullptr, "G", nullptr, "RG", "K"};
    if (c.empty() || c.size() > 4 || !kFill[c.size()]) return false;
    for (double v : c) Num(std::clamp(v, 0.0, 1.0));
    Op(stroke ? kStroke[c.size()] : kFill[c.size()]);
    return true;
}

void AppearanceWriter::Rectangle(const Rect& r)
{
    Point(r.x1, r.y1).Num(r.Width()).Num(r.Height()).Op("re");
}

void AppearanceWriter::Ellipse(const Rect& r)
{
    const double cx = (r.x1 + r.x2) / 2, cy = (r.y1 + r.y2) / 2;
    const double rx = r.Width() / 2, ry = r.Height() / 2, kx = rx * kKappa, ky = ry * kKappa;
    Point(cx + rx, cy).Op("m");
    Point(cx + rx, cy + ky).Point(cx + kx, cy + ry).Point(cx, cy + ry).Op("c");
    Point(cx - kx, cy + ry).Point(cx - rx, cy + ky).Point(cx - rx, cy).Op("c");
    Point(cx - rx, cy - ky).Point(cx - kx, cy - ry).Point(cx, cy - ry).Op("c");
    Point(cx + kx, cy - ry).Point(cx + rx, cy - ky).Point(cx + rx, cy).Op("c");
    Op("h");
}

void AppearanceWriter::Polyline(const std::vector<double>& xy, bool close)
{
    if (xy.size() < 4) return;
    Point(xy[0], xy[1]).Op("m");
    for (std::size_t i = 2; i + 1 < xy.size(); i += 2) Point(xy[i], xy[i + 1]).Op("l");
    if (close) Op("h");
}

AppearanceWriter& AppearanceWriter::String(std::string_view bytes)
{
    SDF::ObjWriter::AppendLiteralString(m_content, Common::AsBytes(bytes));
    m_content += ' ';
    return *this;
}

std::string AppearanceWriter::Resource(std::string_view category, std::string_view prefix, SDF::Obj* value)
{
    for (const Entry& e : m_resources)
        if (e.category == category && e.value == value) return e.name;
    std::string name = std::string(prefix) + std::to_string(m_resources.size());
    const bool owned = !m_owned.empty() && m_owned.back().get() == value;
    m_resources.push_back({std::string(category), name, value, owned});
    return name;
}

std::string AppearanceWriter::Resource(std::string_view category, std::string_view prefix,
                                      std::unique_ptr<SDF::Obj> value)
{
    m_owned.push_back(std::move(value));
    return Resource(category, prefix, m_owned.back().get());
}

SDF::Obj* AppearanceWriter::Finish(SDF::SDFDoc& doc, const Rect& bbox)
{
    auto dict = SDF::Dict::Create();
    dict->PutName("Type", "XObject");
    dict->PutName("Subtype", "Form");
    SDF::Obj* box = dict->PutArray("BBox");
    for (double v : {bbox.x1, bbox.y1, bbox.x2, bbox.y2}) box->PushBackNumber(v);
    if (!m_resources.empty()) {
        SDF::Obj* res = dict->PutDict("Resources");
        for (const Entry& e : m_resources) {
            SDF::Obj* cat = res->FindObj(e.category);
            if (!cat) cat = res->PutDict(e.category);
            // The document's own objects by reference, so that fields share one font.
            cat->Put(e.name, e.owned ? e.value : IndirectOf(e.value));
        }
    }
    dict->PutName("Filter", "FlateDecode");
    return doc.CreateIndirectStream(SDF::FlateBytes(Common::AsBytes(m_content)), std::move(dict));
}

double BorderWidth(const Annot& annot)
{
    SDF::Obj* dict = Deref(annot.GetSDFObj());
    if (SDF::Obj* bs = FindDict(dict, "BS"); bs && bs->FindObj("W")) return std::max(FindNumber(bs, "W", 1), 0.0);
    // A Border of fewer than three numbers ([0], as XeTeX's links have) gives no width, and
    // viewers draw no border for it.
    if (SDF::Obj* border = FindArray(dict, "Border")) {
        std::vector<double> numbers = Numbers(border);
        return numbers.size() >= 3 ? std::max(numbers[2], 0.0) : 0.0;
    }
    return annot.GetType() == Annot::e_Widget ? 0.0 : 1.0;
}

void BorderDash(const Annot& annot, AppearanceWriter& w)
{
    SDF::Obj* bs = FindDict(Deref(annot.GetSDFObj()), "BS");
    if (FindName(bs, "S") != "D") return;
    std::vector<double> dash = Numbers(FindArray(bs, "D"));
    if (dash.empty() || std::all_of(dash.begin(), dash.end(), [](double v) { return v <= 0; })) dash = {3};
    std::string pattern = "[";
    for (double v : dash) pattern += ContentNumber(std::max(v, 0.0)) + " ";
    w.Op(pattern + "] 0 d");
}

namespace {

// Viewers paint what they draw for an annotation at its opacity (CA), where the file may
// use transparency.
void Opacity(const Annot& annot, bool blend, AppearanceWriter& w)
{
    std::optional<double> ca = annot.GetOpacity();
    if (!blend || !ca || !(*ca >= 0 && *ca < 1)) return;
    auto gs = SDF::Dict::Create();
    gs->PutName("Type", "ExtGState");
    gs->PutNumber("CA", *ca);
    gs->PutNumber("ca", *ca);
    w.Op("/" + w.Resource("ExtGState", "GS", std::move(gs)) + " gs");
}

}  // namespace

DrawnAppearance DrawAppearance(SDF::SDFDoc& doc, const Annot& annot, bool blend)
{
    std::optional<Rect> rect = DrawnRect(annot);
    // Lines, polygons and ink whose Rect has no area are drawn where their vertices are,
    // as viewers draw them; the caller gives the annotation that Rect.
    if (std::optional<Rect> bounds = rect ? std::nullopt : VertexBounds(annot)) {
        AppearanceWriter w;
        Opacity(annot, blend, w);
        DrawVertices(annot, w);
        return {w.Finish(doc, *bounds), {}, bounds};
    }
    if (!rect) return {};
    AppearanceWriter w;
    Opacity(annot, blend, w);
    switch (annot.GetType()) {
    case Annot::e_Square:
    case Annot::e_Circle: DrawShape(annot, *rect, w); break;
    case Annot::e_Line:
    case Annot::e_Polygon:
    case Annot::e_Polyline:
    case Annot::e_Ink: DrawVertices(annot, w); break;
    case Annot::e_Highlight:
    case Annot::e_Underline:
    case Annot::e_StrikeOut:
    case Annot::e_Squiggly:
        if (!DrawMarkup(annot, blend, w)) return {};
        break;
    case Annot::e_Text: DrawNote(annot, *rect, w); break;
    case Annot::e_FreeText: return {DrawFreeText(doc, annot, *rect), {}, {}};
    case Annot::e_Stamp: return {DrawStamp(doc, annot, *rect), {}, {}};
    case Annot::e_Widget: return DrawWidget(doc, annot, *rect);
    default: return {};
    }
    return {w.Finish(doc, *rect), {}, {}};
}

}  // namespace qvx::PDF
