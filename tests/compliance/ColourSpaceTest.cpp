// Separation and DeviceN rules (one tint transform and alternate per colorant name,
// colorants described, component limits), alternate spaces, ICCBased profiles, tiling
// patterns, and the PDF/A-4 blending space that stands in for an output intent.
#include <gtest/gtest.h>

#include "tests/compliance/ColourTestSupport.h"

using namespace qvx::Test;

namespace {

const std::string kTint = "<</FunctionType 2/Domain[0 1]/C0[0 0 0]/C1[1 1 1]/N 1>>";
const std::string kLab = "[/Lab<</WhitePoint[0.95 1 1.09]>>]";
const std::string kCalRGB = "[/CalRGB<</WhitePoint[0.95 1 1.09]>>]";

std::string Sep(const std::string& name, const std::string& alt, const std::string& tint = kTint)
{
    return "[/Separation/" + name + " " + alt + " " + tint + "]";
}

std::string TwoSpaces(int level, const std::string& a, const std::string& b)
{
    PdfBuilder f = ColourFile(level, "<</ColorSpace<</CS0 " + a + "/CS1 " + b + ">>>>",
                              "/CS0 cs 1 sc 0 0 10 10 re f /CS1 cs 1 sc 0 0 5 5 re f");
    return Findings(f.Build(), level);
}

}  // namespace

TEST(ColourSpaces, SeparationsOfOneNameAgree)
{
    EXPECT_EQ(TwoSpaces(k2B, Sep("Spot", kLab), Sep("Spot", kLab)), "");
    EXPECT_EQ(TwoSpaces(k2B, Sep("Spot", kLab), Sep("Spot", kCalRGB)), "24213(3)");
    EXPECT_EQ(TwoSpaces(k2B, Sep("Spot", kLab), Sep("Spot", kLab, "<</FunctionType 2/Domain[0 1]/C0[0 0 0]/C1[1 0 0]/N 1>>")),
              "24212(3)");
    EXPECT_EQ(TwoSpaces(k2B, Sep("Spot", kLab), Sep("Other", kCalRGB)), "");
    // PDF/A-1 has no such rule.
    EXPECT_EQ(TwoSpaces(k1B, Sep("Spot", kLab), Sep("Spot", kCalRGB)), "");

    // Separate but identical tint transform streams are the same transform.
    PdfBuilder f = ColourFile(k2B, "<</ColorSpace<</CS0 " + Sep("Spot", kLab, "6 0 R") + "/CS1 " +
                                       Sep("Spot", kLab, "7 0 R") + ">>>>",
                              "/CS0 cs 1 sc 0 0 10 10 re f /CS1 cs 1 sc 0 0 5 5 re f");
    f.AddStream("/FunctionType 4/Domain[0 1]/Range[0 1 0 1 0 1]", "{dup dup}");
    f.AddStream("/FunctionType 4/Domain[0 1]/Range[0 1 0 1 0 1]", "{dup dup}");
    EXPECT_EQ(Findings(f.Build(), k2B), "");
    f.SetStream(7, "/FunctionType 4/Domain[0 1]/Range[0 1 0 1 0 1]", "{pop 0 0 0}");
    EXPECT_EQ(Findings(f.Build(), k2B), "24212(3)");
}

