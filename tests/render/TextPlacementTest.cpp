// Where glyphs land: the pixel grid filled text snaps to, and the advances that place
// each glyph of a font drawn by a substitute or written vertically.

#include <gtest/gtest.h>

#include "tests/render/RenderTestDoc.h"

using namespace qvx;
using qvx::Test::RenderDoc;
using qvx::Test::Rgb;

namespace {

const char* kHelvetica = "<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >> >> >>";

Render::Bitmap DrawText(const std::string& content, const std::string& resources = kHelvetica)
{
    RenderDoc d;
    d.resources = resources;
    d.content = content;
    return d.Draw().bitmap;
}

// The columns of a row that are darker than mid grey.
std::vector<int> DarkColumns(const Render::Bitmap& bm, int y)
{
    std::vector<int> out;
    for (int x = 0; x < bm.width; ++x)
        if ((Rgb(bm, x, y) & 0xFF) < 128) out.push_back(x);
    return out;
}

}  // namespace

TEST(TextPlacement, FilledGlyphsSnapToThePixelGrid)
{
    // Baselines anywhere within one pixel row draw the same pixels: the origin's row is
    // rounded down (device rows run downwards, so up in the page).
    Render::Bitmap low = DrawText("BT /F1 40 Tf 20.1 30.05 Td (I) Tj ET");
    Render::Bitmap high = DrawText("BT /F1 40 Tf 20.1 30.95 Td (I) Tj ET");
    EXPECT_TRUE(low.data == high.data);
    // The stem ends on a pixel edge: the row under the baseline stays white.
    int stem = DarkColumns(low, 60).empty() ? 0 : DarkColumns(low, 60)[0];
    ASSERT_GT(stem, 0);
    EXPECT_EQ(Rgb(low, stem + 1, 69), 0xFFFFFFu);
    EXPECT_EQ(Rgb(low, stem + 1, 68), 0u);
    // Columns snap to quarter pixels: 0.1 and 0.2 fall on the same quarter, 0.3 does not.
    Render::Bitmap a = DrawText("BT /F1 40 Tf 20.05 30 Td (I) Tj ET");
    Render::Bitmap b = DrawText("BT /F1 40 Tf 20.2 30 Td (I) Tj ET");
    Render::Bitmap c = DrawText("BT /F1 40 Tf 20.3 30 Td (I) Tj ET");
    EXPECT_TRUE(a.data == b.data);
    EXPECT_TRUE(a.data != c.data);
    // Clipping text keeps the exact outline: a fill through it moves with the baseline.
    Render::Bitmap clip_low = DrawText("BT /F1 40 Tf 7 Tr 20.1 30.05 Td (I) Tj ET 0 g 0 0 100 100 re f");
    Render::Bitmap clip_high = DrawText("BT /F1 40 Tf 7 Tr 20.1 30.95 Td (I) Tj ET 0 g 0 0 100 100 re f");
    EXPECT_TRUE(clip_low.data != clip_high.data);
}

TEST(TextPlacement, SubstituteNarrowedToTheFontsWidths)
{
    // A font that embeds no program and names none on the system: its substitute's "m" is
    // far wider than the 300 units Widths gives it, so the glyphs are narrowed to fit.
    auto font = [](int m_width) {
        return "<< /Font << /F1 << /Type /Font /Subtype /TrueType /BaseFont /QvxNoSuchFace /FirstChar 109 "
               "/LastChar 109 /Widths [" + std::to_string(m_width) + "] /Encoding /WinAnsiEncoding "
               "/FontDescriptor << /Type /FontDescriptor /FontName /QvxNoSuchFace /Flags 32 "
               "/FontBBox [0 0 1000 1000] /ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 >> >> >> >>";
    };
    auto extent = [](const Render::Bitmap& bm) {
        std::vector<int> dark = DarkColumns(bm, 80);
        return dark.empty() ? 0 : dark.back() - dark.front() + 1;
    };
    int narrow = extent(DrawText("BT /F1 60 Tf 10 10 Td (m) Tj ET", font(300)));
    EXPECT_GT(narrow, 10);
    EXPECT_LE(narrow, 20);  // 300/1000 of 60 points, less the side bearings
    // With a width close to the substitute's own the glyph keeps its shape.
    int own = extent(DrawText("BT /F1 60 Tf 10 10 Td (m) Tj ET", font(1000)));
    EXPECT_GT(own, 30);
    // The advances still come from Widths: two glyphs sit 300 units apart.
    Render::Bitmap two = DrawText("BT /F1 60 Tf 10 10 Td (mm) Tj ET", font(300));
    EXPECT_NEAR(extent(two), narrow + 18, 2);
}
