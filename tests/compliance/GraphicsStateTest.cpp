// Graphics state: transfer functions, rendering intents, halftones in the ExtGState
// resources, overprint mode with CMYK ICC colour, the q nesting limit, illegal operators and
// undefined resources.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <iterator>

#include "filters/FilterReader.h"
#include "pdf/ObjUtil.h"
#include "tests/compliance/ColourTestSupport.h"

using namespace qvx::Test;
using qvx::PDF::PDFACompliance;

namespace {

std::string Check(int level, const std::string& resources, const std::string& content)
{
    PdfBuilder f = ColourFile(level, resources, content);
    return Findings(f.Build(), level);
}

std::string WithGState(int level, const std::string& gs)
{
    return Check(level, "<</ExtGState<</GS0 " + gs + ">>>>", "/GS0 gs 0 0 m 10 10 l n");
}

}  // namespace

TEST(GraphicsState, TransferFunctionsAndRenderingIntents)
{
    const std::string fn = "<</FunctionType 2/Domain[0 1]/C0[0]/C1[1]/N 1>>";
    EXPECT_EQ(WithGState(k2B, "<</TR " + fn + ">>"), "281(4)");
    EXPECT_EQ(WithGState(k1B, "<</TR2 " + fn + ">>"), "281(4)");
    EXPECT_EQ(WithGState(k2B, "<</TR/Identity>>"), "281(4)");
    EXPECT_EQ(WithGState(k2B, "<</TR2/Default>>"), "");
    EXPECT_EQ(WithGState(k2B, "<</RI/Perceptual>>"), "");
    EXPECT_EQ(WithGState(k2B, "<</RI/Foo>>"), "291(4)");
    EXPECT_EQ(Check(k2B, "<<>>", "/Foo ri 0 0 m 1 1 l n"), "291(4)");
    EXPECT_EQ(Check(k4, "<<>>", "/Foo ri 0 0 m 1 1 l n"), "");
    // Conversion names the intent readers draw with in place of an unknown one, in the state
    // and in the stream; a known one stays.
    PdfBuilder f = ColourFile(k2B, "<</ExtGState<</GS0<</RI/Foo>>>>>>",
                              "/GS0 gs 0 0 m 10 10 l n /Bar ri 0 0 m 5 5 l n /Perceptual ri 0 0 m 1 1 l n");
    EXPECT_EQ(Findings(f.Build(), k2B), "291(4)");
    EXPECT_EQ(FindingsAfterConversion(f.Build(), k2B), "");
    PDFACompliance run(true, ToBytes(f.Build()), nullptr, k2B, nullptr, 0, 0, false);
    qvx::SDF::Obj* page = run.GetDoc().GetObj(3);
    qvx::SDF::Obj* gs = qvx::PDF::FindDict(qvx::PDF::FindDict(qvx::PDF::FindDict(page, "Resources"), "ExtGState"), "GS0");
    EXPECT_EQ(qvx::PDF::FindName(gs, "RI"), "RelativeColorimetric");
    qvx::SDF::Obj* content = run.GetDoc().GetObj(4);
    qvx::Common::Bytes data = qvx::Filters::FilterReader(*content->GetDecodedStream()).ReadAll();
    std::string text(data.begin(), data.end());
    EXPECT_NE(text.find("/RelativeColorimetric ri 0 0 m 5 5 l n /Perceptual ri"), std::string::npos) << text;
}

