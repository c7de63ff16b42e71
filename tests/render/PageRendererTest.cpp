// Pages built in memory, drawn, and checked pixel by pixel.

#include <gtest/gtest.h>

#include "common/Limits.h"
#include "filters/DCTEncode.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "tests/render/RenderTestDoc.h"
#include "tests/support/TestEnv.h"

using namespace qvx;
using qvx::Test::Near;
using qvx::Test::RenderDoc;
using qvx::Test::Rgb;

namespace {

// A hex string of bytes.
std::string Hex(const std::vector<int>& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string s = "<";
    for (int b : bytes) s += digits[(b >> 4) & 15], s += digits[b & 15];
    return s + ">";
}

}  // namespace

TEST(PageRenderer, FilledSquareAndPageGeometry)
{
    RenderDoc d;
    // A red square in the lower left quarter, a blue stroke along the top.
    d.content = "1 0 0 rg 0 0 50 50 re f 0 0 1 RG 4 w 0 90 m 100 90 l S";
    Render::RenderResult r = d.Draw();
    ASSERT_EQ(r.bitmap.width, 100);
    ASSERT_EQ(r.bitmap.height, 100);
    EXPECT_TRUE(r.complete);
    EXPECT_FALSE(r.capped);
    EXPECT_EQ(Rgb(r.bitmap, 25, 75), 0xFF0000u);  // y = 25 in PDF is row 75
    EXPECT_EQ(Rgb(r.bitmap, 75, 25), 0xFFFFFFu);
    EXPECT_EQ(Rgb(r.bitmap, 50, 10), 0x0000FFu);
    EXPECT_EQ(Rgb(r.bitmap, 50, 5), 0xFFFFFFu);

    // Twice the resolution: twice the pixels each way.
    Render::RenderOptions opt;
    opt.dpi = 144;
    r = d.Draw(opt);
    ASSERT_EQ(r.bitmap.width, 200);
    EXPECT_EQ(Rgb(r.bitmap, 50, 150), 0xFF0000u);

    // Rotate 90 turns the page clockwise: the lower left corner goes to the upper left.
    d.page_extra = "/Rotate 90";
    d.media_box = "[0 0 100 200]";
    r = d.Draw();
    ASSERT_EQ(r.bitmap.width, 200);
    ASSERT_EQ(r.bitmap.height, 100);
    EXPECT_EQ(Rgb(r.bitmap, 25, 25), 0xFF0000u);
    EXPECT_EQ(Rgb(r.bitmap, 25, 75), 0xFFFFFFu);

    // The MediaBox is drawn whatever the CropBox, as pdftoppm does; a region picks its own
    // rectangle whatever the rotation.
    d.page_extra = "/CropBox [0 0 50 50] /Rotate 90";
    d.media_box = "[0 0 100 100]";
    r = d.Draw();
    ASSERT_EQ(r.bitmap.width, 100);
    EXPECT_EQ(Rgb(r.bitmap, 40, 40), 0xFF0000u);
    EXPECT_EQ(Rgb(r.bitmap, 60, 40), 0xFFFFFFu);
    opt = {};
    opt.region = PDF::Rect{40, 40, 60, 60};
    opt.alpha = true;
    r = d.Draw(opt);
    ASSERT_EQ(r.bitmap.width, 20);
    ASSERT_EQ(r.bitmap.channels, 4);
    EXPECT_EQ(r.bitmap.Pixel(5, 15)[3], 255);  // (45, 45): the square
    EXPECT_EQ(r.bitmap.Pixel(15, 5)[3], 0);    // (55, 55): nothing drawn, transparent
    EXPECT_EQ(r.bitmap.Pixel(5, 15)[0], 255);
}

TEST(PageRenderer, FillRulesClipsAndDashes)
{
    RenderDoc d;
    // Two nested squares: even-odd leaves the inner one empty, nonzero fills it.
    d.content = "0 g 10 10 80 80 re 30 30 40 40 re f* "
                "q 0 0 100 10 re W n 1 0 0 rg 0 0 100 100 re f Q "
                "0 0 1 RG 2 w [10 10] 0 d 0 95 m 100 95 l S";
    Render::RenderResult r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 20, 50), 0x000000u);
    EXPECT_EQ(Rgb(r.bitmap, 50, 50), 0xFFFFFFu);  // the hole
    EXPECT_EQ(Rgb(r.bitmap, 50, 95), 0xFF0000u);  // inside the clip
    EXPECT_EQ(Rgb(r.bitmap, 50, 85), 0x000000u);  // the clip ended with Q
    EXPECT_EQ(Rgb(r.bitmap, 5, 5), 0x0000FFu);    // first dash
    EXPECT_EQ(Rgb(r.bitmap, 15, 5), 0xFFFFFFu);   // first gap
    // A dash from an ExtGState, with a phase, ends with Q; a pattern of zeros is solid.
    d.resources = "<< /ExtGState << /D1 << /D [[20 20] 10] >> >> >>";
    d.content = "0 0 1 RG 2 w q /D1 gs 0 95 m 100 95 l S Q 0 85 m 100 85 l S "
                "[0 0] 0 d 0 75 m 100 75 l S [5 -1] 0 d 0 65 m 100 65 l S";
    r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 5, 5), 0x0000FFu);
    EXPECT_EQ(Rgb(r.bitmap, 15, 5), 0xFFFFFFu);
    EXPECT_EQ(Rgb(r.bitmap, 45, 5), 0x0000FFu);
    EXPECT_EQ(Rgb(r.bitmap, 15, 15), 0x0000FFu);
    EXPECT_EQ(Rgb(r.bitmap, 15, 25), 0x0000FFu);
    EXPECT_EQ(Rgb(r.bitmap, 7, 35), 0x0000FFu);
    d.resources = "<< >>";
    d.content = "0 g 10 10 80 80 re 30 30 40 40 re f";
    r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 50, 50), 0x000000u);
}

