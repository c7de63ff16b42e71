// Images and XObjects: intents, interpolation, alternates and OPI on images (removed in
// conversion), inline images, PostScript and reference XObjects, form OPI.
#include <gtest/gtest.h>

#include "pdf/ObjUtil.h"
#include "tests/compliance/ColourTestSupport.h"

using namespace qvx::Test;
using qvx::PDF::PDFACompliance;
using qvx::SDF::Obj;

namespace {

const std::string kImage = "/Type/XObject/Subtype/Image/Width 1/Height 1/ColorSpace/CalRGB/BitsPerComponent 8";
const std::string kForm = "/Type/XObject/Subtype/Form/BBox[0 0 1 1]";

PdfBuilder WithXObject(int level, const std::string& dict)
{
    PdfBuilder f = ColourFile(level, "<</XObject<</X0 6 0 R>>>>", "/X0 Do");
    // Sample bytes for an image, a path painting nothing for a form.
    f.AddStream(dict, dict.find("/Image") != std::string::npos ? "\x80\x80\x80" : "0 0 m 1 1 l n");
    return f;
}

std::string Check(int level, const std::string& dict) { return Findings(WithXObject(level, dict).Build(), level); }

}  // namespace

TEST(XObjects, ImageKeys)
{
    EXPECT_EQ(Check(k2B, kImage), "");
    EXPECT_EQ(Check(k2B, kImage + "/Interpolate true"), "244(6)");
    EXPECT_EQ(Check(k2B, kImage + "/Interpolate false"), "");
    EXPECT_EQ(Check(k2B, kImage + "/Alternates[]"), "241(6)");
    EXPECT_EQ(Check(k2B, kImage + "/OPI<<>>"), "242(6)");
    EXPECT_EQ(Check(k2B, kImage + "/Intent/Foo"), "243(6)");
    EXPECT_EQ(Check(k2B, kImage + "/Intent/Saturation"), "");
    // The image's colour space goes through the colour rules.
    EXPECT_EQ(Check(k2B, "/Type/XObject/Subtype/Image/Width 1/Height 1/ColorSpace/DeviceRGB/BitsPerComponent 8"),
              "2331(4)");

    PDFACompliance run(true, ToBytes(WithXObject(k2B, kImage + "/Interpolate true/OPI<<>>/Metadata 1 0 R").Build()),
                       nullptr, k2B, nullptr, 0, 0, false);
    qvx::SDF::Obj* image = run.GetDoc().GetObj(6);
    for (const char* key : {"Interpolate", "OPI", "Metadata"}) EXPECT_EQ(qvx::PDF::FindIn(image, key), nullptr) << key;

    // The same image named by the page but never drawn, directly or from a tiling pattern
    // that is chosen as colour but paints nothing (as flattening leaves one): validation reads
    // what content draws, and conversion still takes the entries, which others judge anyway.
    for (bool pattern : {false, true}) {
        SCOPED_TRACE(pattern);
        PdfBuilder f = pattern ? ColourFile(k2B, "<</Pattern<</P1 7 0 R>>>>", "/Pattern cs /P1 scn 0 0 10 10 re n")
                               : ColourFile(k2B, "<</XObject<</X0 6 0 R>>>>", "0 0 10 10 re n");
        f.AddStream(kImage + "/Interpolate true/Alternates[]/Intent/Foo", "\x80\x80\x80");
        f.AddStream("/PatternType 1/PaintType 1/TilingType 1/BBox[0 0 1 1]/XStep 1/YStep 1/Resources<</XObject<</X0 6 0 R>>>>",
                    "/X0 Do");
        EXPECT_EQ(Findings(f.Build(), k2B), "");
        PDFACompliance undrawn(true, ToBytes(f.Build()), nullptr, k2B, nullptr, 0, 0, false);
        qvx::SDF::Obj* kept = undrawn.GetDoc().GetObj(6);
        for (const char* key : {"Interpolate", "Alternates", "Intent"}) EXPECT_EQ(qvx::PDF::FindIn(kept, key), nullptr) << key;
    }
}

