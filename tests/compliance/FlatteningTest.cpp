// Flattening in conversion to PDF/A-1: which runs flatten, which pages, what happens to
// transparent annotations, and what a flattened page looks like afterwards.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <memory>

#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "tests/compliance/ColourTestSupport.h"
#include "tests/support/TestEnv.h"

using namespace qvx::Test;
using qvx::PDF::FindIn;
using qvx::PDF::PDFACompliance;
using qvx::SDF::Obj;

namespace {

std::unique_ptr<PDFACompliance> Convert(const std::string& pdf, int level, bool flatten)
{
    qvx::PDF::PDFAComplianceOptions o;
    o.SetConformance(level);
    o.SetFlatten(flatten);
    o.SetDpi(72);
    return std::make_unique<PDFACompliance>(true, ToBytes(pdf), nullptr, o);
}

// The transparency codes among a run's findings.
std::string TransparencyCodes(const PDFACompliance& run)
{
    std::string out;
    for (int i = 0; i < run.GetErrorCount(); ++i) {
        int code = run.GetError(i);
        if (code >= 41 && code <= 46) out += (out.empty() ? "" : " ") + std::to_string(code);
    }
    return out;
}

// The run's document saved, and validated again at the level.
std::string CodesAfterSaving(const PDFACompliance& run, int level)
{
    qvx::Common::Bytes saved = run.GetDoc().SaveToBuffer(qvx::SDF::SDFDoc::e_prune_unused);
    PDFACompliance again(false, std::move(saved), nullptr, level, nullptr, 0, 0, false);
    return TransparencyCodes(again);
}

Obj* Page(const PDFACompliance& run) { return run.GetDoc().GetObj(3); }

// The page's content, its streams joined.
std::string Content(const PDFACompliance& run)
{
    std::string out;
    Obj* c = FindIn(Page(run), "Contents");
    std::vector<Obj*> streams;
    if (c && c->IsStream()) streams.push_back(c);
    for (std::size_t i = 0; c && c->IsArray() && i < c->Size(); ++i) streams.push_back(qvx::PDF::Deref(c->GetAt(i)));
    for (Obj* s : streams) {
        auto data = qvx::PDF::ReadDecoded(s, 1 << 24);
        if (data) out.append(data->begin(), data->end());
        out += '\n';
    }
    return out;
}

Obj* XObject(const PDFACompliance& run, const std::string& name)
{
    return FindIn(FindIn(FindIn(Page(run), "Resources"), "XObject"), name);
}

// Opaque blue square, then a half-transparent red one over it inside q/Q, then an opaque
// green one; the page has a transparency group.
std::string HalfTransparentPage(int level, const std::string& gs = "<</ca 0.5>>")
{
    PdfBuilder f = ColourFile(level, "<</ExtGState<</GS0 " + gs + ">>>>",
                              "0 0 1 rg 10 10 100 100 re f q /GS0 gs 1 0 0 rg 60 60 100 100 re f Q "
                              "0 1 0 rg 150 10 40 40 re f",
                              "/Group<</S/Transparency/CS/DeviceRGB>>");
    return f.Build();
}

}  // namespace