TEST(PageRenderer, ClippedImage)
{
    RenderDoc d;
    // A 2 x 2 image: red, green / blue, white; drawn over the page, clipped to its left half.
    int img = d.b.AddStream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8",
                            std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12));
    d.resources = "<< /XObject << /Im1 " + std::to_string(img) + " 0 R >> >>";
    d.content = "q 0 0 50 100 re W n 100 0 0 100 0 0 cm /Im1 Do Q";
    Render::RenderResult r = d.Draw();
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(Rgb(r.bitmap, 25, 25), 0xFF0000u);  // first row at the top
    EXPECT_EQ(Rgb(r.bitmap, 25, 75), 0x0000FFu);
    EXPECT_EQ(Rgb(r.bitmap, 75, 25), 0xFFFFFFu);  // green, clipped away
    EXPECT_EQ(Rgb(r.bitmap, 75, 75), 0xFFFFFFu);
    // Stretched far beyond any pixel count (found by fuzzing: the span in pixels was cast
    // to int, which the sanitizer build reports), the image is too large to draw and the
    // page is drawn without it.
    d.content = "q 0 0 50 100 re W n 89000000000000000000 0 0 0.7 10.2 50.2 cm /Im1 Do Q 0 0 1 rg 60 0 40 40 re f";
    r = d.Draw();
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(Rgb(r.bitmap, 80, 80), 0x0000FFu);

    // The same as an inline image with a Decode array that inverts it, and a stencil mask
    // painting the fill colour where its samples are 0.
    d.resources = "<< >>";
    d.content = "q 100 0 0 100 0 0 cm BI /W 2 /H 2 /CS /RGB /BPC 8 /D [1 0 1 0 1 0] ID " +
                std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12) + " EI Q";
    r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 25, 25), 0x00FFFFu);
    EXPECT_EQ(Rgb(r.bitmap, 75, 75), 0x000000u);
    // Gray samples of 4 bits (3 and 12 of 15) through Decode [0.2 1]: 0.36 and 0.84,
    // the same in all three channels.
    d.content = "q 100 0 0 100 0 0 cm BI /W 2 /H 1 /CS /G /BPC 4 /D [0.2 1] ID " + std::string("\x3C", 1) + " EI Q";
    r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 25, 50), 0x5C5C5Cu);
    EXPECT_EQ(Rgb(r.bitmap, 75, 50), 0xD6D6D6u);
    d.content = "0 1 0 rg q 100 0 0 100 0 0 cm BI /W 2 /H 2 /IM true ID " + std::string("\x40\x80", 2) + " EI Q";
    r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 25, 25), 0x00FF00u);  // bits 0 1
    EXPECT_EQ(Rgb(r.bitmap, 75, 25), 0xFFFFFFu);
    EXPECT_EQ(Rgb(r.bitmap, 25, 75), 0xFFFFFFu);  // bits 1 0
    EXPECT_EQ(Rgb(r.bitmap, 75, 75), 0x00FF00u);
}

TEST(PageRenderer, JPEG2000ChannelsBeyondTheColourSpace)
{
    // A 2 x 1 grey picture (dark, light) with a second channel, its opacity (0 and 255):
    // readers skip that channel unless SMaskInData asks for it as the alpha.
    qvx::Test::TempDir dir;
    std::string pam = "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n";
    pam += std::string("\x40\x00\xC0\xFF", 4);
    const std::string out = (dir.Path() / "out.jp2").string();
    qvx::Test::Run({"/usr/bin/opj_compress", "-n", "1", "-r", "1", "-i", dir.Write("in.pam", pam).string(), "-o", out});
    const std::string jp2 = qvx::Test::ReadFile(out);
    ASSERT_FALSE(jp2.empty());
    for (bool mask : {false, true}) {
        SCOPED_TRACE(mask);
        RenderDoc d;
        int img = d.b.AddStream(std::string("/Type /XObject /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceGray "
                                            "/BitsPerComponent 8 /Filter /JPXDecode") + (mask ? " /SMaskInData 1" : ""),
                                jp2);
        d.resources = "<< /XObject << /Im1 " + std::to_string(img) + " 0 R >> >>";
        d.content = "1 0 0 rg 0 0 100 100 re f q 100 0 0 100 0 0 cm /Im1 Do Q";
        Render::RenderResult r = d.Draw();
        EXPECT_TRUE(Near(r.bitmap, 25, 50, mask ? 0xFF0000u : 0x404040u, 3)) << std::hex << Rgb(r.bitmap, 25, 50);
        EXPECT_TRUE(Near(r.bitmap, 75, 50, 0xC0C0C0u, 3)) << std::hex << Rgb(r.bitmap, 75, 50);
    }
}