TEST(ColourSpaces, AlternateSpacesAndDeviceN)
{
    auto one = [](int level, const std::string& space) {
        PdfBuilder f = ColourFile(level, "<</ColorSpace<</CS0 " + space + ">>>>", "/CS0 cs 1 sc 0 0 10 10 re f");
        return Findings(f.Build(), level);
    };
    // A device alternate without an intent to match.
    EXPECT_EQ(one(k1B, Sep("Spot", "/DeviceRGB")), "2341(3)");
    EXPECT_EQ(one(k2B, Sep("Spot", "/DeviceCMYK")), "2341(3)");
    EXPECT_EQ(one(k2B, "[/Indexed " + Sep("Spot", "/DeviceRGB") + " 1 <0000>]"), "2341(3)");
    // Every DeviceN colorant outside the process colorants is described by a Separation.
    std::string tint2 = "<</FunctionType 2/Domain[0 1 0 1]/C0[0 0 0]/C1[1 1 1]/N 1>>";
    std::string described = "<</Colorants<</A " + Sep("A", kLab) + "/B " + Sep("B", kLab) + ">>>>";
    std::string partly = "<</Colorants<</A " + Sep("A", kLab) + ">>>>";
    std::string wrong = "<</Colorants<</A " + Sep("A", kLab) + "/B " + kLab + ">>>>";
    std::string process = "<</Colorants<</A " + Sep("A", kLab) + ">>/Process<</ColorSpace " + kLab +
                          "/Components[/B]>>>>";
    auto devn = [&](const std::string& attrs) { return "[/DeviceN[/A/B]" + kLab + " " + tint2 + " " + attrs + "]"; };
    EXPECT_EQ(one(k2B, devn(described)), "");
    EXPECT_EQ(one(k2B, devn(partly)), "24211(3)");
    EXPECT_EQ(one(k2B, devn(wrong)), "24211(3)");
    EXPECT_EQ(one(k2B, devn(process)), "");
    EXPECT_EQ(one(k1B, devn(partly)), "");
    // At most 8 colorants in PDF/A-1.
    std::string nine = "[/DeviceN[/A/B/C/D/E/F/G/H/I]" + kLab + " " + tint2 + "]";
    EXPECT_EQ(one(k1B, nine), "11213");
    std::string many = "[/DeviceN[";
    for (int i = 0; i < 33; ++i) many += "/C" + std::to_string(i);
    many += "]" + kLab + " " + tint2 + "]";
    // More than 32 cannot be read, so the resources are looked at, and an image's own space
    // where the image is drawn.
    for (int level : {k1B, k2B}) {
        PdfBuilder f = ColourFile(level, "<</ColorSpace<</CS0 " + many + ">>>>", "/CS0 cs 0 0 10 10 re n");
        EXPECT_EQ(Findings(f.Build(), level), level == k1B ? "11213" : "11214");
        PdfBuilder image = ColourFile(level, "<</XObject<</Im 6 0 R>>>>", "q 10 0 0 10 0 0 cm /Im Do Q");
        image.SetStream(6, "/Type/XObject/Subtype/Image/Width 1/Height 1/BitsPerComponent 8/ColorSpace " + many,
                        std::string(33, '\0'));
        EXPECT_EQ(Findings(image.Build(), level), level == k1B ? "11213" : "11214");
    }
    // An ICCBased space whose profile is no stream (whether used or not).
    PdfBuilder f = ColourFile(k2B, "<</ColorSpace<</CS0[/ICCBased<</N 3>>]>>>>", "0 0 10 10 re n");
    EXPECT_EQ(Findings(f.Build(), k2B), "232(3)");
    // Spaces of one element (a pattern space without base, an ICCBased space without its
    // profile) are read as they stand, not taken for a damaged page.
    f = ColourFile(k2B, "<</ColorSpace<</CS0[/Pattern]/CS1[/ICCBased]>>>>", "0 0 10 10 re n");
    EXPECT_EQ(Findings(f.Build(), k2B), "232(3)");
}

TEST(ColourSpaces, PartOneTakesVersionTwoProfilesOnly)
{
    // A profile of version 4 in an RGB space: PDF/A-1 readers know version 2 only, later
    // parts take it. Conversion writes it again at version 2.
    auto file = [](int level, const std::string& profile) {
        PdfBuilder f = ColourFile(level, "<</ColorSpace<</CS0[/ICCBased 6 0 R]>>>>", "/CS0 cs 1 0 0 sc 0 0 10 10 re f");
        AddProfile(f, 3, profile);
        SetIntents(f, {Intent(AddProfile(f, 3, Profile()))});
        return f.Build();
    };
    EXPECT_EQ(Findings(file(k1B, Profile("RGB ", "mntr", 4)), k1B), "232(6)");
    EXPECT_EQ(FindingsAfterConversion(file(k1B, Profile("RGB ", "mntr", 4)), k1B), "");
    EXPECT_EQ(Findings(file(k2B, Profile("RGB ", "mntr", 4)), k2B), "");
    EXPECT_EQ(Findings(file(k1B, Profile()), k1B), "");
}

