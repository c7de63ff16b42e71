// Rectangles and straight lines along the pixel grid get whole-pixel edges; everything
// else keeps its exact, anti-aliased outline.

#include <gtest/gtest.h>

#include "tests/render/RenderTestDoc.h"

using namespace qvx;
using qvx::Test::RenderDoc;
using qvx::Test::Rgb;

namespace {

Render::Bitmap Draw(const std::string& content)
{
    RenderDoc d;
    d.content = content;
    return d.Draw().bitmap;
}

// The red channel of a column (rows y0 to y1, exclusive), top to bottom.
std::vector<int> Column(const Render::Bitmap& bm, int x, int y0, int y1)
{
    std::vector<int> out;
    for (int y = y0; y < y1; ++y) out.push_back(bm.Pixel(x, y)[0]);
    return out;
}

}  // namespace

TEST(PixelSnap, RectangleFillsGetWholePixelEdges)
{
    // 10.3 to 40.7 rounds to the edges 10 and 41: the edge pixels are all or nothing.
    Render::Bitmap bm = Draw("0 g 10.3 10.3 30.4 30.4 re f");
    EXPECT_EQ(Rgb(bm, 9, 80), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bm, 10, 80), 0u);
    EXPECT_EQ(Rgb(bm, 40, 80), 0u);
    EXPECT_EQ(Rgb(bm, 41, 80), 0xFFFFFFu);
    // The same corners given as lines, closed by a fifth point, snap alike.
    EXPECT_TRUE(Draw("0 g 10.3 10.3 m 40.7 10.3 l 40.7 40.7 l 10.3 40.7 l 10.3 10.3 l f").data == bm.data);
    // A sliver narrower than a pixel still covers one whole pixel.
    bm = Draw("0 g 50.3 20 0.3 20 re f");
    EXPECT_EQ(Rgb(bm, 50, 70), 0u);
    EXPECT_EQ(Rgb(bm, 51, 70), 0xFFFFFFu);
    // A rectangle of no height (or width) leaves a faint line on the pixel row (column) it
    // lies in, as pdftoppm draws such rules: an eighth of black on white.
    bm = Draw("0 g 10 50.3 80 0 re f");
    for (int y = 45; y < 55; ++y) ASSERT_EQ(Rgb(bm, 50, y), y == 49 ? 0xDFDFDFu : 0xFFFFFFu) << y;
    bm = Draw("0 g 30.6 10 0 80 re f");
    for (int x = 25; x < 35; ++x) ASSERT_EQ(Rgb(bm, x, 50), x == 30 ? 0xDFDFDFu : 0xFFFFFFu) << x;
    // A turned rectangle and a curved shape keep their anti-aliased edges.
    bm = Draw("0 g 1 0 0.2 1 0 0 cm 10.3 10.3 30.4 30.4 re f");
    int grey = 0;
    for (int x = 0; x < 60; ++x) grey += bm.Pixel(x, 80)[0] > 10 && bm.Pixel(x, 80)[0] < 245;
    EXPECT_GT(grey, 0);
}

TEST(PixelSnap, RectangleClipsKeepEveryRowTheyEnter)
{
    // A clip from y 20.1 to 60.9 (rows 39.1 to 79.9 from the top) keeps rows 39 to 79
    // whole, as pdftoppm clips; across, its edges at x 10.5 and 50.5 stay soft.
    Render::Bitmap bm = Draw("q 10.5 20.1 40 40.8 re W n 0 g 0 0 100 100 re f Q");
    EXPECT_EQ(Column(bm, 30, 38, 41), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(Column(bm, 30, 78, 81), (std::vector<int>{0, 0, 255}));
    EXPECT_GT(bm.Pixel(10, 50)[0], 100);
    EXPECT_LT(bm.Pixel(10, 50)[0], 155);
    EXPECT_EQ(bm.Pixel(11, 50)[0], 0);
    // A turned rectangle is no such rectangle: its edges stay soft.
    bm = Draw("q 1 0.2 -0.2 1 20 20 cm 0 0 40 40 re W n 0 g 0 0 100 100 re f Q");
    bool soft = false;
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x) soft |= bm.Pixel(x, y)[0] > 30 && bm.Pixel(x, y)[0] < 225;
    EXPECT_TRUE(soft);
}

