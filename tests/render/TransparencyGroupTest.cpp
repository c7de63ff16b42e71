// Transparency groups: where a group lands, what it composites against (isolated or
// not), and knockout groups, whose objects each composite against the group's backdrop.

#include <gtest/gtest.h>

#include "tests/render/RenderTestDoc.h"

using namespace qvx;
using qvx::Test::Near;
using qvx::Test::RenderDoc;
using qvx::Test::Rgb;

namespace {

// A page whose resources hold the form Fm1 with a group dictionary, the content given,
// and the graphics states /Mul (Multiply), /Half (alpha 0.5) and /Scr (Screen).
struct GroupPage {
    RenderDoc d;
    GroupPage(const std::string& group, const std::string& form_content, const std::string& form_extra = "")
    {
        int form = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] " + form_extra +
                                     " /Group << /S /Transparency " + group + " >> /Resources << /ExtGState " + States() + " >>",
                                 form_content);
        d.resources = "<< /XObject << /Fm1 " + std::to_string(form) + " 0 R >> /ExtGState " + States() + " >>";
    }
    static std::string States()
    {
        return "<< /Mul << /BM /Multiply >> /Half << /ca 0.5 /CA 0.5 >> /Scr << /BM /Screen >> >>";
    }
    Render::Bitmap Draw(const std::string& content)
    {
        d.content = content;
        return d.Draw().bitmap;
    }
};

}  // namespace

TEST(TransparencyGroup, PlacedByTheFormMatrixAndTheCurrentTransform)
{
    // A group drawn through a moved and flipped space lands where an ordinary form would.
    GroupPage p("", "0 0 1 rg 10 10 20 30 re f", "/Matrix [1 0 0 -1 0 100]");
    Render::Bitmap bm = p.Draw("1 0 0 1 40 0 cm /Fm1 Do");
    // Form y 10..40 flips to page y 60..90, rows 10..40; x 50..70.
    EXPECT_EQ(Rgb(bm, 60, 25), 0x0000FFu);
    EXPECT_EQ(Rgb(bm, 60, 75), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bm, 20, 25), 0xFFFFFFu);
    // The same with the group's alpha and a blend mode in force.
    bm = p.Draw("1 0 0 rg 0 0 100 100 re f /Half gs 1 0 0 1 40 0 cm /Fm1 Do");
    EXPECT_TRUE(Near(bm, 60, 25, 0x800080u, 2)) << std::hex << Rgb(bm, 60, 25);
    EXPECT_EQ(Rgb(bm, 60, 75), 0xFF0000u);
}

TEST(TransparencyGroup, NonIsolatedGroupsBlendWithWhatLiesUnder)
{
    // Cyan multiplied inside the group: over the yellow page (non-isolated) it turns green;
    // an isolated group multiplies against nothing and stays cyan.
    const std::string page = "1 1 0 rg 0 0 100 100 re f /Fm1 Do";
    GroupPage open("/I false", "/Mul gs 0 1 1 rg 20 20 60 60 re f");
    Render::Bitmap bm = open.Draw(page);
    EXPECT_EQ(Rgb(bm, 50, 50), 0x00FF00u);
    EXPECT_EQ(Rgb(bm, 10, 10), 0xFFFF00u);
    GroupPage isolated("/I true", "/Mul gs 0 1 1 rg 20 20 60 60 re f");
    EXPECT_EQ(Rgb(isolated.Draw(page), 50, 50), 0x00FFFFu);
    // The group's alpha applies to what it adds, not to the backdrop it started from.
    bm = open.Draw("1 1 0 rg 0 0 100 100 re f /Half gs /Fm1 Do");
    EXPECT_TRUE(Near(bm, 50, 50, 0x80FF00u, 2)) << std::hex << Rgb(bm, 50, 50);
    EXPECT_EQ(Rgb(bm, 10, 10), 0xFFFF00u);
    // A non-isolated group inside another, both smaller than the page: the inner one's
    // backdrop is the outer group's content at the same place.
    RenderDoc d;
    int inner = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [30 30 70 70] /Group << /S /Transparency >> "
                              "/Resources << /ExtGState " + GroupPage::States() + " >>",
                              "/Mul gs 0 1 1 rg 0 0 100 100 re f");
    int outer = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [20 20 80 80] /Group << /S /Transparency >> "
                              "/Resources << /XObject << /In " + std::to_string(inner) + " 0 R >> >>",
                              "1 0 1 rg 20 20 60 30 re f /In Do");
    d.resources = "<< /XObject << /Out " + std::to_string(outer) + " 0 R >> >>";
    d.content = "1 1 0 rg 0 0 100 100 re f /Out Do";
    bm = d.Draw().bitmap;
    EXPECT_EQ(Rgb(bm, 50, 60), 0x0000FFu);  // cyan x magenta, drawn by the outer group
    EXPECT_EQ(Rgb(bm, 50, 40), 0x00FF00u);  // cyan x yellow, the page under both
    EXPECT_EQ(Rgb(bm, 25, 75), 0xFF00FFu);  // magenta outside the inner group
    EXPECT_EQ(Rgb(bm, 10, 10), 0xFFFF00u);
}