TEST(ColourSpaces, TilingPatternsAreWalkedWhereFirstPainted)
{
    PdfBuilder f = ColourFile(k2B, "<</Pattern<</P0 6 0 R/P1 7 0 R>>>>",
                              "/Pattern cs /P0 scn /Pattern CS /P1 SCN 0 0 10 10 re B 0 0 20 20 re f");
    f.AddStream("/Type/Pattern/PatternType 1/PaintType 1/TilingType 1/BBox[0 0 5 5]/XStep 5/YStep 5/Resources<<>>",
                "0 0 1 rg 0 0 2 2 re f");
    f.AddStream("/Type/Pattern/PatternType 1/PaintType 1/TilingType 1/BBox[0 0 5 5]/XStep 5/YStep 5/Resources<<>>",
                "0 0 0 1 k 0 0 2 2 re f");
    EXPECT_EQ(Findings(f.Build(), k2B), "2331(6 7)");
}

TEST(ColourSpaces, AnnotationAppearancesAreWalked)
{
    // The normal appearance of each annotation, a stream or each stream of a state
    // dictionary, is read like page content; other appearances are not.
    auto with_appearances = [](const std::string& ap, const std::string& data) {
        PdfBuilder f = ColourFile(k2B, "<<>>", "", "/Annots[6 0 R]");
        const bool states = ap.find("/On") != std::string::npos;
        f.Set(6, std::string("<</Type/Annot/Subtype/") + (states ? "Widget/FT/Btn/T(b)/AS/Off" : "Square") +
                     "/Rect[0 0 10 10]/F 4/AP" + ap + ">>");
        f.SetStream(7, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]", data);
        f.SetStream(8, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]", "0 0 0 1 k 0 0 5 5 re f");
        return f.Build();
    };
    EXPECT_EQ(Findings(with_appearances("<</N 7 0 R>>", "0 0 5 5 re n"), k2B), "");
    EXPECT_EQ(Findings(with_appearances("<</N 7 0 R>>", "1 0 0 rg 0 0 5 5 re f"), k2B), "2331(7)");
    EXPECT_EQ(Findings(with_appearances("<</N<</On 8 0 R/Off 7 0 R>>>>", "0 0 5 5 re n"), k2B), "2331(8)");
}

TEST(ColourSpaces, Type3GlyphsAndTextColours)
{
    const std::string font = "<</Font<</F1<</Type/Font/Subtype/Type3/FontBBox[0 0 1 1]/FontMatrix[0.001 0 0 0.001 0 0]"
                             "/CharProcs<</a 6 0 R>>/Encoding<</Differences[97/a]>>/FirstChar 97/LastChar 97"
                             "/Widths[1000]>>>>>>";
    // The glyph procedure is walked once per page; invisible text draws no glyphs.
    PdfBuilder f = ColourFile(k2B, font, "BT /F1 12 Tf (aaa) Tj (a) Tj ET");
    f.AddStream("", "1000 0 d0 0 0 1 rg 0 0 1 1 re f");
    AddIntent(f, 1);
    EXPECT_EQ(Findings(f.Build(), k2B), "2332(6)");
    f.SetStream(4, "", "BT /F1 12 Tf 3 Tr (a) Tj ET");
    EXPECT_EQ(Findings(f.Build(), k2B), "");
    // Text is checked with any colour the content set for it, whatever its mode paints.
    f.SetStream(6, "", "1000 0 d0 0 0 1 1 re n");
    f.SetStream(4, "", "BT /F1 12 Tf 0 0 1 RG (a) Tj ET");
    EXPECT_EQ(Findings(f.Build(), k2B), "2332(4)");
    f.SetStream(4, "", "BT /F1 12 Tf (a) Tj ET");
    EXPECT_EQ(Findings(f.Build(), k2B), "");
}

