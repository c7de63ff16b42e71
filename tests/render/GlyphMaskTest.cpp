// Filled glyphs drawn from the coverage masks kept of them: the pixels their outlines
// would give, whatever the map to the device, the quarter pixel, the colour, the operator
// or the clip, and within the memory the masks are given.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "pdf/Font.h"
#include "render/CairoApi.h"
#include "render/FontFaces.h"
#include "render/GlyphMasks.h"
#include "tests/render/RenderTestDoc.h"

using namespace qvx;

namespace {

struct Drawn {
    cairo_matrix_t scale;          // glyph space to the device
    double x, y;                   // the first origin
    double rgba[4];
    cairo_operator_t op;
    // A rectangle through the middle of the string, with whole-pixel edges: an edge inside
    // a pixel weighs the glyphs' coverage of it instead of cutting their outlines.
    bool clip;
};

struct Drawing {
    int width, height;
    cairo_surface_t* surface;
    cairo_t* cr;
    explicit Drawing(int w = 160, int h = 90)
        : width(w), height(h), surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)), cr(cairo_create(surface)) {}
    ~Drawing()
    {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    const unsigned char* Data()
    {
        cairo_surface_flush(surface);
        return cairo_image_surface_get_data(surface);
    }
    std::size_t Size() const { return static_cast<std::size_t>(cairo_image_surface_get_stride(surface)) * height; }
};

// The glyphs of a string set along the scale's x axis by the font's widths, each origin on
// a quarter pixel across and a whole pixel down, as filled text is placed.
std::vector<cairo_glyph_t> Place(Render::FontFaces& fonts, const PDF::Font& font, const Drawn& s, const std::string& text)
{
    const Render::FontFaces::Face& face = fonts.Get(font);
    std::vector<PDF::Font::CharCode> codes;
    font.Decode(Common::ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), codes);
    std::vector<cairo_glyph_t> out;
    double x = s.x, y = s.y;
    for (const auto& c : codes) {
        out.push_back({fonts.Glyph(face, font, c), std::floor(x * 4) / 4, std::floor(y)});
        double w = font.GetWidth(c) / 1000;
        x += s.scale.xx * w, y += s.scale.yx * w;
    }
    return out;
}

// A backdrop to paint on: white with a coloured band, so that operators other than over show.
void Prepare(Drawing& d, const Drawn& s)
{
    cairo_set_source_rgb(d.cr, 1, 1, 1);
    cairo_paint(d.cr);
    cairo_set_source_rgb(d.cr, 0.2, 0.6, 0.9);
    cairo_rectangle(d.cr, 0, 30, d.width, 25);
    cairo_fill(d.cr);
    if (s.clip) {
        cairo_rectangle(d.cr, 30, 0, 70, d.height);
        cairo_clip(d.cr);
    }
    cairo_set_source_rgba(d.cr, s.rgba[0], s.rgba[1], s.rgba[2], s.rgba[3]);
    cairo_set_operator(d.cr, s.op);
}

void FillOutlines(Drawing& d, cairo_font_face_t* face, const Drawn& s, const std::vector<cairo_glyph_t>& glyphs)
{
    Prepare(d, s);
    Render::SetOutlineFontOptions(d.cr);
    cairo_set_font_face(d.cr, face);
    cairo_set_font_matrix(d.cr, &s.scale);
    cairo_glyph_path(d.cr, glyphs.data(), static_cast<int>(glyphs.size()));
    cairo_fill(d.cr);
}

// Glyphs the masks left to the caller.
std::size_t FillMasks(Drawing& d, Render::GlyphMasks& masks, cairo_font_face_t* face, const Drawn& s, std::vector<cairo_glyph_t> glyphs)
{
    Prepare(d, s);
    masks.Fill(d.cr, face, s.scale, glyphs);
    return glyphs.size();
}

// The largest difference of a channel, and the share of channels more than 2 apart.
void Differences(Drawing& a, Drawing& b, int& largest, double& share)
{
    const unsigned char *p = a.Data(), *q = b.Data();
    largest = 0;
    std::size_t apart = 0;
    for (std::size_t i = 0; i < a.Size(); ++i) {
        int diff = std::abs(p[i] - q[i]);
        largest = std::max(largest, diff);
        apart += diff > 2;
    }
    share = static_cast<double>(apart) / static_cast<double>(a.Size());
}

// Channels the glyphs changed from the backdrop alone, in the rows from y1 to y2.
std::size_t Painted(Drawing& d, const Drawn& s, int y1 = 0, int y2 = -1)
{
    Drawing blank(d.width, d.height);
    Prepare(blank, s);
    const unsigned char *p = d.Data(), *q = blank.Data();
    const std::size_t stride = cairo_image_surface_get_stride(d.surface);
    std::size_t n = 0;
    for (std::size_t i = y1 * stride; i < (y2 < 0 ? d.Size() : y2 * stride); ++i) n += p[i] != q[i];
    return n;
}

}  // namespace

