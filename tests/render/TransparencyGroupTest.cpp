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