TEST(XObjects, InlineImages)
{
    auto run = [](const std::string& dict) {
        PdfBuilder f = ColourFile(k2B, "<<>>", "BI " + dict + " ID \x80\x80\x80 EI");
        return Findings(f.Build(), k2B);
    };
    EXPECT_EQ(run("/W 1 /H 1 /CS /CalRGB /BPC 8"), "");
    EXPECT_EQ(run("/W 1 /H 1 /CS /CalRGB /BPC 8 /I true"), "244(4)");
    EXPECT_EQ(run("/W 1 /H 1 /CS /CalRGB /BPC 8 /Intent /Foo"), "243(4)");
    EXPECT_EQ(run("/W 1 /H 1 /CS /RGB /BPC 8"), "2331(4)");
    EXPECT_EQ(run("/W 1 /H 1 /CS [/I /RGB 1 <000000FFFFFF>] /BPC 8"), "2331(4)");
    EXPECT_EQ(run("/W 1 /H 1 /CS [/I [/Lab <</WhitePoint [0.95 1 1.09]>>] 1 <000000FFFFFF>] /BPC 8"), "");
    // Inline data follows the filter rules of streams, abbreviations included.
    EXPECT_EQ(run("/W 1 /H 1 /CS /CalRGB /BPC 8 /F /AHx"), "");
    EXPECT_EQ(run("/W 1 /H 1 /CS /CalRGB /BPC 8 /F [/A85 /Fl]"), "");
    EXPECT_EQ(run("/W 1 /H 1 /CS /CalRGB /BPC 8 /F /LZW"), "1101(4)");
    EXPECT_EQ(run("/W 1 /H 1 /CS /CalRGB /BPC 8 /Filter /LZWDecode"), "1101(4)");
    EXPECT_EQ(run("/W 1 /H 1 /CS /CalRGB /BPC 8 /F /Lzw"), "1103(4)");
}

TEST(XObjects, FormsAndUnusableXObjects)
{
    EXPECT_EQ(Check(k2B, kForm), "");
    EXPECT_EQ(Check(k2B, kForm + "/OPI<<>>"), "251(6)");
    EXPECT_EQ(Check(k2B, kForm + "/Ref<</F(x.pdf)/Page 0>>"), "261(6)");
    EXPECT_EQ(Check(k2B, kForm + "/Subtype2/PS"), "252(6)");
    EXPECT_EQ(Check(k4, kForm + "/Ref<</F(x.pdf)/Page 0>>/Subtype2/PS"), "");
    // A form carrying PostScript beside its content draws without it in the copy.
    for (int level : {k2B, k4}) {
        PdfBuilder ps = WithXObject(level, kForm + "/PS 7 0 R");
        ps.AddStream("", "0 0 moveto");
        EXPECT_EQ(Findings(ps.Build(), level), level == k4 ? "" : "252(6)");
        EXPECT_EQ(FindingsAfterConversion(ps.Build(), level), "");
    }
    EXPECT_EQ(Check(k2B, "/Type/XObject/Subtype/PS"), "252(6) 271");
    EXPECT_EQ(Check(k4, "/Type/XObject/Subtype/PS"), "");
    // A PostScript XObject leaves the copy: its Do, and its entry in the resources.
    {
        PDFACompliance run(true, ToBytes(WithXObject(k1B, "/Type/XObject/Subtype/PS").Build()), nullptr, k1B, nullptr,
                           0, 0, false);
        Obj* xobjects = qvx::PDF::FindDict(qvx::PDF::FindDict(run.GetDoc().GetObj(3), "Resources"), "XObject");
        EXPECT_TRUE(xobjects && !xobjects->FindObj("X0"));
    }
    // A form's content is walked with its own resources.
    PdfBuilder f = WithXObject(k2B, kForm + "/Resources<<>>");
    f.SetStream(6, kForm + "/Resources<<>>", "0 0 1 rg 0 0 1 1 re f");
    EXPECT_EQ(Findings(f.Build(), k2B), "2331(6)");

    PDFACompliance run(true, ToBytes(WithXObject(k2B, kForm + "/Ref<<>>/OPI<<>>").Build()), nullptr, k2B, nullptr,
                       0, 0, false);
    EXPECT_EQ(qvx::PDF::FindIn(run.GetDoc().GetObj(6), "Ref"), nullptr);
    EXPECT_EQ(qvx::PDF::FindIn(run.GetDoc().GetObj(6), "OPI"), nullptr);

    // An annotation's appearance is a form the annotation draws, as an appearance stream or as
    // a check box's state; its dictionary is judged like a painted form's, and conversion
    // takes out what it may not carry.
    struct Case {
        int level;
        std::string keys, found;
    };
    for (const Case& c : {Case{k1B, "/Group 8 0 R", "43(8)"}, Case{k2B, "/OPI<<>>", "251(6)"},
                          Case{k2B, "/Ref<</F(x.pdf)/Page 0>>", "261(6)"}, Case{k2B, "/Subtype2/PS", "252(6)"},
                          Case{k2B, "/Group 8 0 R", ""}}) {
        for (bool states : {false, true}) {
            SCOPED_TRACE(c.keys + (states ? " as a state" : ""));
            PdfBuilder f = ColourFile(c.level, "<<>>", "", "/Annots[7 0 R]");
            f.AddStream(kForm + c.keys, "0 0 m 1 1 l n");
            f.Add(states ? "<</Type/Annot/Subtype/Widget/FT/Btn/T(c)/Rect[0 0 10 10]/F 4/AS/Yes/AP<</N<</Yes 6 0 R>>>>>>"
                         : "<</Type/Annot/Subtype/Square/Rect[0 0 10 10]/F 4/AP<</N 6 0 R>>>>");
            f.Add("<</S/Transparency>>");
            const std::string pdf = f.Build();
            EXPECT_EQ(Findings(pdf, c.level), c.found);
            EXPECT_EQ(FindingsAfterConversion(pdf, c.level), "");
        }
    }
}

