// Where glyphs land: the pixel grid filled text snaps to, and the advances that place
// each glyph of a font drawn by a substitute or written vertically.

#include <gtest/gtest.h>

#include "tests/render/RenderTestDoc.h"
#include "tests/support/TrueTypeBuilder.h"

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
std::vector<int> DarkColumns(const Render::Bitmap& bm, int y, unsigned below = 128)
{
    std::vector<int> out;
    for (int x = 0; x < bm.width; ++x)
        if ((Rgb(bm, x, y) & 0xFF) < below) out.push_back(x);
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
    // A font that embeds no program, whether it names none on the system or a standard one:
    // its substitute's "m" is far wider than the 300 units Widths gives it, so the glyphs
    // are narrowed to fit.
    for (std::string name : {"QvxNoSuchFace", "Helvetica", "Arial"}) {
        auto font = [&](int m_width) {
            return "<< /Font << /F1 << /Type /Font /Subtype /TrueType /BaseFont /" + name + " /FirstChar 109 "
                   "/LastChar 109 /Widths [" + std::to_string(m_width) + "] /Encoding /WinAnsiEncoding "
                   "/FontDescriptor << /Type /FontDescriptor /FontName /" + name + " /Flags 32 "
                   "/FontBBox [0 0 1000 1000] /ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 >> >> >> >>";
        };
        auto extent = [](const Render::Bitmap& bm) {
            std::vector<int> dark = DarkColumns(bm, 80);
            return dark.empty() ? 0 : dark.back() - dark.front() + 1;
        };
        int narrow = extent(DrawText("BT /F1 60 Tf 10 10 Td (m) Tj ET", font(300)));
        EXPECT_GT(narrow, 10) << name;
        EXPECT_LE(narrow, 20) << name;  // 300/1000 of 60 points, less the side bearings
        // With a width close to the substitute's own the glyph keeps its shape.
        int own = extent(DrawText("BT /F1 60 Tf 10 10 Td (m) Tj ET", font(1000)));
        EXPECT_GT(own, 30) << name;
        // The advances still come from Widths: two glyphs sit 300 units apart.
        Render::Bitmap two = DrawText("BT /F1 60 Tf 10 10 Td (mm) Tj ET", font(300));
        EXPECT_NEAR(extent(two), narrow + 18, 2) << name;
        // pdftoppm narrows only where "m" is wider than the MissingWidth.
        std::string missing = font(300);
        missing.replace(missing.find("/StemV 80"), 9, "/StemV 80 /MissingWidth 300");
        EXPECT_GT(extent(DrawText("BT /F1 60 Tf 10 10 Td (m) Tj ET", missing)), 30) << name;
    }
}

TEST(TextPlacement, VerticalWritingFollowsW2AndDW2)
{
    // "I" twice down a column in a Type 0 font written vertically (the substitute found
    // through ToUnicode). Each glyph hangs from its position vector below the pen, which
    // moves down by the vertical displacement of W2, else DW2.
    RenderDoc d;
    int tounicode = d.b.AddStream("", "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def "
                                      "1 begincodespacerange <0000> <FFFF> endcodespacerange 1 beginbfchar <0001> <0049> "
                                      "endbfchar endcmap CMapName currentdict /CMap defineresource pop end end");
    auto font = [&](const std::string& metrics) {
        int desc = d.b.Add("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Helvetica-Bold " + metrics +
                           " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>");
        return d.b.Add("<< /Type /Font /Subtype /Type0 /BaseFont /Helvetica-Bold /Encoding /Identity-V "
                       "/DescendantFonts [" + std::to_string(desc) + " 0 R] /ToUnicode " + std::to_string(tounicode) + " 0 R >>");
    };
    // Rows with ink in the middle column of the glyphs, top to bottom.
    auto rows = [&](int f) {
        d.resources = "<< /Font << /F1 " + std::to_string(f) + " 0 R >> >>";
        d.content = "BT /F1 20 Tf 50 95 Td <00010001> Tj ET";
        Render::Bitmap bm = d.Draw().bitmap;
        std::vector<int> out;  // the first row of each run of rows with ink
        bool before = false;
        for (int y = 0; y < bm.height; ++y) {
            bool ink = false;
            for (int x = 30; x < 60; ++x) ink = ink || (Rgb(bm, x, y) & 0xFF) < 128;
            if (ink && !before) out.push_back(y);
            before = ink;
        }
        return out;
    };
    // DW2 default: the first glyph's top near y 95 - 17.6 + its height; the second 20 lower.
    int plain = font("");
    std::vector<int> dflt = rows(plain);
    ASSERT_EQ(dflt.size(), 2u);
    EXPECT_NEAR(dflt[1] - dflt[0], 20, 1);
    // W2 sends the pen 40 units down after the first glyph; its taller vector hangs the
    // glyphs 10 units lower.
    std::vector<int> w2 = rows(font("/DW2 [1380 -1000] /W2 [1 1 -2000 500 1380]"));
    ASSERT_EQ(w2.size(), 2u);
    EXPECT_NEAR(w2[1] - w2[0], 40, 1);
    EXPECT_NEAR(w2[0] - dflt[0], 10, 1);
    // Horizontal scaling narrows the glyph but moves it by its whole position vector, as
    // pdftoppm and mupdf place it: its left edge stays where it is unscaled (10 units left
    // of the pen), not 5.
    auto left = [&](const std::string& tz) {
        d.resources = "<< /Font << /F1 " + std::to_string(plain) + " 0 R >> >>";
        d.content = "BT /F1 20 Tf " + tz + " 50 95 Td <0001> Tj ET";
        Render::Bitmap bm = d.Draw().bitmap;
        for (int x = 0; x < bm.width; ++x)
            for (int y = 0; y < bm.height; ++y)
                if ((Rgb(bm, x, y) & 0xFF) < 128) return x;
        return -1;
    };
    int unscaled = left("");
    EXPECT_NEAR(unscaled, 41, 1);
    EXPECT_NEAR(left("50 Tz"), unscaled, 1);
}

