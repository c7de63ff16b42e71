// DeviceCMYK drawn as printed inks, or through the output intent's profile when the document
// has one, and device colour through the Default spaces of the resources.

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>

#include "render/ColourConvert.h"
#include "tests/render/RenderTestDoc.h"

using namespace qvx;
using qvx::Test::Near;
using qvx::Test::RenderDoc;
using qvx::Test::Rgb;

namespace {

// A CMYK printer profile whose colours cannot be mistaken for the plain formula's:
// L = 30 + 40 (1 - k), a = 60 (1 - c), b = 0 (full cyan is gray, full black a dark red).
int Sampler(const cmsUInt16Number in[], cmsUInt16Number out[], void*)
{
    double c = in[0] / 65535.0, k = in[3] / 65535.0;
    cmsCIELab lab{30 + 40 * (1 - k), 60 * (1 - c), 0};
    cmsFloat2LabEncoded(out, &lab);
    return 1;
}

std::string PinkCmykProfile()
{
    cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(p, 2.1);
    cmsSetDeviceClass(p, cmsSigOutputClass);
    cmsSetColorSpace(p, cmsSigCmykData);
    cmsSetPCS(p, cmsSigLabData);
    cmsWriteTag(p, cmsSigMediaWhitePointTag, const_cast<cmsCIEXYZ*>(cmsD50_XYZ()));
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 3, 4, 3, nullptr);
    cmsStageSampleCLut16bit(clut, Sampler, nullptr, 0);
    cmsPipelineInsertStage(lut, cmsAT_BEGIN, clut);
    cmsWriteTag(p, cmsSigAToB0Tag, lut);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p, nullptr, &size);
    std::string bytes(size, '\0');
    cmsSaveProfileToMem(p, bytes.data(), &size);
    cmsPipelineFree(lut);
    cmsCloseProfile(p);
    return bytes;
}

// What the profile makes of a CMYK colour in sRGB, as 0xRRGGBB.
unsigned Expected(const std::string& profile, std::uint8_t c, std::uint8_t m, std::uint8_t y, std::uint8_t k)
{
    cmsHPROFILE in = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_CMYK_8, out, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    std::uint8_t src[4] = {c, m, y, k}, dst[3] = {};
    cmsDoTransform(t, src, dst, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    return static_cast<unsigned>(dst[0]) << 16 | dst[1] << 8 | dst[2];
}

// What DeviceCMYK is drawn as without an output intent, as 0xRRGGBB.
unsigned Formula(double c, double m, double y, double k)
{
    using Render::ColourConvert;
    Render::RGB v = ColourConvert::CmykFormula(c, m, y, k);
    return static_cast<unsigned>(ColourConvert::ToByte(v.r)) << 16 | ColourConvert::ToByte(v.g) << 8 |
           ColourConvert::ToByte(v.b);
}

}  // namespace

TEST(OutputIntent, DeviceCMYKWithoutIntentIsPrintedInk)
{
    using Render::ColourConvert;
    auto near = [](const Render::RGB& a, const Render::RGB& b) {
        return std::abs(a.r - b.r) < 1e-9 && std::abs(a.g - b.g) < 1e-9 && std::abs(a.b - b.b) < 1e-9;
    };
    Render::RGB paper = ColourConvert::CmykFormula(0, 0, 0, 0);
    EXPECT_TRUE(near(paper, {1, 1, 1}));
    // Each ink takes most from its own channel: cyan from red, magenta from green, yellow from blue.
    Render::RGB c = ColourConvert::CmykFormula(1, 0, 0, 0), m = ColourConvert::CmykFormula(0, 1, 0, 0),
                y = ColourConvert::CmykFormula(0, 0, 1, 0);
    EXPECT_LT(c.r + 0.3, std::min(c.g, c.b));
    EXPECT_LT(m.g + 0.3, std::min(m.r, m.b));
    EXPECT_LT(y.b + 0.3, std::min(y.r, y.g));
    // Black ink alone prints a near-neutral dark grey; all four inks print darker still.
    Render::RGB k = ColourConvert::CmykFormula(0, 0, 0, 1), all = ColourConvert::CmykFormula(1, 1, 1, 1);
    EXPECT_GT(std::min({k.r, k.g, k.b}), 0.05);
    EXPECT_LT(std::max({k.r, k.g, k.b}), 0.2);
    EXPECT_LT(std::max({k.r, k.g, k.b}) - std::min({k.r, k.g, k.b}), 0.03);
    EXPECT_LT(all.r + all.g + all.b, k.r + k.g + k.b);
    // A tint is a halftone: half coverage of an ink shows the mean of none and all of it,
    // whatever the other inks; out-of-range components are clamped.
    const double steps[] = {0, 0.3, 1};
    for (int ink = 0; ink < 4; ++ink)
        for (double a : steps)
            for (double b : steps)
                for (double d : steps) {
                    double v[4] = {a, b, d, a}, lo[4], hi[4];
                    std::copy(v, v + 4, lo), std::copy(v, v + 4, hi);
                    v[ink] = 0.5, lo[ink] = 0, hi[ink] = 1;
                    Render::RGB mid = ColourConvert::CmykFormula(v[0], v[1], v[2], v[3]);
                    Render::RGB p = ColourConvert::CmykFormula(lo[0], lo[1], lo[2], lo[3]);
                    Render::RGB q = ColourConvert::CmykFormula(hi[0], hi[1], hi[2], hi[3]);
                    EXPECT_TRUE(near(mid, {(p.r + q.r) / 2, (p.g + q.g) / 2, (p.b + q.b) / 2})) << ink << " " << a;
                    hi[ink] = 7;
                    EXPECT_TRUE(near(q, ColourConvert::CmykFormula(hi[0], hi[1], hi[2], hi[3])));
                }
}