TEST(GraphicsState, HalftonesInExtGStateResources)
{
    // Checked whether used or not, from PDF/A-2 on.
    auto unused = [](int level, const std::string& gs) { return Check(level, "<</ExtGState<</GS0 " + gs + ">>>>", ""); };
    EXPECT_EQ(unused(k2B, "<</HTP[1 2]>>"), "2510(3)");
    EXPECT_EQ(unused(k2B, "<</HT<</HalftoneType 1/Frequency 60/Angle 0/SpotFunction/Round>>>>"), "");
    EXPECT_EQ(unused(k2B, "<</HT<</HalftoneType 6/Width 1/Height 1>>>>"), "2511(3)");
    EXPECT_EQ(unused(k2B, "<</HT<</Frequency 60>>>>"), "2511(3)");
    EXPECT_EQ(unused(k2B, "<</HT<</HalftoneType 5/HalftoneName(x)>>>>"), "2512(3)");
    EXPECT_EQ(unused(k2B, "<</HT/Default>>"), "");
    EXPECT_EQ(unused(k4, "<</HTO[1 2]>>"), "46253(3)");
    EXPECT_EQ(unused(k1B, "<</HTP[1 2]/HT<</HalftoneType 6>>>>"), "");
    // So in the resources of a form that draws nothing.
    PdfBuilder empty = ColourFile(k2B, "<</XObject<</X0 6 0 R>>>>", "/X0 Do");
    empty.AddStream("/Type/XObject/Subtype/Form/BBox[0 0 1 1]/Resources<</ExtGState<</GS0<</HTP[1 2]>>>>>>", "");
    EXPECT_EQ(Findings(empty.Build(), k2B), "2510(6)");
    PdfBuilder appearance = ColourFile(k2B, "<<>>", "", "/Annots[7 0 R]");
    appearance.AddStream("/Type/XObject/Subtype/Form/BBox[0 0 1 1]/Resources<</ExtGState<</GS0<</HTP[1 2]>>>>>>", "");
    appearance.Add("<</Type/Annot/Subtype/Square/Rect[0 0 1 1]/F 4/AP<</N 6 0 R>>>>");
    EXPECT_EQ(Findings(appearance.Build(), k2B), "2510(6)");
    // A transfer function belongs only to a non-primary colorant of a type 5 halftone.
    const std::string screen = "<</HalftoneType 1/Frequency 60/Angle 0/SpotFunction/Round";
    EXPECT_EQ(unused(k2B, "<</HT" + screen + "/TransferFunction/Identity>>>>"), "281(3)");
    EXPECT_EQ(unused(k4, "<</HT<</HalftoneType 5/Default " + screen + ">>/Cyan " + screen +
                             "/TransferFunction/Identity>>>>>>"),
              "281(3)");
    EXPECT_EQ(unused(k2B, "<</HT<</HalftoneType 5/Default " + screen + ">>/Spot1 " + screen +
                              "/TransferFunction/Identity>>>>>>"),
              "");

    PdfBuilder f = ColourFile(k2B, "<</ExtGState<</GS0 6 0 R>>>>", "");
    f.Add("<</HTP[1]/HT<</HalftoneType 1/HalftoneName(x)>>>>");
    PDFACompliance run(true, ToBytes(f.Build()), nullptr, k2B, nullptr, 0, 0, false);
    qvx::SDF::Obj* gs = run.GetDoc().GetObj(6);
    EXPECT_EQ(qvx::PDF::FindIn(gs, "HTP"), nullptr);
    EXPECT_EQ(qvx::PDF::FindIn(qvx::PDF::FindIn(gs, "HT"), "HalftoneName"), nullptr);

    // Conversion: halftones and their transfer functions only shape printed output, so a
    // halftone of an unknown type and a misplaced transfer function go; a halftone that is
    // fine stays.
    auto converted = [](int level, const std::string& gs) {
        return FindingsAfterConversion(ColourFile(level, "<</ExtGState<</GS0 " + gs + ">>>>", "/GS0 gs").Build(), level);
    };
    EXPECT_EQ(converted(k2B, "<</HT<</HalftoneType 6/Width 1/Height 1>>>>"), "");
    EXPECT_EQ(converted(k4, "<</HTO[1 2]>>"), "");
    EXPECT_EQ(converted(k2B, "<</HT" + screen + "/TransferFunction/Identity>>>>"), "");
    EXPECT_EQ(converted(k4, "<</HT<</HalftoneType 5/Default " + screen + ">>/Cyan " + screen +
                                "/TransferFunction/Identity>>>>>>"),
              "");
    PdfBuilder kept = ColourFile(k2B, "<</ExtGState<</GS0 6 0 R>>>>", "/GS0 gs");
    kept.Add("<</HT<</HalftoneType 5/Default " + screen + ">>/Cyan " + screen + "/TransferFunction/Identity>>>>>>");
    PDFACompliance repair(true, ToBytes(kept.Build()), nullptr, k2B, nullptr, 0, 0, false);
    qvx::SDF::Obj* ht = qvx::PDF::FindIn(repair.GetDoc().GetObj(6), "HT");
    ASSERT_NE(ht, nullptr);
    EXPECT_NE(qvx::PDF::FindIn(ht, "Cyan"), nullptr);
    EXPECT_EQ(qvx::PDF::FindIn(qvx::PDF::FindIn(ht, "Cyan"), "TransferFunction"), nullptr);
}