TEST(TextPlacement, CidsOfAnUnmappedSubstituteAreCharacters)
{
    // A TrueType-based Type 0 font that embeds nothing and has no ToUnicode map: each CID
    // is looked up as a character in the substitute, so <0049> draws a tall "I" and
    // <002D> a wide hyphen.
    RenderDoc d;
    int desc = d.b.Add("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /QvxNoSuchFace "
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 600 >>");
    int font = d.b.Add("<< /Type /Font /Subtype /Type0 /BaseFont /QvxNoSuchFace /Encoding /Identity-H "
                       "/DescendantFonts [" + std::to_string(desc) + " 0 R] >>");
    d.resources = "<< /Font << /F1 " + std::to_string(font) + " 0 R >> >>";
    // The width and height of the ink.
    auto extent = [&](const std::string& cid) {
        d.content = "BT /F1 60 Tf 20 20 Td <" + cid + "> Tj ET";
        Render::Bitmap bm = d.Draw().bitmap;
        int x0 = bm.width, x1 = -1, y0 = bm.height, y1 = -1;
        for (int y = 0; y < bm.height; ++y)
            for (int x = 0; x < bm.width; ++x)
                if ((Rgb(bm, x, y) & 0xFF) < 128) x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        return std::make_pair(x1 - x0 + 1, y1 - y0 + 1);
    };
    auto [iw, ih] = extent("0049");
    auto [hw, hh] = extent("002D");
    EXPECT_GT(ih, 30);
    EXPECT_GT(ih, 2 * iw);
    EXPECT_GT(hw, 2 * hh);
}

TEST(TextPlacement, UnembeddedFontsDrawWithTheFamilyTheirNameGives)
{
    // PostScript names of Monotype families end in MT or PSMT: an unembedded Type 0
    // "ArialMT" draws with the program "Arial" gives (the one conversion embeds for it),
    // not with the system's default face.
    auto draw = [](const std::string& name) {
        RenderDoc d;
        int desc = d.b.Add("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + name +
                           " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 600 >>");
        int font = d.b.Add("<< /Type /Font /Subtype /Type0 /BaseFont /" + name + " /Encoding /Identity-H /DescendantFonts [" +
                           std::to_string(desc) + " 0 R] >>");
        d.resources = "<< /Font << /F1 " + std::to_string(font) + " 0 R >> >>";
        d.content = "BT /F1 40 Tf 10 30 Td <00530032> Tj ET";
        return d.Draw().bitmap;
    };
    Render::Bitmap arial = draw("Arial");
    EXPECT_TRUE(draw("ArialMT").data == arial.data);
    EXPECT_TRUE(draw("Arial-BoldMT").data != arial.data);
}

TEST(TextPlacement, CidsOfAProgramTheCheckRefusesFollowCIDToGIDMap)
{
    // An embedded TrueType program whose composite glyph draws itself: the checks refuse
    // it, FreeType draws its other glyphs. CID 5 leads by the CIDToGIDMap to glyph 1, a
    // 500-unit square, as readers draw it; CID 6 to no glyph.
    RenderDoc d;
    int program = d.b.AddStream("", qvx::Test::MakeTrueType({.component = 2}));
    std::string map(14, '\0');
    map[11] = 1;  // CID 5: glyph 1
    int to_gid = d.b.AddStream("", map);
    int descriptor = d.b.Add("<< /Type /FontDescriptor /FontName /QvxSquare /Flags 4 /FontBBox [0 0 500 500] "
                             "/ItalicAngle 0 /Ascent 500 /Descent 0 /CapHeight 500 /StemV 80 /FontFile2 " +
                             std::to_string(program) + " 0 R >>");
    int desc = d.b.Add("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /QvxSquare /CIDToGIDMap " + std::to_string(to_gid) +
                       " 0 R /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 500 "
                       "/FontDescriptor " + std::to_string(descriptor) + " 0 R >>");
    int font = d.b.Add("<< /Type /Font /Subtype /Type0 /BaseFont /QvxSquare /Encoding /Identity-H /DescendantFonts [" +
                       std::to_string(desc) + " 0 R] >>");
    d.resources = "<< /Font << /F1 " + std::to_string(font) + " 0 R >> >>";
    d.content = "BT /F1 60 Tf 20 20 Td <0005> Tj ET";
    Render::Bitmap bm = d.Draw().bitmap;
    EXPECT_EQ(Rgb(bm, 35, 65), 0x000000u);  // inside the square: x 20 to 50, rows 50 to 80
    EXPECT_EQ(Rgb(bm, 60, 65), 0xFFFFFFu);
    d.content = "BT /F1 60 Tf 20 20 Td <0006> Tj ET";
    bm = d.Draw().bitmap;
    EXPECT_EQ(Rgb(bm, 35, 65), 0xFFFFFFu);
}

TEST(TextPlacement, StrokedGlyphsKeepThinLinesThin)
{
    // Glyph outlines stroked with a line thinner than a pixel, through a text matrix that
    // scales by 60: the outline stays as thin as the line (drawn faint), not a line width of
    // text space (6 pixels).
    Render::Bitmap bm = DrawText("BT /F1 1 Tf 1 Tr 0.1 w 60 0 0 60 30 20 Tm (I) Tj ET");
    std::vector<int> dark = DarkColumns(bm, 60, 250);
    ASSERT_FALSE(dark.empty());
    EXPECT_LT(dark.size(), 8u);
    EXPECT_GT(dark.back() - dark.front(), 5);  // the two sides of the stem
}

TEST(TextPlacement, RepeatedGlyphsDrawAsWhenFirstMet)
{
    // Three bands of text, each drawn on its own page and then all on one page, where
    // the glyphs of the lower bands were already looked up for the bands above them: in
    // another order, at another size, and in a second font. The bands must not change.
    const std::string fonts =
        "<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >> "
        "/F2 << /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >> >> >>";
    const std::string bands[] = {"BT /F1 14 Tf 4 80 Td (AVWAVW) Tj ET", "BT /F1 9 Tf 4 50 Td (WVAWVA) Tj ET",
                                 "BT /F2 14 Tf 4 20 Td (VAWWAV) Tj ET"};
    RenderDoc d;
    d.resources = fonts;
    d.content = bands[0] + "\n" + bands[1] + "\n" + bands[2];
    Render::Bitmap all = d.Draw().bitmap;
    // Band i lies within the pixel rows 30 i to 30 i + 29.
    for (int i = 0; i < 3; ++i) {
        Render::Bitmap one = DrawText(bands[i], fonts);
        ASSERT_EQ(one.width, all.width);
        int dark = 0;
        for (int y = 30 * i; y < 30 * i + 30; ++y)
            for (int x = 0; x < all.width; ++x) {
                ASSERT_EQ(Rgb(all, x, y), Rgb(one, x, y)) << "band " << i << " at " << x << "," << y;
                dark += (Rgb(one, x, y) & 0xFF) < 128;
            }
        EXPECT_GT(dark, 20) << "band " << i;
    }
}