TEST(ColourSpaces, PDFA4BlendingSpaceServesAsIntent)
{
    PdfBuilder f = ColourFile(k4, "<<>>", "1 0 0 rg 0 0 10 10 re f");
    EXPECT_EQ(Findings(f.Build(), k4), "2331(4)");
    int p = AddProfile(f, 3, Profile());
    f.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Group<</S/Transparency/CS[/ICCBased " +
                 Ref(p) + "]>>/Contents 4 0 R>>");
    EXPECT_EQ(Findings(f.Build(), k4), "");
    // Not for DeviceGray, and not through a device blending space.
    f.SetStream(4, "", "0.5 g 0 0 10 10 re f");
    EXPECT_EQ(Findings(f.Build(), k4), "2331(4)");
    f.SetStream(4, "", "1 0 0 rg 0 0 10 10 re f");
    f.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Group<</S/Transparency/CS/DeviceRGB>>"
             "/Contents 4 0 R>>");
    EXPECT_EQ(Findings(f.Build(), k4), "2331(4)");
    // A CMYK space identical to the intent's profile: the same object, or the same bytes.
    PdfBuilder g = ColourFile(k4, "<</ColorSpace<</CS0[/ICCBased 6 0 R]>>>>", "/CS0 cs 0 0 0 1 sc 0 0 10 10 re f");
    EXPECT_EQ(AddProfile(g, 4, Profile("CMYK")), 6);
    SetIntents(g, {Intent(6)});
    EXPECT_EQ(Findings(g.Build(), k4), "462423(4)");
    int cmyk = AddProfile(g, 4, Profile("CMYK"));
    SetIntents(g, {Intent(cmyk)});
    EXPECT_EQ(Findings(g.Build(), k4), "462423(4)");
    // A copy that differs only by a profile ID left zero is the same profile; two different
    // IDs make two profiles.
    auto with_id = [](char id) {
        std::string p = Profile("CMYK");
        p.replace(84, 16, std::string(16, id));
        return p;
    };
    g.SetStream(6, "/N 4", with_id('\0'));
    g.SetStream(cmyk, "/N 4", with_id('\1'));
    EXPECT_EQ(Findings(g.Build(), k4), "462423(4)");
    g.SetStream(6, "/N 4", with_id('\2'));
    EXPECT_EQ(Findings(g.Build(), k4), "");
    // Conversion says such a space DeviceCMYK, in the resources, in an image's dictionary
    // and as an object of its own.
    PdfBuilder k = ColourFile(k4, "<</ColorSpace<</CS0[/ICCBased 6 0 R]/CS1 20 0 R>>/XObject<</Im0 21 0 R>>>>",
                              "/CS0 cs 0 0 0 1 sc 0 0 10 10 re f /CS1 CS 1 0 0 0 SC 0 0 20 20 re S "
                              "q 10 0 0 10 50 50 cm /Im0 Do Q");
    EXPECT_EQ(AddProfile(k, 4, Profile("CMYK")), 6);
    SetIntents(k, {Intent(6)});
    k.Set(20, "[/ICCBased 6 0 R]");
    k.SetStream(21, "/Type/XObject/Subtype/Image/Width 1/Height 1/BitsPerComponent 8/ColorSpace[/ICCBased 6 0 R]",
                std::string("\x00\xff\x00\x00", 4));
    EXPECT_EQ(Findings(k.Build(), k4), "462423(4)");
    EXPECT_EQ(FindingsAfterConversion(k.Build(), k4), "");
    PdfBuilder h = ColourFile(k2B, "<</ColorSpace<</CS0[/ICCBased 6 0 R]>>>>", "/CS0 cs 0 0 0 1 sc 0 0 10 10 re f");
    SetIntents(h, {Intent(AddProfile(h, 4, Profile("CMYK")))});
    EXPECT_EQ(Findings(h.Build(), k2B), "");
}