TEST(OutputIntent, CmykImageAndFillThroughTheProfile)
{
    std::string profile = PinkCmykProfile();
    unsigned black = Expected(profile, 0, 0, 0, 255);
    unsigned cyan = Expected(profile, 255, 0, 0, 0);
    ASSERT_GT(black >> 16, (black >> 8 & 255) + 40);  // reddish
    ASSERT_NE(cyan, 0x00FFFFu);

    RenderDoc d;
    // A 2 x 1 CMYK image (full black, full cyan) on the upper half, a black fill below.
    int img = d.b.AddStream("/Type /XObject /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceCMYK /BitsPerComponent 8",
                            std::string("\x00\x00\x00\xFF\xFF\x00\x00\x00", 8));
    int icc = d.b.AddStream("/N 4", profile);
    d.resources = "<< /XObject << /Im " + std::to_string(img) + " 0 R >> >>";
    d.content = "q 100 0 0 50 0 50 cm /Im Do Q 0 0 0 1 k 0 0 100 50 re f";
    Render::RenderResult plain = d.Draw();
    EXPECT_EQ(Rgb(plain.bitmap, 25, 25), Formula(0, 0, 0, 1));  // no intent: the formula
    EXPECT_EQ(Rgb(plain.bitmap, 75, 25), Formula(1, 0, 0, 0));
    EXPECT_EQ(Rgb(plain.bitmap, 50, 75), Formula(0, 0, 0, 1));

    d.catalog_extra = "/OutputIntents [<< /Type /OutputIntent /S /GTS_PDFA1 /OutputConditionIdentifier (Pink) "
                      "/DestOutputProfile " + std::to_string(icc) + " 0 R >>]";
    Render::RenderResult r = d.Draw();
    EXPECT_TRUE(Near(r.bitmap, 25, 25, black, 2)) << std::hex << Rgb(r.bitmap, 25, 25) << " want " << black;
    EXPECT_TRUE(Near(r.bitmap, 75, 25, cyan, 2)) << std::hex << Rgb(r.bitmap, 75, 25) << " want " << cyan;
    EXPECT_TRUE(Near(r.bitmap, 50, 75, black, 2)) << std::hex << Rgb(r.bitmap, 50, 75) << " want " << black;
}

TEST(OutputIntent, DeviceColourDrawnInTheDefaultSpaces)
{
    // DefaultCMYK and DefaultRGB of the page turn every CMYK colour green and every RGB
    // colour blue, in fills and in images; a form with resources of its own and no Default
    // keeps device colour as it is.
    RenderDoc d;
    d.resources = "<< /ColorSpace << /DefaultCMYK [/DeviceN [/C /M /Y /K] /DeviceRGB 5 0 R]"
                  " /DefaultRGB [/DeviceN [/R /G /B] /DeviceRGB 6 0 R] >>"
                  " /XObject << /Im 7 0 R /Fm 8 0 R >> >>";
    d.b.SetStream(5, "/FunctionType 4 /Domain [0 1 0 1 0 1 0 1] /Range [0 1 0 1 0 1]", "{ pop pop pop pop 0 1 0 }");
    d.b.SetStream(6, "/FunctionType 4 /Domain [0 1 0 1 0 1] /Range [0 1 0 1 0 1]", "{ pop pop pop 0 0 1 }");
    d.b.SetStream(7, "/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceCMYK /BitsPerComponent 8",
                  std::string("\0\0\0\0", 4));
    d.b.SetStream(8, "/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Resources << >>",
                  "1 0 0 rg 75 0 25 100 re f");
    d.content = "0 0 0 0 k 0 0 25 100 re f 1 1 1 rg 25 0 25 100 re f q 25 0 0 100 50 0 cm /Im Do Q /Fm Do";
    Render::RenderResult r = d.Draw();
    EXPECT_TRUE(Near(r.bitmap, 12, 50, 0x00ff00)) << std::hex << Rgb(r.bitmap, 12, 50);
    EXPECT_TRUE(Near(r.bitmap, 37, 50, 0x0000ff)) << std::hex << Rgb(r.bitmap, 37, 50);
    EXPECT_TRUE(Near(r.bitmap, 62, 50, 0x00ff00)) << std::hex << Rgb(r.bitmap, 62, 50);
    EXPECT_TRUE(Near(r.bitmap, 87, 50, 0xff0000)) << std::hex << Rgb(r.bitmap, 87, 50);
}
