// DeviceCMYK drawn through the output intent's profile, when the document has one, and device
// colour through the Default spaces of the resources.

#include <gtest/gtest.h>
#include <lcms2.h>

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

}  // namespace

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
    EXPECT_EQ(Rgb(plain.bitmap, 25, 25), 0x000000u);  // no intent: the plain formula
    EXPECT_EQ(Rgb(plain.bitmap, 75, 25), 0x00FFFFu);
    EXPECT_EQ(Rgb(plain.bitmap, 50, 75), 0x000000u);

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