TEST(PageRenderer, BlendModeGroup)
{
    RenderDoc d;
    // Red below; a transparency group painting blue in the right half with a blend mode.
    int form = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency >>",
                             "0 0 1 rg 50 0 50 100 re f");
    d.resources = "<< /XObject << /Fm1 " + std::to_string(form) + " 0 R >> /ExtGState << /Mul << /BM /Multiply >> "
                  "/Scr << /BM /Screen >> /Half << /ca 0.5 >> >> >>";
    d.content = "1 0 0 rg 0 0 100 100 re f /Mul gs /Fm1 Do";
    Render::RenderResult r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 25, 50), 0xFF0000u);
    EXPECT_EQ(Rgb(r.bitmap, 75, 50), 0x000000u);  // red x blue
    d.content = "1 0 0 rg 0 0 100 100 re f /Scr gs /Fm1 Do";
    r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 75, 50), 0xFF00FFu);  // red screen blue
    // The group's alpha applies once to the group as a whole.
    d.content = "1 0 0 rg 0 0 100 100 re f /Half gs /Fm1 Do";
    r = d.Draw();
    EXPECT_TRUE(Near(r.bitmap, 75, 50, 0x800080u, 2)) << std::hex << Rgb(r.bitmap, 75, 50);
}

TEST(PageRenderer, LuminositySoftMask)
{
    RenderDoc d;
    // The mask group is white on the left half and black on the right: a black fill
    // through it shows on the left only. With a backdrop BC of white and an empty group
    // everything shows; a transfer function inverting the values swaps the halves.
    int mask = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency /CS /DeviceGray >>",
                             "1 g 0 0 50 100 re f 0 g 50 0 50 100 re f");
    int empty = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency /CS /DeviceGray >>", "");
    int invert = d.b.Add("<< /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] /N 1 >>");
    auto ref = [](int n) { return std::to_string(n) + " 0 R"; };
    d.resources = "<< /ExtGState << /SM << /SMask << /S /Luminosity /G " + ref(mask) + " >> >> "
                  "/BC << /SMask << /S /Luminosity /G " + ref(empty) + " /BC [1] >> >> "
                  "/TR << /SMask << /S /Luminosity /G " + ref(mask) + " /TR " + ref(invert) + " >> >> >> >>";
    d.content = "/SM gs 0 g 0 0 100 100 re f";
    Render::RenderResult r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 25, 50), 0x000000u);
    EXPECT_EQ(Rgb(r.bitmap, 75, 50), 0xFFFFFFu);
    d.content = "/BC gs 0 g 0 0 100 100 re f";
    r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 75, 50), 0x000000u);
    d.content = "/TR gs 0 g 0 0 100 100 re f";
    r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 25, 50), 0xFFFFFFu);
    EXPECT_EQ(Rgb(r.bitmap, 75, 50), 0x000000u);
}

TEST(PageRenderer, Type3Glyphs)
{
    RenderDoc d;
    // Glyph a (d1) is a square that takes the text colour; glyph b (d0) paints its own blue.
    int a = d.b.AddStream("", "1000 0 0 0 1000 1000 d1 0 0 1000 1000 re f");
    int bproc = d.b.AddStream("", "1000 0 d0 0 0 1 rg 0 0 1000 1000 re f");
    int font = d.b.Add("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
                       "/CharProcs << /a " + std::to_string(a) + " 0 R /b " + std::to_string(bproc) + " 0 R >> "
                       "/Encoding << /Type /Encoding /Differences [97 /a /b] >> /FirstChar 97 /LastChar 98 "
                       "/Widths [1000 1000] >>");
    d.resources = "<< /Font << /T3 " + std::to_string(font) + " 0 R >> >>";
    // Size 20 glyphs at (10, 10): a from x 10 to 30, then b from 30 to 50 (the advance).
    d.content = "0 1 0 rg BT /T3 20 Tf 10 10 Td (ab) Tj ET";
    Render::RenderResult r = d.Draw();
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(Rgb(r.bitmap, 20, 80), 0x00FF00u);
    EXPECT_EQ(Rgb(r.bitmap, 40, 80), 0x0000FFu);
    EXPECT_EQ(Rgb(r.bitmap, 60, 80), 0xFFFFFFu);
    EXPECT_EQ(Rgb(r.bitmap, 20, 60), 0xFFFFFFu);  // above the glyphs
    // Character spacing moves the second glyph on.
    d.content = "0 1 0 rg BT /T3 20 Tf 10 Tc 10 10 Td (ab) Tj ET";
    r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 35, 80), 0xFFFFFFu);
    EXPECT_EQ(Rgb(r.bitmap, 45, 80), 0x0000FFu);
}