namespace {

// A raw JPEG 2000 codestream header (SOC, SIZ, EOC) of a 1 x 1 image with components of
// these bit depths.
std::string Codestream(std::vector<int> depths)
{
    std::string b;
    auto put = [&](std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(0xFF4F, 2);
    put(0xFF51, 2);
    put(38 + 3 * depths.size(), 2);
    put(0, 2);
    for (std::uint32_t v : {1u, 1u, 0u, 0u, 64u, 64u, 0u, 0u}) put(v, 4);
    put(depths.size(), 2);
    for (int d : depths) {
        put(d - 1, 1);
        put(1, 1);
        put(1, 1);
    }
    put(0xFFD9, 2);
    return b;
}

}  // namespace

TEST(XObjects, JPEG2000Channels)
{
    auto run = [](int level, std::vector<int> depths, const std::string& extra = "") {
        PdfBuilder f = ColourFile(level, "<</XObject<</X0 6 0 R>>>>", "/X0 Do");
        f.AddStream("/Type/XObject/Subtype/Image/Width 1/Height 1/Filter/JPXDecode" + extra, Codestream(depths));
        AddIntent(f, 3);
        return Findings(f.Build(), level);
    };
    EXPECT_EQ(run(k2B, {8, 8, 8}), "");
    EXPECT_EQ(run(k2B, {8}), "");
    EXPECT_EQ(run(k2B, {8, 8}), "2832(6)");
    // Both counts are judged: a dictionary colour space does not make two channels of data good.
    EXPECT_EQ(run(k2B, {8, 8}, "/ColorSpace/DeviceRGB"), "2832(6)");
    EXPECT_EQ(run(k2B, {8, 8, 8}, "/ColorSpace/DeviceRGB"), "");
    EXPECT_EQ(run(k2B, {8, 8, 8}, "/ColorSpace[/DeviceN[/A/B]/DeviceRGB 7 0 R]"), "2832(6) 24211(6)");
    EXPECT_EQ(run(k2B, {40, 40, 40}), "2834(6)");
    EXPECT_EQ(run(k2B, {8, 8, 8, 8, 8}), "2832(6)");
    EXPECT_EQ(run(k1B, {8, 8, 8}), "13(6)");
}