TEST(TransparencyGroup, KnockoutObjectsCompositeAgainstTheGroupBackdrop)
{
    // Two half-transparent squares overlapping: in a knockout group the later one replaces
    // the earlier where they overlap instead of mixing with it.
    const std::string squares = "/Half gs 1 0 0 rg 10 10 50 50 re f 0 0 1 rg 40 40 50 50 re f";
    GroupPage knockout("/I true /K true", squares);
    Render::Bitmap bm = knockout.Draw("/Fm1 Do");
    EXPECT_TRUE(Near(bm, 50, 50, 0x7F7FFFu, 2)) << std::hex << Rgb(bm, 50, 50);  // blue only
    EXPECT_TRUE(Near(bm, 20, 80, 0xFF7F7Fu, 2)) << std::hex << Rgb(bm, 20, 80);
    GroupPage plain("/I true", squares);
    bm = plain.Draw("/Fm1 Do");
    EXPECT_FALSE(Near(bm, 50, 50, 0x7F7FFFu, 20)) << std::hex << Rgb(bm, 50, 50);
    // Non-isolated: each object multiplies with the yellow page, not with the one before.
    GroupPage open("/K true", "/Mul gs 0 1 1 rg 10 10 50 50 re f 1 0 1 rg 40 40 50 50 re f");
    bm = open.Draw("1 1 0 rg 0 0 100 100 re f /Fm1 Do");
    EXPECT_EQ(Rgb(bm, 50, 50), 0xFF0000u);  // magenta x yellow; not black
    EXPECT_EQ(Rgb(bm, 20, 80), 0x00FF00u);  // cyan x yellow
    EXPECT_EQ(Rgb(bm, 5, 5), 0xFFFF00u);
    // Strokes knock out as well: a stroke across the squares replaces them along its width.
    GroupPage stroked("/I true /K true", "1 0 0 rg 10 10 80 80 re f /Half gs 0 0 1 RG 10 w 0 50 m 100 50 l S");
    bm = stroked.Draw("/Fm1 Do");
    EXPECT_TRUE(Near(bm, 50, 50, 0x7F7FFFu, 2)) << std::hex << Rgb(bm, 50, 50);
    EXPECT_EQ(Rgb(bm, 50, 30), 0xFF0000u);
}

TEST(TransparencyGroup, SoftMaskedPaintUnderATransform)
{
    // A luminosity mask white on the left half of the page; the square painted through it
    // is drawn under a scaling transform and stays where that transform puts it.
    RenderDoc d;
    int mask = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency /CS /DeviceGray >>",
                             "1 g 0 0 50 100 re f");
    d.resources = "<< /ExtGState << /SM << /SMask << /S /Luminosity /G " + std::to_string(mask) + " 0 R >> >> >> >>";
    d.content = "/SM gs 0 0 1 rg 2 0 0 2 10 10 cm 0 0 10 10 re f";
    Render::Bitmap bm = d.Draw().bitmap;
    EXPECT_EQ(Rgb(bm, 20, 80), 0x0000FFu);  // the square: x and y 10 to 30
    EXPECT_EQ(Rgb(bm, 35, 80), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bm, 20, 65), 0xFFFFFFu);
    // Moved into the masked half, it disappears.
    d.content = "/SM gs 0 0 1 rg 2 0 0 2 60 10 cm 0 0 10 10 re f";
    bm = d.Draw().bitmap;
    EXPECT_EQ(Rgb(bm, 70, 80), 0xFFFFFFu);
}