TEST(PageRenderer, TextWithStandardFontAndClipModes)
{
    RenderDoc d;
    d.resources = "<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >> >> >>";
    // A large black I: its stem covers the middle of the glyph box.
    d.content = "BT /F1 100 Tf 30 10 Td (I) Tj ET";
    Render::RenderResult r = d.Draw();
    int black = 0;
    for (int x = 30; x < 60; ++x) black += Rgb(r.bitmap, x, 50) == 0;
    EXPECT_GT(black, 10);
    // Mode 7 clips to the glyph: a red fill afterwards shows only inside it.
    d.content = "BT /F1 100 Tf 7 Tr 30 10 Td (I) Tj ET 1 0 0 rg 0 0 100 100 re f";
    r = d.Draw();
    int red = 0, white = 0;
    for (int x = 0; x < 100; ++x) {
        red += Rgb(r.bitmap, x, 50) == 0xFF0000u;
        white += Rgb(r.bitmap, x, 50) == 0xFFFFFFu;
    }
    EXPECT_EQ(red, black);
    EXPECT_GT(white, 50);
    // Invisible text (mode 3) draws nothing.
    d.content = "BT /F1 100 Tf 3 Tr 30 10 Td (I) Tj ET";
    r = d.Draw();
    for (int x = 0; x < 100; ++x) ASSERT_EQ(Rgb(r.bitmap, x, 50), 0xFFFFFFu);
    EXPECT_TRUE(r.complete);
    // An em of a hundred thousand pixels is beyond what the font can be sized to (found by
    // fuzzing: cairo lost the fonts it failed to scale). The rest of the page is drawn, and
    // the drawing says it is not the whole page.
    d.content = "BT /F1 100000 Tf 30 10 Td (I) Tj ET 0 0 1 rg 60 0 40 40 re f";
    r = d.Draw();
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(Rgb(r.bitmap, 80, 80), 0x0000FFu);
    // As a clip it is missing from the clip too; invisible, it is missing from nothing.
    d.content = "BT /F1 100000 Tf 7 Tr 30 10 Td (I) Tj ET";
    EXPECT_FALSE(d.Draw().complete);
    d.content = "BT /F1 100000 Tf 3 Tr 30 10 Td (I) Tj ET";
    EXPECT_TRUE(d.Draw().complete);
}

TEST(PageRenderer, ColourSpacesAndShadings)
{
    RenderDoc d;
    // Indexed over RGB, Separation through a PostScript calculator, Lab white, and an
    // axial shading from black to white across the page.
    int tint = d.b.AddStream("/FunctionType 4 /Domain [0 1] /Range [0 1 0 1 0 1] ", "{ dup 0 exch 1 exch sub }");
    d.resources = "<< /ColorSpace << /I [/Indexed /DeviceRGB 1 " + Hex({255, 0, 0, 0, 0, 255}) + "] "
                  "/S [/Separation /Spot /DeviceRGB " + std::to_string(tint) + " 0 R] "
                  "/L [/Lab << /WhitePoint [0.9505 1 1.089] >>] >> "
                  "/Shading << /Sh << /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 100 0] "
                  "/Function << /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >> /Extend [true true] >> >> >>";
    d.content = "/I cs 1 sc 0 0 50 50 re f /S cs 1 sc 50 0 50 50 re f /L cs 100 0 0 sc 0 50 50 50 re f "
                "q 50 50 50 50 re W n /Sh sh Q";
    Render::RenderResult r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 25, 75), 0x0000FFu);  // index 1
    EXPECT_EQ(Rgb(r.bitmap, 75, 75), 0xFF0000u);  // tint 1 -> (1, 0, 0)
    EXPECT_TRUE(Near(r.bitmap, 25, 25, 0xFFFFFFu, 3));
    const std::uint8_t* left = r.bitmap.Pixel(52, 25);
    const std::uint8_t* right = r.bitmap.Pixel(97, 25);
    EXPECT_NEAR(left[0], 133, 6);  // t = 0.52
    EXPECT_NEAR(right[0], 248, 6);
}

TEST(PageRenderer, StitchingFunctionOfManyParts)
{
    // An axial shading whose stitching function joins 50 constant pieces, grey k/50 for
    // piece k, as TeX's colour spectra are drawn: its Encode array holds 100 numbers.
    RenderDoc d;
    std::string bounds, encode, parts;
    for (int k = 0; k < 50; ++k) {
        if (k > 0) bounds += std::to_string(2 * k) + " ";
        encode += "0 1 ";
        const std::string grey = std::to_string(k / 50.0);
        parts += "<< /FunctionType 2 /Domain [0 100] /C0 [" + grey + "] /C1 [" + grey + "] /N 1 >> ";
    }
    d.resources = "<< /Shading << /Sh << /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 100 0] /Domain [0 100] "
                  "/Function << /FunctionType 3 /Domain [0 100] /Bounds [" + bounds + "] /Encode [" + encode +
                  "] /Functions [" + parts + "] >> >> >> >>";
    d.content = "/Sh sh";
    Render::RenderResult r = d.Draw();
    EXPECT_NEAR(r.bitmap.Pixel(25, 50)[0], 64, 4);  // piece 12: 0.24
    EXPECT_NEAR(r.bitmap.Pixel(75, 50)[0], 189, 4);  // piece 37: 0.74
}

TEST(PageRenderer, FunctionShadingDrawnAgainWithAnotherAlpha)
{
    // A function-based shading (grey = x over the unit square, stretched over 100 x 50) drawn
    // opaque in the lower half, then at half alpha in the upper half: the second drawing
    // gets its own alpha, although the function's samples are kept for the page.
    RenderDoc d;
    int x = d.b.AddStream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1] ", "{ pop }");
    d.resources = "<< /ExtGState << /Half << /ca 0.5 >> >> /Shading << /F << /ShadingType 1 /ColorSpace /DeviceGray "
                  "/Domain [0 1 0 1] /Matrix [100 0 0 50 0 0] /Function " + std::to_string(x) + " 0 R >> >> >>";
    d.content = "q 0 0 100 50 re W n /F sh Q q /Half gs 1 0 0 1 0 50 cm 0 0 100 50 re W n /F sh Q";
    Render::RenderResult r = d.Draw();
    EXPECT_NEAR(r.bitmap.Pixel(25, 75)[0], 64, 4);   // x = 0.25, opaque
    EXPECT_NEAR(r.bitmap.Pixel(25, 25)[0], 160, 4);  // half of it over white
    EXPECT_NEAR(r.bitmap.Pixel(75, 25)[0], 223, 4);
}

