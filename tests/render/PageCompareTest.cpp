// The look check: pages of two versions of a document drawn and compared, and pages whose
// drawing inputs are the same (up to what a save and conversion change) left undrawn.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>

#include "pdf/Font.h"
#include "pdf/Std14.h"
#include "render/PageCompare.h"
#include "tests/support/PdfBuilder.h"

using namespace qvx;
using qvx::Test::PdfBuilder;

namespace {

struct Version {
    std::string content = "0 0 1 rg 10 10 80 80 re f";
    std::string page_extra;
    std::string media = "[0 0 100 100]";
    std::string resources = "<< >>";
    std::string catalog_extra;
    std::string annots;       // objects 6 on, each "<< ... >>" as written
    int pages = 1;
    int shift = 0;            // object numbers moved up, as a save with other numbering would
    std::string profile;      // object 9: a stream of these bytes (with /N 4: an ICC profile)
};

std::unique_ptr<SDF::SDFDoc> Open(const Version& v)
{
    PdfBuilder b;
    int s = v.shift;
    auto ref = [s](int n) { return std::to_string(n + s) + " 0 R"; };
    std::string kids;
    for (int i = 0; i < v.pages; ++i) kids += ref(i == 0 ? 3 : 20 + i) + " ";
    b.Set(1 + s, "<< /Type /Catalog /Pages " + ref(2) + " " + v.catalog_extra + " >>");
    b.Set(2 + s, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(v.pages) + " >>");
    std::string page = "<< /Type /Page /Parent " + ref(2) + " /MediaBox " + v.media + " /Resources " + v.resources +
                       " /Contents " + ref(4) + (v.annots.empty() ? "" : " /Annots [" + ref(6) + "]") + " " +
                       v.page_extra + " >>";
    b.Set(3 + s, page);
    for (int i = 1; i < v.pages; ++i) b.Set(20 + i + s, page);
    b.SetStream(4 + s, "", v.content);
    if (!v.annots.empty()) {
        b.Set(6 + s, v.annots);
        b.SetStream(7 + s, "/Type /XObject /Subtype /Form /BBox [0 0 50 50]", "1 0 0 rg 0 0 50 50 re f");
    }
    if (!v.profile.empty()) b.SetStream(9 + s, "/N 4", v.profile);
    b.SetTrailer("/Root " + ref(1));
    auto doc = std::make_unique<SDF::SDFDoc>();
    doc->OpenBuffer(Common::ToBytes(b.Build()));
    return doc;
}

Render::LookResult Compare(const Version& before, const Version& after, const Render::LookOptions& options = {})
{
    auto a = Open(before), b = Open(after);
    return Render::CompareLook(*a, *b, options);
}

Render::Bitmap Plain(int w, int h, std::uint8_t v)
{
    Render::Bitmap bm;
    bm.width = w, bm.height = h;
    bm.data.assign(static_cast<std::size_t>(w) * h * 3, v);
    return bm;
}

}  // namespace

TEST(PageCompare, PeakSignalToNoise)
{
    Render::Bitmap a = Plain(2, 2, 200), b = Plain(2, 2, 200);
    EXPECT_TRUE(std::isinf(Render::PSNR(a, b)));
    b.data[0] = 200 - 51;   // one channel of twelve off by 51: MSE 51^2 / 12
    EXPECT_NEAR(Render::PSNR(a, b), 10 * std::log10(255.0 * 255 * 12 / (51.0 * 51)), 1e-9);
    EXPECT_EQ(Render::PSNR(a, Plain(2, 3, 200)), 0);
}

TEST(PageCompare, SamePagesAreNotDrawn)
{
    Version v;
    v.annots = "<< /Type /Annot /Subtype /Square /Rect [10 10 60 60] /AP << /N 7 0 R >> >>";
    v.resources = "<< /ExtGState << /G << /Type /ExtGState /CA 1 >> >> >>";
    // Object numbers, numbers as a save rounds them, and what never reaches the look.
    Version copy = v;
    copy.shift = 30;
    copy.annots = "<< /Type /Annot /Subtype /Square /Rect [10.0000001 10 60 60] /F 4 "
                  "/AP << /N " + std::to_string(7 + 30) + " 0 R >> >>";
    copy.resources = "<< /ExtGState << /G << /Type /ExtGState /CA 1 /HT /Default >> >> /ColorSpace << >> >>";
    copy.page_extra = "/Metadata << /Type /Metadata >> /StructParents 0 /AA << >>";
    copy.catalog_extra = "/Metadata << >> /MarkInfo << /Marked true >>";
    Render::LookResult r = Compare(v, copy);
    EXPECT_EQ(r.compared, 1u);
    EXPECT_EQ(r.drawn, 0u);
    EXPECT_TRUE(r.changed.empty());
}