TEST(TransparencyGroup, ImagesAndShadingsKnockOut)
{
    // In an isolated knockout group a half-transparent red square lies under a half-
    // transparent blue image, shading or stencil mask: where the later object paints, it
    // replaces the square instead of mixing with it; where a stencil's samples do not
    // paint, the square stays.
    auto draw = [](const std::string& later) {
        RenderDoc d;
        int form = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency /I true /K true >> "
                                 "/Resources << /ExtGState " + GroupPage::States() + " /Shading << /Sh << /ShadingType 2 "
                                 "/ColorSpace /DeviceRGB /Coords [0 0 100 0] /Function << /FunctionType 2 /Domain [0 1] "
                                 "/C0 [0 0 1] /C1 [0 0 1] /N 1 >> >> >> >>",
                                 "/Half gs 1 0 0 rg 10 10 80 80 re f " + later);
        d.resources = "<< /XObject << /Fm1 " + std::to_string(form) + " 0 R >> >>";
        d.content = "/Fm1 Do";
        return d.Draw().bitmap;
    };
    const std::string blue("\0\0\xFF", 3);
    Render::Bitmap bm = draw("q 40 0 0 80 50 10 cm BI /W 1 /H 1 /CS /RGB /BPC 8 ID " + blue + " EI Q");
    EXPECT_TRUE(Near(bm, 70, 50, 0x7F7FFFu, 2)) << std::hex << Rgb(bm, 70, 50);
    EXPECT_TRUE(Near(bm, 30, 50, 0xFF7F7Fu, 2)) << std::hex << Rgb(bm, 30, 50);
    bm = draw("q 50 10 40 80 re W n /Sh sh Q");
    EXPECT_TRUE(Near(bm, 70, 50, 0x7F7FFFu, 2)) << std::hex << Rgb(bm, 70, 50);
    EXPECT_TRUE(Near(bm, 30, 50, 0xFF7F7Fu, 2)) << std::hex << Rgb(bm, 30, 50);
    // The stencil's left sample paints, its right one does not.
    bm = draw("0 0 1 rg q 80 0 0 80 10 10 cm BI /W 2 /H 1 /IM true ID @ EI Q");
    EXPECT_TRUE(Near(bm, 30, 50, 0x7F7FFFu, 2)) << std::hex << Rgb(bm, 30, 50);
    EXPECT_TRUE(Near(bm, 70, 50, 0xFF7F7Fu, 2)) << std::hex << Rgb(bm, 70, 50);
}

TEST(TransparencyGroup, PaperLiesUnderThePageNotInIt)
{
    // The page is drawn on nothing and put on white after: blue screened over the empty page
    // stays blue (screened over white paper it would turn white).
    GroupPage p("/I false", "");
    Render::Bitmap bm = p.Draw("/Scr gs 0 0 1 rg 10 10 80 80 re f");
    EXPECT_EQ(Rgb(bm, 50, 50), 0x0000FFu);
    EXPECT_EQ(Rgb(bm, 5, 5), 0xFFFFFFu);
    // An empty non-isolated group drawn half transparent through a clip whose edges fall
    // inside pixels changes nothing, its outline included.
    bm = p.Draw("q 10.5 10.5 50.3 50.3 re W n /Half gs /Fm1 Do Q");
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x) ASSERT_EQ(Rgb(bm, x, y), 0xFFFFFFu) << x << "," << y;
    // Over red the same group leaves the red as it was, at the clip's edges too.
    bm = p.Draw("1 0 0 rg 0 0 100 100 re f q 10.5 10.5 50.3 50.3 re W n /Half gs /Fm1 Do Q");
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x) ASSERT_EQ(Rgb(bm, x, y), 0xFF0000u) << x << "," << y;
}

TEST(TransparencyGroup, GroupsInsideAKnockoutGroupTakeOutWhatLiesUnderThem)
{
    // A half-transparent group over red, inside an isolated knockout group: it composites
    // with the group's empty backdrop, not with the red, so the white paper shows through.
    RenderDoc d;
    const std::string half = "<< /ExtGState << /Half << /ca 0.5 /CA 0.5 >> /Clear << /ca 0 /CA 0 >> >>";
    int inner = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency >>",
                              "0 0 1 rg 30 30 40 40 re f");
    int outer = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency /I true /K true >> "
                              "/Resources " + half + " /XObject << /In " + std::to_string(inner) + " 0 R >> >>",
                              "1 0 0 rg 0 0 100 100 re f /Half gs /In Do");
    d.resources = "<< /XObject << /Out " + std::to_string(outer) + " 0 R >> >>";
    d.content = "/Out Do";
    Render::Bitmap bm = d.Draw().bitmap;
    EXPECT_TRUE(Near(bm, 50, 50, 0x7F7FFFu, 2)) << std::hex << Rgb(bm, 50, 50);
    EXPECT_EQ(Rgb(bm, 10, 10), 0xFF0000u);
    // Fully transparent, the group still clears its shape: a window onto the paper.
    d.b.SetStream(outer, "/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency /I true /K true >> "
                         "/Resources " + half + " /XObject << /In " + std::to_string(inner) + " 0 R >> >>",
                  "1 0 0 rg 0 0 100 100 re f /Clear gs /In Do");
    bm = d.Draw().bitmap;
    EXPECT_EQ(Rgb(bm, 50, 50), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bm, 10, 10), 0xFF0000u);
}