TEST(PageRenderer, MeshPatchesCountAgainstTheWorkCap)
{
    // A free-form mesh of the most triangles one shading draws (a strip: each vertex after
    // the first three adds one), drawn under an empty clip until its triangles pass the page's
    // work cap: the red fill that follows is past the cap and not drawn.
    RenderDoc d;
    std::string mesh;
    for (std::size_t i = 0; i < Common::Limits::kMaxMeshPatches + 2; ++i) {
        const char v[4] = {static_cast<char>(i < 3 ? 0 : 2), static_cast<char>(i % 2 ? 200 : 10),
                           static_cast<char>(i % 200), static_cast<char>(i % 256)};
        mesh.append(v, 4);
    }
    int m = d.b.AddStream("/ShadingType 4 /ColorSpace /DeviceGray /BitsPerCoordinate 8 /BitsPerComponent 8 "
                          "/BitsPerFlag 8 /Decode [0 100 0 100 0 1] ", mesh);
    d.resources = "<< /Shading << /M " + std::to_string(m) + " 0 R >> >>";
    d.content = "q 0 0 0 0 re W n";
    for (std::size_t drawn = 0; drawn <= Common::Limits::kMaxRenderOperators; drawn += Common::Limits::kMaxMeshPatches)
        d.content += " /M sh";
    d.content += " Q 1 0 0 rg 0 0 100 100 re f";
    Render::RenderResult r = d.Draw();
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(Rgb(r.bitmap, 50, 50), 0xFFFFFFu);
}

TEST(PageRenderer, TilingPatternsWithTheirColoursAndConstantAlpha)
{
    RenderDoc d;
    // A coloured pattern whose cell is red, an uncoloured one that takes the colour given
    // with it; the red drawn once more through an ExtGState with ca 0.5.
    int red = d.b.AddStream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 "
                            "/Resources << >>", "1 0 0 rg 0 0 10 10 re f");
    int plain = d.b.AddStream("/PatternType 1 /PaintType 2 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 "
                              "/Resources << >>", "0 0 10 10 re f");
    d.resources = "<< /Pattern << /R " + std::to_string(red) + " 0 R /U " + std::to_string(plain) + " 0 R >> "
                  "/ColorSpace << /UP [/Pattern /DeviceRGB] >> /ExtGState << /Half << /ca 0.5 >> >> >>";
    d.content = "/Pattern cs /R scn 0 0 50 50 re f /UP cs 0 0 1 /U scn 50 0 50 50 re f "
                "q /Half gs /Pattern cs /R scn 0 50 50 50 re f Q";
    Render::RenderResult r = d.Draw();
    EXPECT_TRUE(Near(r.bitmap, 25, 75, 0xFF0000u, 3));
    EXPECT_TRUE(Near(r.bitmap, 75, 75, 0x0000FFu, 3));
    EXPECT_TRUE(Near(r.bitmap, 25, 25, 0xFF8080u, 3)) << std::hex << Rgb(r.bitmap, 25, 25);
    EXPECT_EQ(Rgb(r.bitmap, 75, 25), 0xFFFFFFu);
}

TEST(PageRenderer, TilingPatternWhoseBBoxSpansSeveralSteps)
{
    // Cells every 10 units with a BBox of 60: what the BBox holds beyond the first step
    // shows in the cells before it, so the square at 40 to 45 lands in every cell.
    RenderDoc d;
    int wide = d.b.AddStream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 60 60] /XStep 10 /YStep 10 "
                             "/Resources << >>", "0 0 1 rg 40 40 5 5 re f");
    d.resources = "<< /Pattern << /P " + std::to_string(wide) + " 0 R >> >>";
    d.content = "/Pattern cs /P scn 0 0 100 100 re f";
    Render::RenderResult r = d.Draw();
    for (int at : {2, 52, 92}) {
        EXPECT_TRUE(Near(r.bitmap, at, 99 - at, 0x0000FFu, 3)) << at << " " << std::hex << Rgb(r.bitmap, at, 99 - at);
        EXPECT_TRUE(Near(r.bitmap, at + 5, 94 - at, 0xFFFFFFu, 3)) << at;
    }
}