TEST(GraphicsState, BlendModesThatAreNotStandard)
{
    auto run = [](const std::string& bm, bool convert) {
        PdfBuilder f = ColourFile(k2B, "<</ExtGState<</GS0 6 0 R>>>>", "/GS0 gs 0 0 10 10 re f");
        f.Add("<</BM " + bm + ">>");
        AddIntent(f, 3);
        if (!convert) return Findings(f.Build(), k2B);
        PDFACompliance repair(true, ToBytes(f.Build()), nullptr, k2B, nullptr, 0, 0, false);
        qvx::SDF::Obj* mode = qvx::PDF::FindIn(repair.GetDoc().GetObj(6), "BM");
        return mode && mode->IsName() ? std::string(mode->GetName()) : std::string("?");
    };
    EXPECT_EQ(run("/Foo", false), "21021");
    EXPECT_EQ(run("/Multiply", false), "");
    // Conversion gives the mode viewers draw with in its place.
    EXPECT_EQ(run("/Foo", true), "Normal");
    EXPECT_EQ(run("[/Foo/Screen/Darken]", true), "Screen");
    EXPECT_EQ(run("/Multiply", true), "Multiply");
}

TEST(GraphicsState, OverprintModeWithCMYKICCColour)
{
    auto run = [](int level, const std::string& gs, const std::string& paint) {
        PdfBuilder f = ColourFile(level, "<</ColorSpace<</CS0[/ICCBased 6 0 R]>>/ExtGState<</GS0 " + gs + ">>>>",
                                  "/GS0 gs /CS0 cs /CS0 CS 0 0 0 1 sc 0 0 0 1 SC 0 0 10 10 re " + paint +
                                      " 0 0 10 10 re " + paint);
        AddProfile(f, 4, Profile("CMYK"));
        SetIntents(f, {Intent(AddProfile(f, 4, Profile("CMYK")))});
        return Findings(f.Build(), level);
    };
    EXPECT_EQ(run(k2B, "<</OPM 1/op true>>", "f"), "24210(4)");
    EXPECT_EQ(run(k2B, "<</OPM 1/OP true>>", "S"), "24210(4)");
    // The overprint of the other operation, or mode 0, is fine.
    EXPECT_EQ(run(k2B, "<</OPM 1/OP true/op false>>", "f"), "");
    EXPECT_EQ(run(k2B, "<</OPM 0/OP true/op true>>", "B"), "");
    EXPECT_EQ(run(k1B, "<</OPM 1/OP true/op true>>", "B"), "");

    // Conversion sets mode 0: screens draw the same, and the copy passes.
    PdfBuilder f = ColourFile(k2B, "<</ColorSpace<</CS0[/ICCBased 6 0 R]>>/ExtGState<</GS0 8 0 R>>>>",
                              "/GS0 gs /CS0 cs 0 0 0 1 sc 0 0 10 10 re f");
    AddProfile(f, 4, Profile("CMYK"));
    SetIntents(f, {Intent(AddProfile(f, 4, Profile("CMYK")))});
    f.Set(8, "<</OPM 1/op true>>");
    EXPECT_EQ(FindingsAfterConversion(f.Build(), k2B), "");
}