TEST(GlyphMasks, FillAsTheirOutlines)
{
    qvx::Test::RenderDoc doc;
    doc.resources = "<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Times-Italic /Encoding /WinAnsiEncoding >> >> >>";
    doc.Draw();
    auto font = PDF::Font::Create(doc.doc->GetObj(3)->FindObj("Resources")->FindObj("Font")->FindObj("F1"));
    Render::FontFaces fonts;
    cairo_font_face_t* face = fonts.Get(*font).face;
    ASSERT_TRUE(face);
    const std::string text = "Wave fjord: gly@ff %&";
    const double turn = 0.5;  // radians
    const Drawn setups[] = {
        {{13, 0, 0, -13, 0, 0}, 4.1, 40.7, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false},
        {{13, 0, 0, -13, 0, 0}, 4.35, 40.2, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false},
        {{13, 0, 0, -13, 0, 0}, 4.6, 40, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false},
        {{13, 0, 0, -13, 0, 0}, 4.85, 40, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false},
        // Turned, slanted and mirrored text.
        {{11 * std::cos(turn), -11 * std::sin(turn), -11 * std::sin(turn), -11 * std::cos(turn), 0, 0}, 10, 80, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false},
        {{9, 0, 4, -12, 0, 0}, 3, 50, {0.8, 0.1, 0.1, 1}, CAIRO_OPERATOR_OVER, false},
        {{-10, 0, 0, -10, 0, 0}, 150, 40, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false},
        // Translucent colour through a blend mode, and a clip through the string.
        {{15, 0, 0, -15, 0, 0}, 2, 50, {0.9, 0.5, 0.1, 0.6}, CAIRO_OPERATOR_MULTIPLY, false},
        {{15, 0, 0, -15, 0, 0}, 2, 50, {0, 0.3, 0, 1}, CAIRO_OPERATOR_OVER, true},
    };
    Render::GlyphMasks masks;
    // At most two masks, so that each string forgets and draws its masks again.
    Render::GlyphMasks small(2 * 1024);
    for (const Drawn& s : setups) {
        SCOPED_TRACE(testing::Message() << s.x << " op " << s.op << " clip " << s.clip);
        std::vector<cairo_glyph_t> glyphs = Place(fonts, *font, s, text);
        Drawing outlines, first, again, bounded;
        FillOutlines(outlines, face, s, glyphs);
        EXPECT_EQ(FillMasks(first, masks, face, s, glyphs), 0u);
        EXPECT_GT(Painted(first, s), 500u);
        // The same coverage, but for rounding: a glyph alone may be a rectangle, which
        // cairo covers exactly where it samples a whole string's rows.
        int largest;
        double share;
        Differences(outlines, first, largest, share);
        EXPECT_LE(largest, 12);
        EXPECT_LT(share, 0.01);
        // Masks kept give the pixels of masks just drawn, also when few are kept.
        EXPECT_EQ(FillMasks(again, masks, face, s, glyphs), 0u);
        EXPECT_EQ(std::memcmp(first.Data(), again.Data(), first.Size()), 0);
        EXPECT_EQ(FillMasks(bounded, small, face, s, glyphs), 0u);
        EXPECT_EQ(std::memcmp(first.Data(), bounded.Data(), first.Size()), 0);
        EXPECT_LE(small.Bytes(), 2u * 1024);
    }
    // Glyphs far apart are combined in more than one mask, each of bounded size.
    {
        const Drawn s{{12, 0, 0, -12, 0, 0}, 5, 20, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false};
        std::vector<cairo_glyph_t> glyphs = Place(fonts, *font, s, "ab");
        glyphs[1].x += 1100, glyphs[1].y += 1130;
        Drawing outlines(1200, 1200), drawn(1200, 1200);
        FillOutlines(outlines, face, s, glyphs);
        EXPECT_EQ(FillMasks(drawn, masks, face, s, glyphs), 0u);
        int largest;
        double share;
        Differences(outlines, drawn, largest, share);
        EXPECT_LE(largest, 12);
        EXPECT_GT(Painted(drawn, s, 0, 600), 50u);
        EXPECT_GT(Painted(drawn, s, 600, 1200), 50u);
    }
    EXPECT_GT(masks.Bytes(), 2u * 1024);
    EXPECT_LE(masks.Bytes(), Common::Limits::kMaxGlyphMaskBytes);

    // Glyphs whose ink overlaps are left to their outlines: their coverages do not add up.
    {
        const Drawn s{{14, 0, 0, -14, 0, 0}, 20, 40, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false};
        std::vector<cairo_glyph_t> glyphs = Place(fonts, *font, s, "oo");
        glyphs[1].x = glyphs[0].x + 2.5;
        Drawing d;
        EXPECT_EQ(FillMasks(d, masks, face, s, glyphs), 2u);
        EXPECT_EQ(Painted(d, s), 0u);
        // Side by side they are drawn from their masks.
        glyphs[1].x = glyphs[0].x + 7.25;
        EXPECT_EQ(FillMasks(d, masks, face, s, glyphs), 0u);
    }

    // Large glyphs, flat maps and origins off any bitmap are left to their outlines.
    const Drawn large{{90, 0, 0, -90, 0, 0}, 0, 80, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false};
    const Drawn flat{{10, 0, 20, 0, 0, 0}, 0, 80, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false};
    const Drawn away{{10, 0, 0, -10, 0, 0}, 1e8, 40, {0, 0, 0, 1}, CAIRO_OPERATOR_OVER, false};
    for (const Drawn& s : {large, flat, away}) {
        Drawing d;
        EXPECT_EQ(FillMasks(d, masks, face, s, Place(fonts, *font, s, "ab")), 2u);
        EXPECT_EQ(Painted(d, s), 0u);
    }
}