TEST(PageRenderer, PatternsInAFormStartFromTheFormsSpace)
{
    RenderDoc d;
    // A form drawn 10 units to the right fills its upper half with a tiling pattern (red
    // then blue cells, 10 units each) and its lower half with an axial shading from black
    // to white over 80 units: both patterns are laid out in the form's space, not the page's.
    int cells = d.b.AddStream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 20 20] /XStep 20 /YStep 20 "
                              "/Resources << >>", "1 0 0 rg 0 0 10 20 re f 0 0 1 rg 10 0 10 20 re f");
    int form = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 90 100] /Resources << /Pattern << /T " +
                                 std::to_string(cells) + " 0 R /S << /PatternType 2 /Shading << /ShadingType 2 "
                                 "/ColorSpace /DeviceGray /Coords [0 0 80 0] /Function << /FunctionType 2 /Domain [0 1] "
                                 "/C0 [0] /C1 [1] /N 1 >> /Extend [true true] >> >> >> >>",
                             "/Pattern cs /T scn 0 50 90 50 re f /S scn 0 0 90 50 re f");
    // A Type 3 glyph filled with a shading over 100 units lays it out in the page's space,
    // where it shows the glyph: the glyph at x 80 to 90 is 0.85 grey in its middle.
    int glyph = d.b.AddStream("", "100 0 d0 /Pattern cs /S scn 0 0 100 100 re f");
    std::string shading = "/S << /PatternType 2 /Shading << /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 100 0] "
                          "/Function << /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >> >> >>";
    d.resources = "<< /XObject << /X " + std::to_string(form) + " 0 R >> /Font << /T3 << /Type /Font /Subtype /Type3 "
                  "/FontBBox [0 0 100 100] /FontMatrix [0.01 0 0 0.01 0 0] /CharProcs << /a " + std::to_string(glyph) +
                  " 0 R >> /Encoding << /Differences [97 /a] >> /FirstChar 97 /LastChar 97 /Widths [100] "
                  "/Resources << /Pattern << " + shading + " >> >> >> >> >>";
    d.content = "q 1 0 0 1 10 0 cm /X Do Q BT /T3 10 Tf 80 60 Td (a) Tj ET";
    Render::RenderResult r = d.Draw();
    EXPECT_TRUE(Near(r.bitmap, 15, 25, 0xFF0000u, 3)) << std::hex << Rgb(r.bitmap, 15, 25);
    EXPECT_TRUE(Near(r.bitmap, 25, 25, 0x0000FFu, 3)) << std::hex << Rgb(r.bitmap, 25, 25);
    EXPECT_NEAR(r.bitmap.Pixel(12, 75)[0], 6, 6);  // t = 2 / 80
    EXPECT_NEAR(r.bitmap.Pixel(85, 75)[0], 239, 6);  // t = 75 / 80
    EXPECT_NEAR(r.bitmap.Pixel(85, 35)[0], 217, 8);  // t = 85 / 100
}

TEST(PageRenderer, DamagedInputDrawsWhatItCan)
{
    RenderDoc d;
    // An unknown font, an image with absurd dimensions, a missing XObject, a singular
    // matrix and garbage operators around a red square that must still be drawn.
    int img = d.b.AddStream("/Subtype /Image /Width 2000000000 /Height 2000000000 /ColorSpace /DeviceRGB /BitsPerComponent 8", "x");
    d.resources = "<< /XObject << /Big " + std::to_string(img) + " 0 R >> /Font << /F1 << /Subtype /Type1 >> >> >>";
    d.content = "BT /F1 12 Tf (x) Tj ET /Big Do /Nope Do q 0 0 0 0 0 0 cm 0 0 10 10 re f Q ]]]>> 1 0 0 rg 0 0 50 50 re f";
    Render::RenderResult r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 25, 75), 0xFF0000u);
    EXPECT_FALSE(r.complete);
    // A page too large for the bitmap cap is drawn at a lower resolution, and says so.
    d.media_box = "[0 0 14400 14400]";
    d.content = "1 0 0 rg 0 0 7200 14400 re f";
    Render::RenderOptions opt;
    opt.dpi = 600;
    r = d.Draw(opt);
    EXPECT_TRUE(r.capped);
    EXPECT_LT(r.dpi, 600);
    EXPECT_LE(static_cast<std::uint64_t>(r.bitmap.width) * r.bitmap.height, Common::Limits::kMaxRenderPixels);
    EXPECT_EQ(Rgb(r.bitmap, r.bitmap.width / 4, r.bitmap.height / 2), 0xFF0000u);
    // A page far longer than wide keeps within the widest bitmap cairo can draw.
    RenderDoc strip;
    strip.media_box = "[0 0 14400 2]";
    strip.content = "0 g 0 0 14400 2 re f";
    Render::RenderOptions big;
    big.dpi = 300;
    r = strip.Draw(big);
    EXPECT_TRUE(r.capped);
    EXPECT_LE(r.bitmap.width, Common::Limits::kMaxRenderSide);
    EXPECT_GT(r.bitmap.width, 30000);
    EXPECT_EQ(Rgb(r.bitmap, r.bitmap.width / 2, 0), 0x000000u);
}

TEST(PageRenderer, OptionalContentHiddenByDefault)
{
    RenderDoc d;
    // One group is off in the default configuration, the other on: marked content and a form of
    // the hidden group are not drawn; those of the visible one and of a membership dictionary
    // asking for any of the two to be off are.
    int off = d.b.Add("<< /Type /OCG /Name (Off) >>");
    int on = d.b.Add("<< /Type /OCG /Name (On) >>");
    auto ref = [](int n) { return std::to_string(n) + " 0 R"; };
    int form = d.b.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /OC " + ref(off), "0 0 1 rg 0 0 100 100 re f");
    d.catalog_extra = "/OCProperties << /OCGs [" + ref(off) + " " + ref(on) + "] /D << /OFF [" + ref(off) + "] >> >>";
    d.resources = "<< /XObject << /Fm " + ref(form) + " >> /Properties << /Off " + ref(off) + " /On " + ref(on) +
                  " /AnyOff << /Type /OCMD /OCGs [" + ref(off) + " " + ref(on) + "] /P /AnyOff >> >> >>";
    d.content = "/Fm Do /OC /Off BDC 1 0 0 rg 0 0 50 50 re f EMC "
                "/OC /On BDC 0 1 0 rg 50 0 50 50 re f EMC "
                "/OC /AnyOff BDC 0 0 0 rg 0 50 50 50 re f EMC";
    Render::RenderResult r = d.Draw();
    EXPECT_EQ(Rgb(r.bitmap, 25, 75), 0xFFFFFFu);  // group off: nothing, and no blue form
    EXPECT_EQ(Rgb(r.bitmap, 75, 75), 0x00FF00u);
    EXPECT_EQ(Rgb(r.bitmap, 25, 25), 0x000000u);  // one of the two is off
    EXPECT_EQ(Rgb(r.bitmap, 75, 25), 0xFFFFFFu);
}