TEST(Flattening, OnlyConversionToPDFA1WithTheOptionFlattens)
{
    const std::string pdf = HalfTransparentPage(k1B);
    // Level 2B: nothing flattened, the page keeps its content and group.
    auto b2 = Convert(HalfTransparentPage(k2B), k2B, true);
    EXPECT_EQ(FindIn(Page(*b2), "Contents")->GetObjNum(), 4u);
    EXPECT_EQ(XObject(*b2, "Flat0"), nullptr);
    // 1B without the option: the key removals of the page pass.
    auto off = Convert(pdf, k1B, false);
    EXPECT_EQ(TransparencyCodes(*off), "43 46");
    EXPECT_EQ(FindIn(FindIn(FindIn(FindIn(Page(*off), "Resources"), "ExtGState"), "GS0"), "ca"), nullptr);
    EXPECT_EQ(FindIn(Page(*off), "Group"), nullptr);
    // Validation with the option changes nothing.
    qvx::PDF::PDFAComplianceOptions o;
    o.SetFlatten(true);
    PDFACompliance check(false, ToBytes(pdf), nullptr, o);
    EXPECT_EQ(TransparencyCodes(check), "43 46");
    EXPECT_EQ(FindIn(Page(check), "Contents")->GetObjNum(), 4u);

    // 1B with it: nothing left to find, before and after saving. The state that the
    // flattened content no longer draws with loses its alpha all the same, so that no
    // dictionary of the copy says transparent.
    auto on = Convert(pdf, k1B, true);
    EXPECT_EQ(TransparencyCodes(*on), "");
    EXPECT_EQ(CodesAfterSaving(*on, k1B), "");
    EXPECT_EQ(FindIn(FindIn(FindIn(FindIn(Page(*on), "Resources"), "ExtGState"), "GS0"), "ca"), nullptr);
    EXPECT_EQ(FindIn(Page(*on), "Group"), nullptr);
    EXPECT_NE(FindIn(Page(*on), "Parent"), nullptr);
    Obj* image = XObject(*on, "Flat0");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(qvx::PDF::FindName(image, "Filter"), "DCTDecode");
    Obj* space = FindIn(image, "ColorSpace");
    ASSERT_TRUE(space && space->IsArray());
    EXPECT_TRUE(qvx::PDF::IsNameOf(qvx::PDF::Deref(space->GetAt(0)), "ICCBased"));
    // The red square's area at 72 dpi: 60..160 clipped to the 200 x 200 page, plus margin.
    EXPECT_NEAR(qvx::PDF::FindNumber(image, "Width", 0), 102, 2);
    std::string content = Content(*on);
    EXPECT_NE(content.find("0 0 1 rg 10 10 100 100 re f"), std::string::npos) << content;
    EXPECT_NE(content.find("60 60 100 100 re\nn"), std::string::npos) << content;
    EXPECT_NE(content.find("/Flat0 Do"), std::string::npos) << content;
    EXPECT_NE(content.find("150 10 40 40 re f"), std::string::npos) << content;
    EXPECT_LT(content.find("/Flat0 Do"), content.find("150 10 40 40 re f"));
}

