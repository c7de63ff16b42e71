#include <gtest/gtest.h>

#include "filters/DCTDecode.h"
#include "filters/DCTEncode.h"
#include "tests/filters/ImageTestUtil.h"
#include "tests/support/PdfBuilder.h"

using namespace qvx::Filters;
using namespace qvx::Test;
using qvx::Common::Exception;

namespace {

std::string Grey(int w, int h) { return MakePnm(w, h, 1, 255, Picture(w, h, 1, 255)); }
std::string Rgb(int w, int h) { return MakePnm(w, h, 3, 255, Picture(w, h, 3, 255)); }

Bytes Decode(const Bytes& jpeg, int color_transform = -1, std::size_t step = 0)
{
    std::unique_ptr<Filter> in = step ? std::unique_ptr<Filter>(std::make_unique<TrickleFilter>(jpeg, step))
                                      : std::make_unique<MemoryFilter>(jpeg);
    DCTDecode dec(std::move(in), color_transform);
    return ReadAll(dec);
}

// Full-range JFIF YCbCr to RGB, as libjpeg computes it up to rounding.
Bytes YccToRgb(const Bytes& ycc)
{
    Bytes rgb(ycc.size());
    for (std::size_t i = 0; i + 2 < ycc.size(); i += 3) {
        double y = ycc[i], cb = ycc[i + 1] - 128.0, cr = ycc[i + 2] - 128.0;
        double v[3] = {y + 1.402 * cr, y - 0.344136 * cb - 0.714136 * cr, y + 1.772 * cb};
        for (int c = 0; c < 3; ++c) rgb[i + c] = Byte(std::clamp(v[c] + 0.5, 0.0, 255.0));
    }
    return rgb;
}

std::size_t FindMarker(const Bytes& jpeg, Byte marker)
{
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
    return std::string::npos;
}

Exception DecodeError(const Bytes& jpeg)
{
    try {
        Decode(jpeg);
    } catch (const Exception& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return Exception("", "", "", "", 0);
}

}  // namespace

// Every kind of JPEG the encoders commonly write decodes to exactly what djpeg gives,
// however the input arrives.
TEST(DCTDecode, MatchesDjpeg)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::string pnm;
        std::vector<std::string> options;
        int channels;
    };
    const std::vector<Case> cases = {
        {"baseline grey", Grey(203, 101), {}, 1},
        {"baseline rgb 4:2:0", Rgb(203, 101), {}, 3},
        {"baseline rgb 4:4:4 q95", Rgb(64, 64), {"-sample", "1x1", "-quality", "95"}, 3},
        {"progressive rgb", Rgb(311, 157), {"-progressive"}, 3},
        {"progressive grey", Grey(97, 211), {"-progressive"}, 1},
        {"restart every row", Rgb(150, 90), {"-restart", "1"}, 3},
        {"restart every 3 blocks", Grey(150, 90), {"-restart", "3B"}, 1},
        {"optimized tables", Rgb(77, 33), {"-optimize"}, 3},
        {"arithmetic coding", Rgb(77, 33), {"-arithmetic"}, 3},
        {"rgb without transform (Adobe)", Rgb(100, 60), {"-rgb"}, 3},
        {"one pixel", Rgb(1, 1), {}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes jpeg = Cjpeg(dir, c.pnm, c.options);
        std::optional<Pnm> ref = Djpeg(dir, jpeg);
        ASSERT_TRUE(ref);
        ASSERT_EQ(ref->channels, c.channels);
        EXPECT_EQ(Decode(jpeg), ref->data);
        EXPECT_EQ(Decode(jpeg, -1, 5), ref->data);

        DCTDecode dec(std::make_unique<MemoryFilter>(jpeg));
        EXPECT_EQ(dec.GetWidth(), ref->width);
        EXPECT_EQ(dec.GetHeight(), ref->height);
        EXPECT_EQ(dec.GetComponents(), c.channels);
    }
}

// ColorTransform: absent follows the Adobe marker, else transforms three components;
// 0 keeps the stored YCbCr; 1 transforms even an Adobe "no transform" image.
TEST(DCTDecode, ColorTransformRules)
{
    TempDir dir;
    const std::string pnm = Rgb(96, 64);
    Bytes ycc_jpeg = Cjpeg(dir, pnm, {"-sample", "1x1"});
    Bytes rgb = Djpeg(dir, ycc_jpeg)->data;
    EXPECT_EQ(Decode(ycc_jpeg, 1), rgb);
    Bytes stored = Decode(ycc_jpeg, 0);
    ASSERT_EQ(stored.size(), rgb.size());
    EXPECT_GT(Compare(stored, rgb).mean, 20);
    Difference back = Compare(YccToRgb(stored), rgb);
    EXPECT_LE(back.max, 2);

    Bytes adobe_rgb = Cjpeg(dir, pnm, {"-rgb", "-sample", "1x1"});
    Bytes plain = Djpeg(dir, adobe_rgb)->data;
    EXPECT_EQ(Decode(adobe_rgb), plain);
    EXPECT_EQ(Decode(adobe_rgb, 0), plain);
    EXPECT_LE(Compare(Decode(adobe_rgb, 1), YccToRgb(plain)).max, 2);
}