TEST(PageRenderer, OptionalContentVisibilityExpressions)
{
    // Five strips, each marked with a membership dictionary whose expression over a group
    // that is on and one that is off decides it; the expression wins over OCGs and P.
    RenderDoc d;
    int off = d.b.Add("<< /Type /OCG /Name (Off) >>");
    int on = d.b.Add("<< /Type /OCG /Name (On) >>");
    std::string Off = std::to_string(off) + " 0 R", On = std::to_string(on) + " 0 R";
    d.catalog_extra = "/OCProperties << /OCGs [" + Off + " " + On + "] /D << /OFF [" + Off + "] >> >>";
    const std::string expressions[] = {
        "[/And " + On + " " + Off + "]",                    // hidden, although OCGs/P say shown
        "[/Or " + Off + " " + On + "]",                     // shown
        "[/Not " + Off + "]",                               // shown
        "[/And " + On + " [/Not [/Or " + Off + " " + Off + "]]]",  // shown
        "[/Not [/Or " + On + " " + Off + "]]"};             // hidden
    d.resources = "<< /Properties <<";
    for (int i = 0; i < 5; ++i) {
        d.resources += " /E" + std::to_string(i) + " << /Type /OCMD /OCGs [" + On + "] /P /AllOn /VE " + expressions[i] + " >>";
        d.content += "/OC /E" + std::to_string(i) + " BDC 0 0 1 rg 0 " + std::to_string(80 - 20 * i) + " 100 20 re f EMC ";
    }
    d.resources += " >> >>";
    Render::Bitmap bm = d.Draw().bitmap;
    const unsigned want[] = {0xFFFFFFu, 0x0000FFu, 0x0000FFu, 0x0000FFu, 0xFFFFFFu};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Rgb(bm, 50, 10 + 20 * i), want[i]) << "strip " << i;
    // A document without OCProperties has no optional content: every strip shows, whatever
    // its expression says (PDF/A-1 conversion takes OCProperties away).
    d.catalog_extra.clear();
    bm = d.Draw().bitmap;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Rgb(bm, 50, 10 + 20 * i), 0x0000FFu) << "strip " << i;
}

TEST(PageRenderer, ImageDrawnManyTimesIsDecodedTwiceAtMost)
{
    // A 2 x 2 red image whose soft mask has 2^24 samples, placed 20 times: decoded at each
    // placement it would pass the page's image work cap after 16 and the last ones would be
    // missing. The caller keeps no cache of its own; the page's keeps the image from its
    // second drawing on.
    RenderDoc d;
    int mask = d.b.AddStream("/Type /XObject /Subtype /Image /Width 16384 /Height 1024 /ColorSpace /DeviceGray "
                             "/BitsPerComponent 1",
                             std::string(16384 / 8 * 1024, '\xFF'));
    int image = d.b.AddStream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceRGB "
                              "/BitsPerComponent 8 /SMask " + std::to_string(mask) + " 0 R",
                              std::string("\xFF\0\0\xFF\0\0\xFF\0\0\xFF\0\0", 12));
    d.resources = "<< /XObject << /Im " + std::to_string(image) + " 0 R >> >>";
    for (int i = 0; i < 20; ++i)
        d.content += "q 16 0 0 20 " + std::to_string(2 + 20 * (i % 5)) + " " + std::to_string(2 + 25 * (i / 5)) + " cm /Im Do Q ";
    Render::RenderResult r = d.Draw();
    EXPECT_TRUE(r.complete);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Rgb(r.bitmap, 10 + 20 * (i % 5), 100 - 12 - 25 * (i / 5)), 0xFF0000u) << "image " << i;
    EXPECT_EQ(Rgb(r.bitmap, 1, 99), 0xFFFFFFu);
}

TEST(PageRenderer, ImageDecodedAgainCountsOnceAgainstTheWorkCap)
{
    // A 2 x 2 red image whose soft mask has just over half the page's image work cap in
    // samples, placed three times: the page's cache keeps it from its second drawing, and
    // counted at both decodes it would pass the cap and the third placement would be missing.
    RenderDoc d;
    const long rows = (Common::Limits::kMaxRenderImagePixels / 2) / 16384 + 1;
    int mask = d.b.AddStream("/Type /XObject /Subtype /Image /Width 16384 /Height " + std::to_string(rows) +
                                 " /ColorSpace /DeviceGray /BitsPerComponent 1",
                             std::string(static_cast<std::size_t>(16384 / 8 * rows), '\xFF'));
    int image = d.b.AddStream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceRGB "
                              "/BitsPerComponent 8 /SMask " + std::to_string(mask) + " 0 R",
                              std::string("\xFF\0\0\xFF\0\0\xFF\0\0\xFF\0\0", 12));
    d.resources = "<< /XObject << /Im " + std::to_string(image) + " 0 R >> >>";
    for (int i = 0; i < 3; ++i) d.content += "q 20 0 0 20 " + std::to_string(5 + 30 * i) + " 40 cm /Im Do Q ";
    Render::RenderResult r = d.Draw();
    EXPECT_TRUE(r.complete);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Rgb(r.bitmap, 15 + 30 * i, 50), 0xFF0000u) << "image " << i;
}