TEST(Flattening, FlattenedPagesListOnlyWhatTheyStillDraw)
{
    // Pages 3 and 6 share resources 7: page 3 draws the half-transparent form X1 and the
    // opaque form X2 and an inline image in colour space G1, page 6 only X2. After
    // flattening, page 3 lists what its content still names (X2, G1, the image, the reset
    // state) and its default space, in resources of its own; the shared ones, which page 6
    // also reads, keep every entry.
    PdfBuilder f = ColourFile(k1B, "7 0 R", "/X1 Do /X2 Do q 10 0 0 10 150 20 cm BI /W 1 /H 1 /BPC 8 /CS /G1 ID x EI Q");
    f.Set(2, "<</Type/Pages/Kids[3 0 R 6 0 R]/Count 2>>");
    f.Set(6, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources 7 0 R/Contents 10 0 R>>");
    f.Set(7, "<</XObject<</X1 8 0 R/X2 9 0 R>>/ColorSpace<</DefaultRGB[/CalRGB<</WhitePoint[0.9505 1 1.089]>>]"
             "/G1[/CalGray<</WhitePoint[0.9505 1 1.089]>>]/G2[/CalGray<</WhitePoint[0.9505 1 1.089]>>]>>>>");
    f.SetStream(8, "/Type/XObject/Subtype/Form/BBox[0 0 100 100]/Resources<</ExtGState<</G<</ca 0.5>>>>>>",
                "/G gs 1 0 0 rg 10 10 50 50 re f");
    f.SetStream(9, "/Type/XObject/Subtype/Form/BBox[0 0 200 200]", "0 0 1 rg 120 120 50 50 re f");
    f.SetStream(10, "", "/X2 Do");
    auto run = Convert(f.Build(), k1B, true);
    EXPECT_EQ(CodesAfterSaving(*run, k1B), "");
    Obj* own = FindIn(Page(*run), "Resources");
    ASSERT_NE(own, nullptr);
    EXPECT_FALSE(own->IsIndirect());
    EXPECT_EQ(XObject(*run, "X1"), nullptr);
    EXPECT_NE(XObject(*run, "X2"), nullptr);
    EXPECT_NE(XObject(*run, "Flat0"), nullptr);
    EXPECT_NE(FindIn(FindIn(own, "ColorSpace"), "DefaultRGB"), nullptr);
    EXPECT_NE(FindIn(FindIn(own, "ColorSpace"), "G1"), nullptr);  // the inline image's space
    EXPECT_EQ(FindIn(FindIn(own, "ColorSpace"), "G2"), nullptr);
    Obj* shared = FindIn(run->GetDoc().GetObj(7), "XObject");
    EXPECT_EQ(shared->Size(), 2u);
}

namespace {

// Page 3 with two annotations over opaque content: 6 (flags and normal appearance given),
// and 7, opaque and printed. Form 8 is 6's appearance, form 9 is 7's.
std::string AnnotatedPage(const std::string& flags, const std::string& appearance_gs)
{
    PdfBuilder f = ColourFile(k1B, "<<>>", "0 0 1 rg 10 10 100 100 re f", "/Annots[6 0 R 7 0 R]");
    f.Set(6, "<</Type/Annot/Subtype/Square/Rect[20 20 80 60]/F " + flags + "/AP<</N 8 0 R>>>>");
    f.Set(7, "<</Type/Annot/Subtype/Square/Rect[120 120 180 160]/F 4/AP<</N 9 0 R>>>>");
    f.SetStream(8, "/Type/XObject/Subtype/Form/BBox[0 0 60 40]/Resources<</ExtGState<</G " + appearance_gs + ">>>>",
                "/G gs 1 0 0 rg 0 0 60 40 re f");
    f.SetStream(9, "/Type/XObject/Subtype/Form/BBox[0 0 60 40]", "0 1 0 rg 0 0 60 40 re f");
    f.SetStream(10, "/Type/XObject/Subtype/Form/BBox[0 0 60 40]/Group<</S/Transparency/CS/DeviceGray>>",
                "0.5 g 0 0 60 40 re f");
    return f.Build();
}

std::vector<std::uint32_t> AnnotNumbers(const PDFACompliance& run)
{
    std::vector<std::uint32_t> out;
    Obj* annots = FindIn(Page(run), "Annots");
    for (std::size_t i = 0; annots && i < annots->Size(); ++i) out.push_back(annots->GetAt(i)->GetObjNum());
    return out;
}

}  // namespace

TEST(Flattening, TransparentAnnotations)
{
    // Hidden, with ca 0.5: the annotation goes, and the page has nothing else to flatten.
    auto hidden = Convert(AnnotatedPage("6", "<</ca 0.5>>"), k1B, true);
    EXPECT_EQ(AnnotNumbers(*hidden), std::vector<std::uint32_t>{7});
    EXPECT_EQ(FindIn(Page(*hidden), "Contents")->GetObjNum(), 4u);
    EXPECT_EQ(XObject(*hidden, "Flat0"), nullptr);
    EXPECT_EQ(CodesAfterSaving(*hidden, k1B), "");

    // Shown, with a soft mask: drawn into the page and then flattened with it; the opaque
    // one stays an annotation.
    auto masked = Convert(AnnotatedPage("4", "<</SMask<</S/Luminosity/G 10 0 R>>>>"), k1B, true);
    EXPECT_EQ(AnnotNumbers(*masked), std::vector<std::uint32_t>{7});
    // The appearance drawn into the page is part of the image now: the page no longer lists
    // it, nor its masked state.
    EXPECT_EQ(XObject(*masked, "Annot0"), nullptr);
    std::string content = Content(*masked);
    EXPECT_EQ(content.find("/Annot0 Do"), std::string::npos) << content;
    EXPECT_NE(content.find("/Flat0 Do"), std::string::npos) << content;
    EXPECT_NE(content.find("0 0 1 rg 10 10 100 100 re f"), std::string::npos) << content;
    EXPECT_EQ(TransparencyCodes(*masked), "");
    EXPECT_EQ(CodesAfterSaving(*masked, k1B), "");

    // Opaque annotations are left alone and the page is not touched.
    auto opaque = Convert(AnnotatedPage("4", "<</ca 1>>"), k1B, true);
    EXPECT_EQ(AnnotNumbers(*opaque), (std::vector<std::uint32_t>{6, 7}));
    EXPECT_EQ(FindIn(Page(*opaque), "Contents")->GetObjNum(), 4u);
}

TEST(Flattening, WhichPagesUseTransparency)
{
    // A form painting with Multiply makes the page transparent; CA 1.0 does not.
    PdfBuilder multiply = ColourFile(k1B, "<</XObject<</X0 6 0 R>>>>", "q 1 0 0 1 20 20 cm /X0 Do Q");
    multiply.SetStream(6, "/Type/XObject/Subtype/Form/BBox[0 0 50 50]/Matrix[1 0 0 1 0 0]"
                          "/Resources<</ExtGState<</M<</BM/Multiply>>>>/Font<</F1 7 0 R>>>>",
                       "/M gs 1 0 0 rg 0 0 50 50 re f BT /F1 12 Tf 5 5 Td [(He) -20 (llo)] TJ ET");
    multiply.Set(7, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
    auto m = Convert(multiply.Build(), k1B, true);
    std::string content = Content(*m);
    EXPECT_EQ(content.find("/X0 Do"), std::string::npos) << content;
    EXPECT_NE(content.find("/Flat0 Do"), std::string::npos) << content;
    // Its text is still there, invisible, where the form put it, with the form's font.
    EXPECT_NE(content.find("q 1 0 0 1 0 0 cm\nq 1 0 0 1 0 0 cm BT /FlatF0 12 Tf 0 Tc 0 Tw 100 Tz 0 Ts 3 Tr "
                           "1 0 0 1 5 5 Tm [<4865> -20 <6C6C6F> ] TJ ET Q\nQ"),
              std::string::npos)
        << content;
    EXPECT_EQ(FindIn(FindIn(FindIn(Page(*m), "Resources"), "Font"), "FlatF0")->GetObjNum(), 7u);
    EXPECT_EQ(CodesAfterSaving(*m, k1B), "");
    // The form's area on the page: 20..70 (plus margin).
    EXPECT_NEAR(qvx::PDF::FindNumber(XObject(*m, "Flat0"), "Width", 0), 52, 2);

    auto ca1 = Convert(HalfTransparentPage(k1B, "<</CA 1.0>>"), k1B, true);
    EXPECT_EQ(FindIn(Page(*ca1), "Contents")->GetObjNum(), 4u);
    // Its group is left to the page pass, which removes it.
    EXPECT_EQ(TransparencyCodes(*ca1), "43");

    // A stroking alpha of 0 left in force over fills (as matplotlib writes its plots) and
    // over invisible text changes nothing drawn: the page keeps its content, and the page
    // pass takes the key away. A stroke in that state is flattened.
    for (const char* paint : {"f", "S"}) {
        SCOPED_TRACE(paint);
        PdfBuilder strokes = ColourFile(k1B, "<</ExtGState<</A1<</CA 0/ca 1>>>>/Font<</F1 6 0 R>>>>",
                                        std::string("/A1 gs 0 0 1 rg 10 10 100 100 re ") + paint +
                                            " BT 3 Tr /F1 12 Tf 5 5 Td (Hi) Tj ET");
        strokes.Set(6, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
        auto a = Convert(strokes.Build(), k1B, true);
        EXPECT_EQ(FindIn(Page(*a), "Contents")->GetObjNum() == 4u, std::string(paint) == "f") << Content(*a);
        EXPECT_EQ(CodesAfterSaving(*a, k1B), "");
    }

    // A tiling pattern whose cell is transparent, used as a fill colour.
    PdfBuilder tiled = ColourFile(k1B, "<</Pattern<</P0 6 0 R>>>>", "/Pattern cs /P0 scn 0 0 100 100 re f");
    tiled.SetStream(6, "/PatternType 1/PaintType 1/TilingType 1/BBox[0 0 10 10]/XStep 10/YStep 10"
                       "/Resources<</ExtGState<</A<</CA 0.3>>>>>>",
                    "/A gs 0 0 m 10 10 l S");
    auto t = Convert(tiled.Build(), k1B, true);
    EXPECT_NE(Content(*t).find("0 0 100 100 re\nn"), std::string::npos) << Content(*t);

    // Text in a Type 3 font whose glyph paints half-transparently: the glyph's box would be
    // painted whole once the key removals took its transparency away.
    PdfBuilder glyphs = ColourFile(k1B, "<</Font<</T3 6 0 R>>>>", "BT /T3 50 Tf 20 20 Td (a) Tj ET");
    glyphs.Set(6, "<</Type/Font/Subtype/Type3/FontBBox[0 0 1 1]/FontMatrix[1 0 0 1 0 0]/FirstChar 97/LastChar 97"
                  "/Widths[1]/Encoding<</Differences[97/a]>>/CharProcs<</a 7 0 R>>"
                  "/Resources<</ExtGState<</H<</ca 0.5>>>>>>>>");
    glyphs.SetStream(7, "", "1 0 0 0 1 1 d1 /H gs 0 0 1 1 re f");
    auto g = Convert(glyphs.Build(), k1B, true);
    EXPECT_NE(Content(*g).find("/Flat0 Do"), std::string::npos) << Content(*g);
    EXPECT_EQ(CodesAfterSaving(*g, k1B), "");
}

TEST(Flattening, UnreadablePageKeepsItsTransparency)
{
    // The first stream is transparent; the second has a filter nobody knows, so the page cannot
    // be rewritten and the page pass removes the keys instead.
    PdfBuilder f = ColourFile(k1B, "<</ExtGState<</GS0<</ca 0.5>>>>>>", "/GS0 gs 0 0 50 50 re f");
    f.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<</ExtGState<</GS0<</ca 0.5>>>>>>"
             "/Contents[4 0 R 6 0 R]>>");
    f.SetStream(6, "/Filter/NoSuchDecode", "0 0 m");
    auto run = Convert(f.Build(), k1B, true);
    EXPECT_EQ(TransparencyCodes(*run), "46");
    EXPECT_EQ(XObject(*run, "Flat0"), nullptr);
    EXPECT_EQ(FindIn(Page(*run), "Contents")->Size(), 2u);
}

namespace {

struct Pixels {
    int width = 0, height = 0;
    std::string rgb;
    // The colour at (x, y) counted from the top left, as "r g b".
    std::array<int, 3> At(int x, int y) const
    {
        std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {static_cast<unsigned char>(rgb[i]), static_cast<unsigned char>(rgb[i + 1]),
                static_cast<unsigned char>(rgb[i + 2])};
    }
};

// Page 1 drawn by pdftoppm at 72 dpi.
Pixels Poppler(const TempDir& dir, const std::string& name, const std::string& pdf)
{
    std::filesystem::path in = dir.Write(name + ".pdf", pdf);
    RunResult r = Run({"/usr/bin/pdftoppm", "-r", "72", "-singlefile", in.string(), (dir.Path() / name).string()});
    EXPECT_EQ(r.status, 0) << r.output;
    std::string ppm = ReadFile(dir.Path() / (name + ".ppm"));
    Pixels p;
    std::size_t at = 0;
    auto word = [&] {
        while (at < ppm.size() && std::isspace(static_cast<unsigned char>(ppm[at]))) ++at;
        std::size_t from = at;
        while (at < ppm.size() && !std::isspace(static_cast<unsigned char>(ppm[at]))) ++at;
        return ppm.substr(from, at - from);
    };
    if (word() != "P6") return p;
    p.width = std::stoi(word());
    p.height = std::stoi(word());
    word();
    p.rgb = ppm.substr(at + 1);
    EXPECT_EQ(p.rgb.size(), static_cast<std::size_t>(p.width) * p.height * 3);
    return p;
}

}  // namespace

// The flattened page looks as the transparent one did, to another renderer: blue, red over
// blue, red alone, green, white.
TEST(Flattening, LooksTheSameToPoppler)
{
    const std::string pdf = HalfTransparentPage(k1B);
    auto run = Convert(pdf, k1B, true);
    qvx::Common::Bytes saved = run->GetDoc().SaveToBuffer(qvx::SDF::SDFDoc::e_prune_unused);
    std::string flat(saved.begin(), saved.end());
    TempDir dir;
    Pixels before = Poppler(dir, "before", pdf), after = Poppler(dir, "after", flat);
    ASSERT_EQ(before.width, 200);
    ASSERT_EQ(after.width, 200);
    for (auto [x, y] : {std::pair{30, 170}, {85, 115}, {130, 70}, {170, 170}, {180, 20}}) {
        auto b = before.At(x, y), a = after.At(x, y);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 10) << x << "," << y << " channel " << c;
    }
}

// Opaque lines drawn over a half-transparent square are not in its image too: drawn once,
// their anti-aliased edges keep the shade they had (drawn twice they turn darker). Two
// lines half a pixel off the grid, one over the square and one over a second transparent
// square drawn after it.
TEST(Flattening, OpaqueContentOverTransparencyIsDrawnOnce)
{
    PdfBuilder f = ColourFile(k1B, "<</ExtGState<</GS0<</ca 0.5>>>>>>",
                              "q /GS0 gs 0 0 1 rg 20 20 160 70 re f Q 0 G 1 w 30 50 m 170 50 l S "
                              "q /GS0 gs 1 0 0 rg 20 110 160 70 re f Q 30 150 m 170 150 l S");
    const std::string pdf = f.Build();
    auto run = Convert(pdf, k1B, true);
    qvx::Common::Bytes saved = run->GetDoc().SaveToBuffer(qvx::SDF::SDFDoc::e_prune_unused);
    TempDir dir;
    Pixels before = Poppler(dir, "before", pdf), after = Poppler(dir, "after", std::string(saved.begin(), saved.end()));
    ASSERT_EQ(before.width, after.width);
    for (int y : {149, 150, 49, 50}) {
        auto b = before.At(100, y), a = after.At(100, y);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 12) << "row " << y << " channel " << c;
    }
}

