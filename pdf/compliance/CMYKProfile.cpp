// The CMYK profile that conversion gives DeviceCMYK under an RGB or gray output intent. No
// freely licensed CMYK profile ships with the system, so it is built here with Little CMS:
// ICC version 2.1 (PDF/A-1 reads no later one), an input profile of CMYK data with a Lab
// connection space, whose one table holds the renderer's own DeviceCMYK colours (printed
// inks as the common readers show them), so that a page drawn through the profile looks as it
// did drawn in DeviceCMYK, in those readers as in ours.
#include <lcms2.h>

#include <memory>

#include "common/Exception.h"
#include "pdf/compliance/ColourRepair.h"
#include "pdf/compliance/OutputIntents.h"
#include "render/ColourConvert.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

namespace {

// Grid points per channel of the CMYK to Lab table: the colours between them come within
// two 8-bit steps of the formula (17 points would triple the profile's 170 KB).
constexpr cmsUInt32Number kGridPoints = 13;

struct ProfileCloser {
    void operator()(void* h) const { cmsCloseProfile(h); }
};
struct TransformDeleter {
    void operator()(void* h) const { cmsDeleteTransform(h); }
};
struct PipelineFreer {
    void operator()(cmsPipeline* p) const { cmsPipelineFree(p); }
};
struct MluFreer {
    void operator()(cmsMLU* m) const { cmsMLUfree(m); }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;

// One grid point: CMYK through the renderer's formula into sRGB, then into Lab (D50) as the
// renderer's colour library reads sRGB, in the version 2 Lab encoding of 16-bit tables.
cmsInt32Number SampleGridPoint(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo)
{
    Render::RGB rgb = Render::ColourConvert::CmykFormula(in[0] / 65535.0, in[1] / 65535.0, in[2] / 65535.0,
                                                         in[3] / 65535.0);
    const double srgb[3] = {rgb.r, rgb.g, rgb.b};
    cmsCIELab lab;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), srgb, &lab, 1);
    cmsFloat2LabEncodedV2(out, &lab);
    return TRUE;
}

void WriteText(cmsHPROFILE h, cmsTagSignature sig, const char* text)
{
    std::unique_ptr<cmsMLU, MluFreer> mlu(cmsMLUalloc(nullptr, 1));
    QVX_CHECK(mlu && cmsMLUsetASCII(mlu.get(), "en", "US", text) && cmsWriteTag(h, sig, mlu.get()),
              "The CMYK profile's text tags could not be written");
}

Common::Bytes BuildCMYKProfile()
{
    ProfilePtr srgb(cmsCreate_sRGBProfile()), lab(cmsCreateLab4Profile(nullptr));
    QVX_CHECK(srgb && lab, "lcms2 could not make the sRGB and Lab profiles");
    std::unique_ptr<void, TransformDeleter> to_lab(cmsCreateTransform(
        srgb.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    QVX_CHECK(to_lab != nullptr, "lcms2 could not make the sRGB to Lab transform");

    std::unique_ptr<cmsPipeline, PipelineFreer> lut(cmsPipelineAlloc(nullptr, 4, 3));
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, kGridPoints, 4, 3, nullptr);
    QVX_CHECK(lut && clut, "lcms2 could not allocate the CMYK table");
    QVX_CHECK(cmsPipelineInsertStage(lut.get(), cmsAT_END, clut) &&
                  cmsStageSampleCLut16bit(clut, SampleGridPoint, to_lab.get(), 0),
              "lcms2 could not fill the CMYK table");

    ProfilePtr profile(cmsCreateProfilePlaceholder(nullptr));
    cmsHPROFILE h = profile.get();
    QVX_CHECK(h != nullptr, "lcms2 could not make a profile");
    cmsSetProfileVersion(h, 2.1);
    cmsSetDeviceClass(h, cmsSigInputClass);
    cmsSetColorSpace(h, cmsSigCmykData);
    cmsSetPCS(h, cmsSigLabData);
    cmsSetHeaderRenderingIntent(h, INTENT_PERCEPTUAL);
    WriteText(h, cmsSigProfileDescriptionTag, "Tolva DeviceCMYK");
    WriteText(h, cmsSigCopyrightTag, "No copyright, use freely");
    QVX_CHECK(cmsWriteTag(h, cmsSigMediaWhitePointTag, cmsD50_XYZ()) && cmsWriteTag(h, cmsSigAToB0Tag, lut.get()),
              "The CMYK profile's tags could not be written");

    cmsUInt32Number size = 0;
    QVX_CHECK(cmsSaveProfileToMem(h, nullptr, &size) && size > 128, "lcms2 could not size the CMYK profile");
    Common::Bytes bytes(size);
    QVX_CHECK(cmsSaveProfileToMem(h, bytes.data(), &size), "lcms2 could not write the CMYK profile");
    // The creation date (header bytes 24 to 35) is the day this profile was designed, not the
    // run's, so that every run writes the same bytes.
    const std::uint16_t date[6] = {2026, 12, 7, 0, 0, 0};
    for (int i = 0; i < 6; ++i) {
        bytes[24 + 2 * i] = static_cast<std::uint8_t>(date[i] >> 8);
        bytes[25 + 2 * i] = static_cast<std::uint8_t>(date[i]);
    }
    return bytes;
}

}  // namespace

const Common::Bytes& CMYKProfileBytes()
{
    static const Common::Bytes bytes = BuildCMYKProfile();
    return bytes;
}

const Common::Bytes& CMYKProfileStored()
{
    static const Common::Bytes stored = SDF::FlateBytes(CMYKProfileBytes());
    return stored;
}

}  // namespace qvx::PDF
