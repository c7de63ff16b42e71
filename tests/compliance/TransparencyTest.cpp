// Transparency: forbidden in PDF/A-1 (soft masks, blend modes, alpha, groups; removed in
// conversion), allowed later when the page has a blending space or the document an
// intent; blend-mode names.
#include <gtest/gtest.h>

#include "pdf/ObjUtil.h"
#include "tests/compliance/ColourTestSupport.h"

using namespace qvx::Test;
using qvx::PDF::PDFACompliance;

namespace {

const std::string kStroke = "/GS0 gs 0 0 m 10 10 l n";

std::string WithGState(int level, const std::string& gs, bool intent = false, const std::string& page_extra = "")
{
    PdfBuilder f = ColourFile(level, "<</ExtGState<</GS0 " + gs + ">>>>", kStroke, page_extra);
    if (intent) AddIntent(f, 3);
    return Findings(f.Build(), level);
}

}  // namespace

TEST(Transparency, ForbiddenInPDFA1)
{
    EXPECT_EQ(WithGState(k1B, "<</CA 0.5>>"), "45(3)");
    EXPECT_EQ(WithGState(k1B, "<</ca 0.5>>"), "46(3)");
    EXPECT_EQ(WithGState(k1B, "<</CA 1/ca 1.0/BM/Normal>>"), "");
    EXPECT_EQ(WithGState(k1B, "<</BM/Multiply>>"), "44(3)");
    EXPECT_EQ(WithGState(k1B, "<</BM/Compatible>>"), "");
    EXPECT_EQ(WithGState(k1B, "<</SMask<</S/Luminosity/G 6 0 R>>>>"), "41(3)");
    EXPECT_EQ(WithGState(k1B, "<</SMask/None>>"), "");
    EXPECT_EQ(WithGState(k1B, "<<>>", false, "/Group<</S/Transparency>>"), "43(3)");
}

TEST(Transparency, ConversionToPDFA1RemovesIt)
{
    // Every ExtGState the page used loses its transparency, the one applied last or not
    // (a blend mode replaced before anything is painted is no finding).
    PdfBuilder f = ColourFile(k1B, "<</ExtGState<</GS0 6 0 R/GS1 7 0 R>>>>", "/GS0 gs /GS1 gs 0 0 m 10 10 l n");
    f.Add("<</CA 0.5/ca 1/BM/Multiply/SMask<</S/Luminosity/G 8 0 R>>/LW 2>>");
    f.Add("<</LW 3/BM/Normal>>");
    PDFACompliance run(true, ToBytes(f.Build()), nullptr, k1B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(run), "41(6) 45(4)");
    qvx::SDF::Obj* gs = run.GetDoc().GetObj(6);
    for (const char* key : {"CA", "BM", "SMask"}) EXPECT_EQ(qvx::PDF::FindIn(gs, key), nullptr) << key;
    for (const char* key : {"ca", "LW"}) EXPECT_NE(qvx::PDF::FindIn(gs, key), nullptr) << key;
    EXPECT_NE(qvx::PDF::FindIn(run.GetDoc().GetObj(7), "BM"), nullptr);

    // So do the states of a Type 3 font and of a form that the page lists but does not draw
    // (as after flattening): nothing is drawn with them, so they are no finding, yet the copy
    // should not hold them.
    PdfBuilder listed = ColourFile(k1B, "<</Font<</T3 9 0 R>>/XObject<</Fm 11 0 R>>>>", "0 0 m 10 10 l n");
    listed.Set(9, "<</Type/Font/Subtype/Type3/FontBBox[0 0 10 10]/FontMatrix[0.1 0 0 0.1 0 0]/CharProcs<<>>"
                  "/Encoding<</Differences[]>>/FirstChar 0/LastChar 0/Widths[0]/Resources<</ExtGState<</A 10 0 R>>>>>>");
    listed.Set(10, "<</ca 0.5>>");
    listed.SetStream(11, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]/Resources<</ExtGState<</B 12 0 R>>>>", "/B gs");
    listed.Set(12, "<</BM/Multiply/SMask<</S/Luminosity/G 11 0 R>>>>");
    PDFACompliance unused(true, ToBytes(listed.Build()), nullptr, k1B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(unused), "");
    EXPECT_EQ(qvx::PDF::FindIn(unused.GetDoc().GetObj(10), "ca"), nullptr);
    for (const char* key : {"BM", "SMask"}) EXPECT_EQ(qvx::PDF::FindIn(unused.GetDoc().GetObj(12), key), nullptr) << key;
}