// A soft-masked image over a yellow fill is flattened with the fill below it; drawn on white
// paper, its see-through half would turn white. The same image over white paper keeps its
// look too. Each image is red, see-through on its left half.
TEST(Flattening, SoftMaskedImagesOverOtherContentKeepWhatLiesBelow)
{
    PdfBuilder f = ColourFile(k1B, "<</XObject<</Im 6 0 R>>>>",
                              "1 1 0 rg 0 0 200 100 re f q 100 0 0 100 50 0 cm /Im Do Q q 100 0 0 100 50 100 cm /Im Do Q");
    f.SetStream(6, "/Type/XObject/Subtype/Image/Width 2/Height 1/ColorSpace/DeviceRGB/BitsPerComponent 8/SMask 7 0 R",
                std::string("\xFF\x00\x00\xFF\x00\x00", 6));
    f.SetStream(7, "/Type/XObject/Subtype/Image/Width 2/Height 1/ColorSpace/DeviceGray/BitsPerComponent 8",
                std::string("\x00\xFF", 2));
    const std::string pdf = f.Build();
    auto run = Convert(pdf, k1B, true);
    qvx::Common::Bytes saved = run->GetDoc().SaveToBuffer(qvx::SDF::SDFDoc::e_prune_unused);
    EXPECT_EQ(CodesAfterSaving(*run, k1B), "");
    TempDir dir;
    Pixels before = Poppler(dir, "before", pdf), after = Poppler(dir, "after", std::string(saved.begin(), saved.end()));
    ASSERT_EQ(before.width, after.width);
    for (auto [x, y] : {std::pair{75, 150}, {125, 150}, {75, 50}, {125, 50}}) {
        auto b = before.At(x, y), a = after.At(x, y);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 12) << x << "," << y << " channel " << c;
    }
}