TEST(PixelSnap, StraightLinesGetWholePixelWidths)
{
    // Rows: a 2-unit line centred on 29.3 spans 28.3 to 30.3 and becomes rows 28 and 29;
    // a half-unit line becomes one full row; a hairline is the row it runs through.
    Render::Bitmap bm = Draw("0 G 2 w 10 70.7 m 90 70.7 l S 0.5 w 10 50.3 m 90 50.3 l S 0 w 10 20.4 m 90 20.4 l S");
    EXPECT_EQ(Column(bm, 40, 26, 32), (std::vector<int>{255, 255, 0, 0, 255, 255}));
    EXPECT_EQ(Column(bm, 40, 47, 52), (std::vector<int>{255, 255, 0, 255, 255}));
    EXPECT_EQ(Column(bm, 40, 78, 82), (std::vector<int>{255, 0, 255, 255}));  // y 79.6
    // Butt ends are snapped too, projecting ends reach half the width further first.
    bm = Draw("0 G 4 w 10.3 50 m 30.3 50 l S 2 J 50.3 50 m 70.3 50 l S");
    EXPECT_EQ(Rgb(bm, 9, 50), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bm, 10, 50), 0u);
    EXPECT_EQ(Rgb(bm, 30, 50), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bm, 48, 50), 0u);
    EXPECT_EQ(Rgb(bm, 71, 50), 0u);
    EXPECT_EQ(Rgb(bm, 72, 50), 0xFFFFFFu);
    // A stroked rectangle: its corners are filled.
    bm = Draw("0 G 2 w 20.2 20.2 60 60 re S");
    EXPECT_EQ(Rgb(bm, 19, 20), 0u);
    EXPECT_EQ(Rgb(bm, 80, 79), 0u);
    EXPECT_EQ(Rgb(bm, 50, 50), 0xFFFFFFu);
    // Round caps, dashes and slanted lines are stroked as they are.
    bm = Draw("0 G 2 w 10 20 m 90 20.6 l S");
    int grey = 0;
    for (int y = 75; y < 85; ++y) grey += bm.Pixel(50, y)[0] > 10 && bm.Pixel(50, y)[0] < 245;
    EXPECT_GT(grey, 0);
}