// Four components come out as stored, the way poppler's pdfimages extracts a DeviceCMYK
// image; an Adobe marker asking for YCCK is honoured unless ColorTransform says 0.
TEST(DCTDecode, CmykAsStoredAndYcck)
{
    const int w = 64, h = 40;
    std::vector<unsigned> px = Picture(w, h, 4, 255);
    Bytes samples(px.begin(), px.end());
    MemoryFilter* sink = nullptr;
    {
        auto out = std::make_unique<MemoryFilter>();
        sink = out.get();
        DCTEncode enc(std::move(out), {w, h, 4});
        FilterWriter wr(enc);
        wr.WriteBuffer(samples.data(), samples.size());
        wr.Finish();
        Bytes jpeg(sink->Data().begin(), sink->Data().end());

        Bytes cmyk = Decode(jpeg);
        EXPECT_LE(Compare(cmyk, samples).mean, 2.0);

        TempDir dir;
        PdfBuilder pdf = PdfBuilder::Minimal();
        int im = pdf.AddStream("/Type /XObject /Subtype /Image /Width 64 /Height 40 /ColorSpace /DeviceCMYK "
                               "/BitsPerComponent 8 /Filter /DCTDecode",
                               ToString(jpeg));
        pdf.SetStream(4, "", "q 64 0 0 40 0 0 cm /Im Do Q");
        pdf.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 64 40] /Contents 4 0 R /Resources << /XObject << /Im " +
                       std::to_string(im) + " 0 R >> >> >>");
        auto file = dir.Write("cmyk.pdf", pdf.Build());
        RunTool({"pdfimages", "-tiff", file.string(), (dir.Path() / "img").string()});
        EXPECT_EQ(TiffStrips(ReadFile(dir.Path() / "img-000.tif")), cmyk);

        // The Adobe segment ends with the transform flag (marker, length, "Adobe", three
        // 16-bit fields, flag): 2 means YCCK.
        std::size_t app14 = FindMarker(jpeg, 0xEE);
        ASSERT_NE(app14, std::string::npos);
        Bytes ycck = jpeg;
        ycck[app14 + 15] = 2;
        Bytes transformed = Decode(ycck);
        EXPECT_GT(Compare(transformed, cmyk).mean, 10);
        EXPECT_EQ(Decode(ycck, 0), cmyk);
        EXPECT_EQ(Decode(jpeg, 1), transformed);
    }
}

// Damage after the header costs image quality, never an exception; damage before it,
// or an image too large to allocate, throws from Initialize.
TEST(DCTDecode, DamagedAndHostileData)
{
    TempDir dir;
    Bytes jpeg = Cjpeg(dir, Rgb(160, 120), {});
    const std::size_t sos = FindMarker(jpeg, 0xDA);
    ASSERT_NE(sos, std::string::npos);

    Bytes truncated(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(sos + (jpeg.size() - sos) / 2));
    Bytes garbled = jpeg;
    for (std::size_t i = sos + 40; i < sos + 400 && i + 2 < garbled.size(); i += 7) garbled[i] ^= 0x5A;
    for (const Bytes* damaged : {&truncated, &garbled}) {
        std::optional<Pnm> ref = Djpeg(dir, *damaged);
        ASSERT_TRUE(ref);
        Bytes got;
        EXPECT_NO_THROW(got = Decode(*damaged));
        EXPECT_EQ(got, ref->data);
    }

    Exception not_jpeg = DecodeError(ToBytes("%PDF-1.7 this is not a JPEG"));
    EXPECT_EQ(not_jpeg.GetFunction(), "Initialize");
    EXPECT_NE(not_jpeg.GetMessage().find("Not a JPEG file"), std::string::npos) << not_jpeg.GetMessage();
    EXPECT_EQ(DecodeError(Bytes(jpeg.begin(), jpeg.begin() + 100)).GetFunction(), "Initialize");
    EXPECT_EQ(DecodeError({}).GetFunction(), "Initialize");

    // SOF0: length(2) precision(1) height(2) width(2).
    const std::size_t sof = FindMarker(jpeg, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    Bytes huge = jpeg;
    huge[sof + 5] = huge[sof + 7] = 0xFF;  // 65280 x 65280, within JPEG's own limit
    huge[sof + 6] = huge[sof + 8] = 0x00;
    Exception too_large = DecodeError(huge);
    EXPECT_EQ(too_large.GetMessage(), "DCTDecode: the image is too large");
    EXPECT_EQ(too_large.GetFunction(), "Initialize");

    DCTDecode budget(std::make_unique<MemoryFilter>(jpeg));
    budget.SetOutputBudget(1000);
    EXPECT_THROW(ReadAll(budget), Exception);
}

// An exception from the stage below reaches the caller intact, from inside the library's
// callbacks, both while the header is read and in the middle of the scan.
TEST(DCTDecode, LowerStageErrorsPassThrough)
{
    TempDir dir;
    Bytes jpeg = Cjpeg(dir, Grey(300, 300), {});
    const std::size_t sos = FindMarker(jpeg, 0xDA);
    ASSERT_NE(sos, std::string::npos);
    for (std::size_t limit : {std::size_t(10), sos + (jpeg.size() - sos) / 2}) {
        SCOPED_TRACE(limit);
        DCTDecode dec(std::make_unique<FailingFilter>(jpeg, limit));
        try {
            ReadAll(dec);
            FAIL() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.GetMessage(), "lower stage failed");
        }
        EXPECT_EQ(ReadAll(dec).size(), 0u);
    }
}