TEST(Transparency, NeedsABlendingSpaceOrAnIntentLater)
{
    EXPECT_EQ(WithGState(k2B, "<</CA 0.5>>"), "21020(3)");
    EXPECT_EQ(WithGState(k2B, "<</CA 0.5>>", true), "");
    EXPECT_EQ(WithGState(k2B, "<</CA 0.5>>", false, "/Group<</S/Transparency/CS/CalRGB>>"), "");
    // A group without a blending space gives the page none.
    EXPECT_EQ(WithGState(k2B, "<</CA 0.5>>", false, "/Group<</S/Transparency>>"), "21020(3)");
    // A device blending space is a use of that space.
    EXPECT_EQ(WithGState(k2B, "<</ca 0.5>>", false, "/Group<</S/Transparency/CS/DeviceRGB>>"), "2331");
    EXPECT_EQ(WithGState(k2B, "<<>>"), "");
    // Blend modes: any standard one is fine with an intent; others are not blend modes.
    EXPECT_EQ(WithGState(k2B, "<</BM/Multiply>>", true), "");
    EXPECT_EQ(WithGState(k2B, "<</BM/Foo>>", true), "21021");
    // An annotation that blends with the page is transparency on that page.
    const std::string blending = "/Annots[<</Type/Annot/Subtype/Square/Rect[0 0 0 0]/F 4/BM/Multiply>>]";
    EXPECT_EQ(WithGState(k4, "<<>>", false, blending), "21020(3)");
    EXPECT_EQ(WithGState(k4, "<<>>", true, blending), "");
}

TEST(Transparency, SoftMaskedImagesAndTransparentForms)
{
    auto file = [](int level, const std::string& xobject) {
        PdfBuilder f = ColourFile(level, "<</XObject<</X0 6 0 R>>>>", "/X0 Do");
        f.AddStream(xobject, xobject.find("/Form") != std::string::npos ? "0 0 m 1 1 l n" : "\x80\x80\x80");
        f.AddStream("/Type/XObject/Subtype/Image/Width 1/Height 1/ColorSpace/DeviceGray/BitsPerComponent 8", "\xff");
        return f;
    };
    const std::string masked =
        "/Type/XObject/Subtype/Image/Width 1/Height 1/ColorSpace/CalRGB/BitsPerComponent 8/SMask 7 0 R";
    EXPECT_EQ(Findings(file(k1B, masked).Build(), k1B), "42(6)");
    EXPECT_EQ(Findings(file(k2B, masked).Build(), k2B), "21020(3)");
    const std::string form = "/Type/XObject/Subtype/Form/BBox[0 0 1 1]/Group<</S/Transparency/CS/CalRGB>>";
    EXPECT_EQ(Findings(file(k1B, form).Build(), k1B), "43(6)");
    EXPECT_EQ(Findings(file(k2B, form).Build(), k2B), "");

    // Conversion removes what PDF/A-1 forbids.
    PDFACompliance run(true, ToBytes(file(k1B, masked).Build()), nullptr, k1B, nullptr, 0, 0, false);
    EXPECT_EQ(qvx::PDF::FindIn(run.GetDoc().GetObj(6), "SMask"), nullptr);
    PdfBuilder grouped = ColourFile(k1B, "<<>>", "", "/Group<</S/Transparency>>");
    PDFACompliance run2(true, ToBytes(grouped.Build()), nullptr, k1B, nullptr, 0, 0, false);
    EXPECT_EQ(qvx::PDF::FindIn(run2.GetDoc().GetObj(3), "Group"), nullptr);
}