TEST(PageCompare, ChangedInputsAreDrawnAndJudged)
{
    Version v;
    // The same look from other content: drawn, not changed.
    Version same = v;
    same.content = "0 0 1 rg 10 10 80 40 re f 10 50 80 40 re f";
    Render::LookResult r = Compare(v, same);
    EXPECT_EQ(r.drawn, 1u);
    EXPECT_TRUE(r.changed.empty());
    // Another colour: changed.
    Version red = v;
    red.content = "1 0 0 rg 10 10 80 80 re f";
    r = Compare(v, red);
    ASSERT_EQ(r.changed.size(), 1u);
    EXPECT_EQ(r.changed[0].page, 1u);
    EXPECT_GT(r.changed[0].psnr, 0);
    EXPECT_LT(r.changed[0].psnr, 30);
    // A hidden annotation shown: its flags count.
    Version hidden = v;
    hidden.annots = "<< /Type /Annot /Subtype /Square /Rect [0 0 100 100] /F 32 /AP << /N 7 0 R >> >>";
    Version shown = hidden;
    shown.annots = "<< /Type /Annot /Subtype /Square /Rect [0 0 100 100] /F 4 /AP << /N 7 0 R >> >>";
    r = Compare(hidden, shown);
    EXPECT_EQ(r.drawn, 1u);
    EXPECT_EQ(r.changed.size(), 1u);
    // The page restated in units of three points (a third of its numbers) shows the same
    // at the same size, though its box rounds to a pixel more.
    Version thirds = v;
    thirds.media = "[0 0 33.34 33.34]";
    thirds.page_extra = "/UserUnit 3";
    thirds.content = "0.333333 0 0 0.333333 0 0 cm 0 0 1 rg 10 10 80 80 re f";
    r = Compare(v, thirds);
    EXPECT_EQ(r.drawn, 1u);
    EXPECT_TRUE(r.changed.empty()) << r.changed[0].psnr;
    // A page the copy lacks or adds.
    Version two = v;
    two.pages = 2;
    r = Compare(two, v);
    ASSERT_EQ(r.changed.size(), 1u);
    EXPECT_EQ(r.changed[0].page, 2u);
    EXPECT_EQ(r.changed[0].psnr, 0);
    EXPECT_EQ(r.compared, 1u);
}

TEST(PageCompare, DefaultCmykOfTheProfileDrawnAnyway)
{
    // A stand-in profile: the check compares bytes, what they hold does not matter here.
    const std::string profile = "not really a profile but the same bytes on both sides";
    Common::Bytes bytes(profile.begin(), profile.end());
    Version v;
    v.content = "0.2 0.4 0 0 k 10 10 80 80 re f";
    Version copy = v;
    copy.resources = "<< /ColorSpace << /DefaultCMYK [/ICCBased 9 0 R] >> >>";
    copy.profile = profile;
    Render::LookOptions options;
    options.formula_cmyk = &bytes;
    EXPECT_EQ(Compare(v, copy, options).drawn, 0u);
    // Another profile is a change of input: drawn.
    Common::Bytes other(bytes);
    other.back() ^= 1;
    options.formula_cmyk = &other;
    EXPECT_EQ(Compare(v, copy, options).drawn, 1u);
}

TEST(PageCompare, StandardFontEmbeddedWithTheProgramItIsDrawnWith)
{
    // What conversion writes for Helvetica: the URW program the renderer draws it with, and
    // the widths the font implied. Drawn the same, so the page is not drawn.
    std::ifstream in(PDF::Std14::ProgramFile("Helvetica"), std::ios::binary);
    ASSERT_TRUE(in) << "the URW fonts are installed with the build's packages";
    std::string program((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding";
    Version v;
    v.content = "BT /F1 20 Tf 10 40 Td (Hello) Tj ET";
    v.resources = "<< /Font << /F1 " + font + " >> >> >>";
    auto original = Open(v);
    std::string widths;
    {
        SDF::Obj* dict = original->GetObj(3)->FindObj("Resources")->FindObj("Font")->FindObj("F1");
        auto f = PDF::Font::Create(dict);
        for (unsigned code = 0; code < 256; ++code) widths += std::to_string(f->GetWidth({code, 1, code})) + " ";
    }
    auto copy_with = [&](const std::string& w, const std::string& bytes) {
        Version copy = v;
        copy.resources = "<< /Font << /F1 " + font + " /FirstChar 0 /LastChar 255 /Widths [" + w +
                         "] /FontDescriptor << /Type /FontDescriptor /FontName /Helvetica /Flags 32 /Ascent 718 "
                         "/FontFile 9 0 R >> >> >> >>";
        copy.profile = bytes;   // object 9 holds the program
        return Render::CompareLook(*original, *Open(copy), {});
    };
    EXPECT_EQ(copy_with(widths, program).drawn, 0u);
    // Other widths move the text: drawn.
    std::string wider = widths;
    wider.replace(wider.find("556"), 3, "956");
    EXPECT_EQ(copy_with(wider, program).drawn, 1u);
    // Another program: drawn.
    std::string other = program;
    other[other.size() / 2] ^= 1;
    EXPECT_EQ(copy_with(widths, other).drawn, 1u);
}