TEST(GraphicsState, NestingOperatorsAndResources)
{
    std::string deep = std::string(29 * 2, ' ');
    for (int i = 0; i < 29; ++i) deep.replace(i * 2, 2, "q ");
    std::string content = deep + "0 0 m 1 1 l n";
    for (int i = 0; i < 29; ++i) content += " Q";
    EXPECT_EQ(Check(k2B, "<<>>", content), "1126(4)");
    EXPECT_EQ(Check(k4, "<<>>", content), "");
    EXPECT_EQ(Check(k2B, "<<>>", "q q 0 0 m 1 1 l n Q Q"), "");
    // Operators that are no content operators, and names no resource defines.
    EXPECT_EQ(Check(k1B, "<<>>", "0 0 m foo 1 1 l n"), "2101(4)");
    EXPECT_EQ(Check(k2B, "<<>>", "/X9 Do"), "271");
    EXPECT_EQ(Check(k4, "<<>>", "/X9 Do /GS9 gs"), "46223(4)");
    // An inline image's colour space named by a resource.
    const std::string inline_image = "BI /W 1 /H 1 /CS /C0 /BPC 8 ID abc EI";
    EXPECT_EQ(Check(k4, "<<>>", inline_image), "46223(4)");
    EXPECT_EQ(Check(k4, "<</ColorSpace<</C0[/CalRGB<</WhitePoint[0.95 1 1.09]>>]>>>>", inline_image), "");
    EXPECT_EQ(Check(k4, "<<>>", "BI /W 1 /H 1 /CS /G /BPC 8 ID a EI"), "2331(4)");
    // Damaged syntax in content marks the page's content corrupt; the walk goes on after it.
    EXPECT_EQ(Check(k2B, "<<>>", "BT <484!> Tj ET 0 0 m foo"), "12(3) 2101(4)");
    EXPECT_EQ(Check(k4, "<<>>", "0 0 m 1 1 l ] n"), "12(3)");
    // So do operators with fewer operands than they take, or of the wrong kind, and number
    // operators with more; operators of names and strings may have more.
    for (const char* content : {"0 0 m 1 l n", "0 0 m (1) 1 l n", "0 0 m 1 1 l 5 n", "/X 1 0 0 1 0 0 cm", "7 q Q"})
        EXPECT_EQ(Check(k1B, "<<>>", content), "12(3)") << content;
    EXPECT_EQ(Check(k2B, "<<>>", "1 0 0 1 0 0 cm 0 0 m 1 1 l n BT 1 /Foo BMC EMC ET"), "");
    // A form drawing with its caller's resources.
    PdfBuilder f = ColourFile(k4, "<</XObject<</X0 6 0 R>>/ExtGState<</G0<<>>>>>>", "/X0 Do");
    f.AddStream("/Type/XObject/Subtype/Form/BBox[0 0 1 1]", "/G0 gs");
    EXPECT_EQ(Findings(f.Build(), k4), "46223(6)");
    f.SetStream(6, "/Type/XObject/Subtype/Form/BBox[0 0 1 1]/Resources<</ExtGState<</G0<<>>>>>>", "/G0 gs");
    EXPECT_EQ(Findings(f.Build(), k4), "");
}