TEST(PageRenderer, InlineJpegAfterCarriageReturnLineFeed)
{
    // An 8 x 8 blue JPEG inline, once after ID and one space, once after ID and CR LF (the LF
    // would otherwise be read as the first byte of the JPEG data).
    auto sink = std::make_unique<Filters::MemoryFilter>();
    Filters::MemoryFilter* out = sink.get();
    Filters::DCTEncode enc(std::move(sink), {8, 8, 3});
    Filters::FilterWriter wr(enc);
    Common::Bytes blue;
    for (int i = 0; i < 64; ++i) blue.insert(blue.end(), {0, 0, 255});
    wr.WriteBuffer(blue.data(), blue.size());
    wr.Finish();
    std::string jpeg(reinterpret_cast<const char*>(out->Data().data()), out->Data().size());
    RenderDoc d;
    const std::string head = "BI /W 8 /H 8 /CS /RGB /BPC 8 /F /DCT ID";
    d.content = "q 50 0 0 100 0 0 cm " + head + " " + jpeg + "\nEI Q q 50 0 0 100 50 0 cm " + head + "\r\n" + jpeg + "\nEI Q";
    Render::Bitmap bm = d.Draw().bitmap;
    EXPECT_TRUE(Near(bm, 25, 50, 0x0000FFu, 8)) << std::hex << Rgb(bm, 25, 50);
    EXPECT_TRUE(Near(bm, 75, 50, 0x0000FFu, 8)) << std::hex << Rgb(bm, 75, 50);
}

TEST(PageRenderer, MaskFinerThanItsImage)
{
    // A one-sample blue image over the page with a two-sample mask, hiding its left half:
    // the mask keeps its own resolution rather than being read at the image's one sample.
    RenderDoc d;
    int soft = d.b.AddStream("/Type /XObject /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8",
                             std::string("\0\xFF", 2));
    int stencil = d.b.AddStream("/Type /XObject /Subtype /Image /Width 2 /Height 1 /ImageMask true", "\x80");
    auto image = [&](const std::string& mask) {
        return d.b.AddStream("/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8 " + mask,
                             std::string("\0\0\xFF", 3));
    };
    int with_soft = image("/SMask " + std::to_string(soft) + " 0 R");
    int with_stencil = image("/Mask " + std::to_string(stencil) + " 0 R");
    d.resources = "<< /XObject << /S " + std::to_string(with_soft) + " 0 R /M " + std::to_string(with_stencil) + " 0 R >> >>";
    for (const char* name : {"/S", "/M"}) {
        d.content = std::string("100 0 0 100 0 0 cm ") + name + " Do";
        Render::Bitmap bm = d.Draw().bitmap;
        EXPECT_EQ(Rgb(bm, 25, 50), 0xFFFFFFu) << name;
        EXPECT_EQ(Rgb(bm, 75, 50), 0x0000FFu) << name;
    }
}

TEST(PageRenderer, ClosingPaintOperatorsCloseThePath)
{
    // An open triangle stroked by s, and by b (filled, then stroked in blue): the edge back to
    // the start is drawn; S leaves it out.
    RenderDoc d;
    for (const char* op : {"s", "b", "b*", "S"}) {
        d.content = std::string("0 0 1 RG 1 0 0 rg 4 w 10 20 m 50 90 l 90 20 l ") + op;
        Render::Bitmap bm = d.Draw().bitmap;
        bool closing = std::string(op) != "S";
        EXPECT_EQ(Rgb(bm, 50, 80), closing ? 0x0000FFu : 0xFFFFFFu) << op;  // the bottom edge, y 20
        EXPECT_TRUE(Near(bm, 27, 50, 0x0000FFu, 8)) << op;                   // the left edge
    }
}

TEST(PageRenderer, UnfilteredContentReadOnToItsEndstream)
{
    // The page's content and a form say Length 9 but run on to their endstream: viewers
    // draw all of it, the blue square of the page and the red one of the form.
    qvx::Test::PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Resources << /XObject << /Fm 5 0 R >> >> "
             "/Contents 4 0 R >>");
    const std::string page = "0 0 1 rg 0 0 50 100 re f /Fm Do", form = "1 0 0 rg 50 0 50 100 re f";
    b.SetStream(4, "", page);
    b.SetStream(5, "/Type /XObject /Subtype /Form /BBox [0 0 100 100]", form);
    b.SetTrailer("/Root 1 0 R");
    std::string pdf = b.Build();
    for (const std::string* data : {&page, &form}) {
        const std::string given = "/Length " + std::to_string(data->size());
        const std::size_t at = pdf.find(given);
        ASSERT_NE(at, std::string::npos);
        pdf.replace(at, given.size(), "/Length 9" + std::string(given.size() - 9, ' '));
    }
    SDF::SDFDoc doc;
    doc.OpenBuffer(Common::ToBytes(pdf));
    PDF::PageTree tree(doc);
    Render::Bitmap bm = Render::RenderPage(doc, tree.GetPage(0), {}).bitmap;
    EXPECT_EQ(Rgb(bm, 25, 50), 0x0000FFu);
    EXPECT_EQ(Rgb(bm, 75, 50), 0xFF0000u);
}
