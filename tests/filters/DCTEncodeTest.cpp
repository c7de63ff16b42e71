#include <gtest/gtest.h>

#include "filters/DCTDecode.h"
#include "filters/DCTEncode.h"
#include "tests/filters/ImageTestUtil.h"

using namespace qvx::Filters;
using namespace qvx::Test;
using qvx::Common::Exception;

namespace {

// Encodes through a writer in uneven pieces, as a caller producing rows would.
Bytes Encode(const DCTEncodeParams& p, const Bytes& samples)
{
    auto out = std::make_unique<MemoryFilter>();
    MemoryFilter* sink = out.get();
    DCTEncode enc(std::move(out), p);
    FilterWriter wr(enc);
    for (std::size_t at = 0; at < samples.size();) {
        std::size_t n = std::min<std::size_t>(samples.size() - at, 1 + at % 9973);
        wr.WriteBuffer(samples.data() + at, n);
        at += n;
    }
    wr.Finish();
    return Bytes(sink->Data().begin(), sink->Data().end());
}

}  // namespace

// Grey and RGB round trips: djpeg reads our output back within JPEG tolerance, and at
// the default quality the bytes are the ones cjpeg writes for the same picture.
TEST(DCTEncode, RoundTripThroughDjpeg)
{
    TempDir dir;
    for (int channels : {1, 3}) {
        SCOPED_TRACE(channels);
        const int w = 173, h = 91;
        std::vector<unsigned> px = Picture(w, h, channels, 255);
        Bytes samples(px.begin(), px.end());
        Bytes jpeg = Encode({w, h, channels}, samples);
        ASSERT_GT(jpeg.size(), 4u);
        EXPECT_EQ(jpeg[0], 0xFF);
        EXPECT_EQ(jpeg[1], 0xD8);

        std::optional<Pnm> back = Djpeg(dir, jpeg);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->width, w);
        EXPECT_EQ(back->height, h);
        ASSERT_EQ(back->channels, channels);
        Difference d = Compare(back->data, samples);
        EXPECT_LT(d.mean, 3.0);
        EXPECT_LT(d.max, 48);

        EXPECT_EQ(jpeg, Cjpeg(dir, MakePnm(w, h, channels, 255, px), {}));
        Bytes better = Encode({w, h, channels, 98}, samples);
        EXPECT_GT(better.size(), jpeg.size());
        EXPECT_LT(Compare(Djpeg(dir, better)->data, samples).mean, d.mean);
    }
}

// Four components survive the round trip as the same CMYK values.
TEST(DCTEncode, CmykRoundTrip)
{
    const int w = 40, h = 33;
    std::vector<unsigned> px = Picture(w, h, 4, 255);
    Bytes samples(px.begin(), px.end());
    Bytes jpeg = Encode({w, h, 4}, samples);
    DCTDecode dec(std::make_unique<MemoryFilter>(jpeg));
    EXPECT_EQ(dec.GetComponents(), 4);
    Difference d = Compare(ReadAll(dec), samples);
    EXPECT_LT(d.mean, 3.0);
    EXPECT_LT(d.max, 48);
}

// Wrong geometry is refused up front; too little or too much sample data is an error.
TEST(DCTEncode, RefusesBadGeometryAndData)
{
    EXPECT_THROW(DCTEncode(std::make_unique<MemoryFilter>(), {0, 10, 3}), Exception);
    EXPECT_THROW(DCTEncode(std::make_unique<MemoryFilter>(), {10, 10, 2}), Exception);
    EXPECT_THROW(DCTEncode(std::make_unique<MemoryFilter>(), {70000, 10, 1}), Exception);
    EXPECT_THROW(DCTEncode(std::make_unique<MemoryFilter>(), {60000, 60000, 1}), Exception);

    Bytes row(30, 128);
    EXPECT_THROW(Encode({10, 2, 3}, row), Exception);
    EXPECT_THROW(Encode({10, 1, 3}, Bytes(31, 128)), Exception);
    EXPECT_NO_THROW(Encode({10, 1, 3}, row));
}
