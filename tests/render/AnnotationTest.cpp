// Annotations drawn over the page: appearances placed in their Rect, and the borders of links.

#include <gtest/gtest.h>

#include <vector>

#include "tests/render/RenderTestDoc.h"

using namespace qvx;
using qvx::Test::RenderDoc;
using qvx::Test::Rgb;

namespace {

Render::Bitmap DrawWithAnnot(const std::string& annot, bool annotations = true)
{
    RenderDoc d;
    int a = d.b.Add(annot);
    d.page_extra = "/Annots [" + std::to_string(a) + " 0 R]";
    Render::RenderOptions opt;
    opt.annotations = annotations;
    return d.Draw(opt).bitmap;
}

}  // namespace

TEST(Annotations, LinkBordersAndAppearances)
{
    // No colour: a black border one unit wide, centred on the Rect's edges (x 10.3: pixel 10;
    // the bottom edge, y 10.3: row 89).
    Render::Bitmap bm = DrawWithAnnot("<< /Type /Annot /Subtype /Link /Rect [10.3 10.3 50.6 30.6] >>");
    EXPECT_EQ((std::vector<unsigned>{Rgb(bm, 10, 80), Rgb(bm, 30, 89), Rgb(bm, 30, 80)}),
              (std::vector<unsigned>{0, 0, 0xFFFFFF}));
    // The colour C and the width of Border (pixels 9 and 10); BS wins over Border.
    bm = DrawWithAnnot("<< /Type /Annot /Subtype /Link /Rect [10.3 10.3 50.6 30.6] /C [1 0 0] /Border [0 0 2] >>");
    EXPECT_EQ((std::vector<unsigned>{Rgb(bm, 9, 80), Rgb(bm, 10, 80), Rgb(bm, 11, 80)}),
              (std::vector<unsigned>{0xFF0000, 0xFF0000, 0xFFFFFF}));
    bm = DrawWithAnnot("<< /Type /Annot /Subtype /Link /Rect [10.3 10.3 50.6 30.6] /C [0 0 1] /Border [0 0 1] /BS << /W 3 >> >>");
    EXPECT_EQ(Rgb(bm, 11, 80), 0x0000FFu);
    // Drawn over an appearance (here an empty one); none with width 0 or an empty colour.
    RenderDoc d;
    int ap = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 40 20]", "");
    int link = d.b.Add("<< /Type /Annot /Subtype /Link /Rect [10.3 10.3 50.6 30.6] /C [0 1 0] /AP << /N " +
                       std::to_string(ap) + " 0 R >> >>");
    d.page_extra = "/Annots [" + std::to_string(link) + " 0 R]";
    EXPECT_EQ(Rgb(d.Draw().bitmap, 10, 80), 0x00FF00u);
    // A malformed Border (fewer than three numbers, as XeTeX writes [0]) states no width.
    for (const char* off : {"/Border [0 0 0]", "/C []", "/Border [0]", "/Border [0 0 /W]"}) {
        bm = DrawWithAnnot(std::string("<< /Type /Annot /Subtype /Link /Rect [10.3 10.3 50.6 30.6] ") + off + " >>");
        EXPECT_EQ(Rgb(bm, 10, 80), 0xFFFFFFu) << off;
    }
    // Hidden links and renders without annotations show nothing.
    bm = DrawWithAnnot("<< /Type /Annot /Subtype /Link /Rect [10.3 10.3 50.6 30.6] /F 2 >>");
    EXPECT_EQ(Rgb(bm, 10, 80), 0xFFFFFFu);
    bm = DrawWithAnnot("<< /Type /Annot /Subtype /Link /Rect [10.3 10.3 50.6 30.6] >>", false);
    EXPECT_EQ(Rgb(bm, 10, 80), 0xFFFFFFu);
}

TEST(Annotations, DrawnOutsideTheClipThePageLeaves)
{
    // The page clips to its lower left corner without q/Q around it; the annotation's square
    // (device rows 20-40, columns 60-80) is drawn in the state the page started with.
    RenderDoc d;
    d.content = "0 0 10 10 re W n 0 0 1 rg 0 0 100 100 re f";
    int ap = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 20 20]", "1 0 0 rg 0 0 20 20 re f");
    int sq = d.b.Add("<< /Type /Annot /Subtype /Square /Rect [60 60 80 80] /AP << /N " + std::to_string(ap) + " 0 R >> >>");
    d.page_extra = "/Annots [" + std::to_string(sq) + " 0 R]";
    Render::Bitmap bm = d.Draw().bitmap;
    EXPECT_EQ(Rgb(bm, 5, 95), 0x0000FFu);
    EXPECT_EQ(Rgb(bm, 50, 50), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bm, 70, 30), 0xFF0000u);
}

TEST(Annotations, LinesWithoutAnAreaDrawnWhereTheirVerticesAre)
{
    // A red line across the page whose Rect is all zeros, and one whose Rect has no height:
    // viewers draw them from L all the same, 2 units wide at y 50 (rows 49 and 50).
    for (const char* rect : {"[0 0 0 0]", "[10 50 90 50]"}) {
        SCOPED_TRACE(rect);
        Render::Bitmap bm = DrawWithAnnot(std::string("<< /Type /Annot /Subtype /Line /Rect ") + rect +
                                          " /L [10 50 90 50] /C [1 0 0] /BS << /W 2 >> >>");
        EXPECT_EQ(Rgb(bm, 50, 49), 0xFF0000u);
        EXPECT_EQ(Rgb(bm, 50, 50), 0xFF0000u);
        EXPECT_EQ(Rgb(bm, 50, 45), 0xFFFFFFu);
        EXPECT_EQ(Rgb(bm, 5, 49), 0xFFFFFFu);
    }
    // Without two points there is nothing to draw.
    Render::Bitmap bm = DrawWithAnnot("<< /Type /Annot /Subtype /Line /Rect [0 0 0 0] /L [10 50] /C [1 0 0] >>");
    EXPECT_EQ(Rgb(bm, 10, 50), 0xFFFFFFu);
}

TEST(Annotations, CheckBoxesWithoutAppearanceShowTheirState)
{
    // Drawn from the value as viewers draw such a field: a filled square (MK CA "n") when on,
    // nothing inside the frame when off.
    const std::string box = "<< /Type /Annot /Subtype /Widget /FT /Btn /T (a) /Rect [20 20 80 80] /MK << /CA (n) >> "
                            "/DA (/ZaDb 0 Tf 0 0 1 rg) ";
    EXPECT_EQ(Rgb(DrawWithAnnot(box + "/V /On /AS /On >>"), 50, 50), 0x0000FFu);
    EXPECT_EQ(Rgb(DrawWithAnnot(box + "/V /Off /AS /Off >>"), 50, 50), 0xFFFFFFu);
}