TEST(PixelSnap, UprightImagesCoverWholePixels)
{
    // Four grey samples in a row, 20.3 units wide from x 10.3: pixels 10 to 30 inclusive,
    // five each and the odd one to the last sample; no partly covered edge pixels.
    const std::string row = std::string("\x00\x55\xAA\x64", 4);
    auto draw = [&](const std::string& cm) {
        return Draw("q " + cm + " cm BI /W 4 /H 1 /CS /G /BPC 8 ID " + row + " EI Q");
    };
    Render::Bitmap bm = draw("20.3 0 0 20.3 10.3 10.3");
    std::vector<int> got;
    for (int x = 9; x < 32; ++x) got.push_back(bm.Pixel(x, 80)[0]);
    std::vector<int> want{255, 0, 0, 0, 0, 0, 0x55, 0x55, 0x55, 0x55, 0x55, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA,
                          0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 255};
    EXPECT_EQ(got, want);
    // Rows: y 10.3 to 30.6 is device 69.4 to 89.7, rows 69 to 89.
    EXPECT_EQ(Column(bm, 12, 68, 71), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(Column(bm, 12, 88, 91), (std::vector<int>{0, 0, 255}));
    // An image ending exactly on a pixel edge still takes the pixel after it.
    bm = draw("20 0 0 20 10 10");
    EXPECT_EQ(bm.Pixel(30, 80)[0], 0x64);
    EXPECT_EQ(bm.Pixel(31, 80)[0], 255);
}

TEST(PixelSnap, ShrunkImagesAverageTheSamplesEachPixelCovers)
{
    // Five samples in a row drawn over 2 pixels (x 10.2 to 11.9, within row 49): the
    // first pixel takes the first two samples, the second the other three, as pdftoppm
    // splits them; a smoothing filter would spread the third sample over both.
    const std::string row = std::string("\x00\x00\xFF\xFF\xFF", 5);
    Render::Bitmap bm = Draw("q 1.7 0 0 0.7 10.2 50.2 cm BI /W 5 /H 1 /CS /G /BPC 8 ID " + row + " EI Q");
    EXPECT_EQ(bm.Pixel(10, 49)[0], 0);
    EXPECT_EQ(bm.Pixel(11, 49)[0], 255);
    // Down on both axes: five rows of such samples over 2 x 2 pixels, the third row dark.
    const std::string rows = row + row + std::string(5, '\0') + row + row;
    bm = Draw("q 1.7 0 0 1.7 10.2 50.2 cm BI /W 5 /H 5 /CS /G /BPC 8 ID " + rows + " EI Q");
    EXPECT_EQ(bm.Pixel(11, 48)[0], 255);  // rows 0 and 1 of the samples
    EXPECT_EQ(bm.Pixel(11, 49)[0], 170);  // rows 2 to 4: (0 + 255 + 255) / 3
}

TEST(PixelSnap, Type3GlyphBitmapsRoundToTheNearestPixelEdges)
{
    // A glyph that is one black sample stretched over its 1000-unit box: at size 19.8 from
    // x 10.6 it spans 10.6 to 30.4, which rounds to the edges 11 and 30 (an image outside a
    // glyph covers pixels 10 to 30).
    RenderDoc d;
    int proc = d.b.AddStream("", "1000 0 0 0 1000 1000 d1 q 1000 0 0 1000 0 0 cm BI /W 1 /H 1 /IM true ID " +
                                     std::string("\x00", 1) + " EI Q");
    int font = d.b.Add("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
                       "/CharProcs << /a " + std::to_string(proc) + " 0 R >> /Encoding << /Type /Encoding "
                       "/Differences [97 /a] >> /FirstChar 97 /LastChar 97 /Widths [1000] >>");
    d.resources = "<< /Font << /T3 " + std::to_string(font) + " 0 R >> >>";
    d.content = "0 g BT /T3 19.8 Tf 10.6 10.6 Td (a) Tj ET";
    Render::Bitmap bm = d.Draw().bitmap;
    EXPECT_EQ(Rgb(bm, 10, 80), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bm, 11, 80), 0u);
    EXPECT_EQ(Rgb(bm, 29, 80), 0u);
    EXPECT_EQ(Rgb(bm, 30, 80), 0xFFFFFFu);
    // Rows: y 10.6 to 30.4 is device 69.6 to 89.4, rows 70 to 88.
    EXPECT_EQ(Column(bm, 20, 69, 71), (std::vector<int>{255, 0}));
    EXPECT_EQ(Column(bm, 20, 88, 90), (std::vector<int>{0, 255}));
    d.content = "0 g q 19.8 0 0 19.8 10.6 10.6 cm BI /W 1 /H 1 /IM true ID " + std::string("\x00", 1) + " EI Q";
    bm = d.Draw().bitmap;
    EXPECT_EQ(Rgb(bm, 10, 80), 0u);
    EXPECT_EQ(Rgb(bm, 30, 80), 0u);
}

TEST(PixelSnap, ThinLinesAlongTheGridStayAPixelWideOthersDrawFaint)
{
    // 0.1 units wide at 72 dpi: a diagonal draws a tenth of its colour at most; a vertical
    // line, here with round caps that the snapping of rules leaves alone, one whole pixel;
    // a line of width 0 one pixel, whatever its direction.
    auto darkest = [](const Render::Bitmap& bm, int y) {
        int least = 255;
        for (int x = 0; x < bm.width; ++x) least = std::min<int>(least, bm.Pixel(x, y)[0]);
        return least;
    };
    EXPECT_GT(darkest(Draw("0 G 0.1 w 10 10 m 90 90 l S"), 50), 200);
    EXPECT_EQ(darkest(Draw("0 G 0.1 w 1 J 30.5 10 m 30.5 90 l S"), 50), 0);
    EXPECT_LT(darkest(Draw("0 G 0 w 10 10 m 90 90 l S"), 50), 128);
}