TEST(GraphicsState, ConversionGivesStreamsTheResourcesTheyInherit)
{
    // A form without resources, a form whose resources lack a name, and a Type 3 glyph: each
    // gets the entries it drew with from its caller, and draws the same objects.
    PdfBuilder f = ColourFile(k4, "<</XObject<</X0 6 0 R/X1 7 0 R>>/ExtGState<</G0 9 0 R>>/Font<</T3 8 0 R>>>>",
                              "/X0 Do /X1 Do BT /T3 12 Tf (a) Tj ET");
    f.AddStream("/Type/XObject/Subtype/Form/BBox[0 0 1 1]", "/G0 gs");
    f.AddStream("/Type/XObject/Subtype/Form/BBox[0 0 1 1]/Resources<</ExtGState<<>>>>", "/G0 gs /X0 Do");
    f.Add("<</Type/Font/Subtype/Type3/FontBBox[0 0 1 1]/FontMatrix[1 0 0 1 0 0]/FirstChar 97/LastChar 97/Widths[1]"
          "/Encoding<</Differences[97/a]>>/CharProcs<</a 10 0 R>>>>");
    f.Add("<<>>");
    f.AddStream("", "1 0 d0 /G0 gs");
    AddIntent(f, 3);
    EXPECT_EQ(Findings(f.Build(), k4), "46223(6 7 10)");
    PDFACompliance repair(true, ToBytes(f.Build()), nullptr, k4, nullptr, 0, 0, false);
    qvx::SDF::SDFDoc& doc = repair.GetDoc();
    for (int owner : {6, 7, 8}) {
        qvx::SDF::Obj* gs = qvx::PDF::FindIn(qvx::PDF::FindIn(qvx::PDF::FindIn(doc.GetObj(owner), "Resources"), "ExtGState"), "G0");
        EXPECT_EQ(gs, doc.GetObj(9)->Resolve()) << owner;
    }
    EXPECT_EQ(FindingsAfterConversion(f.Build(), k4), "");
    // Below PDF/A-4 inheriting is allowed, but strict readers draw only what a stream's own
    // resources name: the copy gets the entries there too.
    PDFACompliance older(true, ToBytes(f.Build()), nullptr, k2B, nullptr, 0, 0, false);
    qvx::SDF::Obj* own = qvx::PDF::FindIn(qvx::PDF::FindIn(older.GetDoc().GetObj(6), "Resources"), "ExtGState");
    EXPECT_EQ(qvx::PDF::FindIn(own, "G0"), older.GetDoc().GetObj(9)->Resolve());
}

TEST(GraphicsState, ContentStreamsThatCannotBeDecoded)
{
    auto deflate = [](const std::string& plain) {
        uLongf size = compressBound(plain.size());
        std::string out(size, '\0');
        compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.data()), plain.size());
        out.resize(size);
        return out;
    };
    const std::string garbage = "qvx: these bytes are no deflate data";
    auto run = [&](const std::string& page_data, const std::string& form_data = "") {
        PdfBuilder f = ColourFile(k2B, "<</XObject<</X0 6 0 R>>>>", "");
        f.SetStream(4, "/Filter/FlateDecode", page_data);
        f.SetStream(6, "/Type/XObject/Subtype/Form/BBox[0 0 1 1]/Filter/FlateDecode", deflate(form_data));
        return Findings(f.Build(), k2B);
    };
    std::string content = "0 0 m 10 10 l n /X0 Do";
    for (int i = 0; i < 40; ++i) content += " 0 0 m 10 10 l n";
    EXPECT_EQ(run(deflate(content)), "");
    // Deflate data of nothing holds nothing; data cut short keeps what came before the cut.
    EXPECT_EQ(run(deflate("")), "");
    EXPECT_EQ(run(deflate(content).substr(0, 30)), "");
    // Data that is no deflate data at all: the page's content cannot be checked (12).
    EXPECT_EQ(run(garbage), "12(3)");
    // Nor can a form's.
    PdfBuilder f = ColourFile(k2B, "<</XObject<</X0 6 0 R>>>>", "/X0 Do");
    f.SetStream(6, "/Type/XObject/Subtype/Form/BBox[0 0 1 1]/Filter/FlateDecode", garbage);
    EXPECT_EQ(Findings(f.Build(), k2B), "12(3)");

    // Conversion leaves such a stream as it was, with its finding.
    f.SetStream(4, "/Filter/FlateDecode", garbage);
    TempDir dir;
    std::filesystem::path out = dir.Path() / "out.pdf";
    {
        PDFACompliance conversion(true, ToBytes(f.Build()), nullptr, k2B, nullptr, 0, 0, false);
        EXPECT_EQ(Findings(conversion), "12(3)");
        conversion.SaveAs(qvx::Common::UString::FromFileName(out.string()), false);
    }
    std::ifstream in(out, std::ios::binary);
    std::string copy((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(copy.find(garbage), std::string::npos);
    PDFACompliance again(false, qvx::Common::UString::FromFileName(out.string()), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "12(3)");
}
