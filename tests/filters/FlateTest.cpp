#include <gtest/gtest.h>
#include <zlib.h>

#include "common/Exception.h"
#include "filters/FlateDecode.h"
#include "filters/FlateEncode.h"
#include "tests/filters/FilterTestUtil.h"

using namespace qvx::Filters;
using namespace qvx::Test;
using qvx::Common::Exception;

namespace {

// zlib's own one-shot compressor, as an independent source of Flate data.
Bytes ZlibCompress(const Bytes& data, int level = Z_DEFAULT_COMPRESSION, int window_bits = MAX_WBITS)
{
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&zs, data.size()));
    zs.next_in = const_cast<Byte*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

Bytes ZlibInflate(const Bytes& data, int window_bits = MAX_WBITS)
{
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, window_bits), Z_OK);
    Bytes out;
    Byte buf[4096];
    zs.next_in = const_cast<Byte*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    int rc;
    do {
        zs.next_out = buf;
        zs.avail_out = sizeof buf;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - zs.avail_out));
    } while (rc == Z_OK);
    EXPECT_EQ(rc, Z_STREAM_END);
    inflateEnd(&zs);
    return out;
}

Bytes Inflate(const Bytes& data, std::size_t step = 1 << 20, bool raw = false)
{
    return Decode([raw](auto in) { return std::make_unique<FlateDecode>(std::move(in), raw); }, data, step);
}

Bytes Deflate(const Bytes& data, int level = -1, bool raw = false, std::size_t step = 1 << 20)
{
    return Encode([=](auto out) { return std::make_unique<FlateEncode>(std::move(out), level, raw); }, data, step);
}

}  // namespace

TEST(FlateDecode, DecodesZlibDataWhateverTheInputWindow)
{
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{70000}, std::size_t{3u << 20}}) {
        Bytes plain = SampleData(n, static_cast<unsigned>(n));
        Bytes packed = ZlibCompress(plain);
        EXPECT_EQ(Inflate(packed), plain) << n;
        EXPECT_EQ(Inflate(packed, 1), plain) << n;
        EXPECT_EQ(Inflate(packed, 4093), plain) << n;
    }
    // Raw deflate only decodes in raw mode, and bytes after the end of the data are ignored.
    Bytes plain = SampleData(5000);
    Bytes raw = ZlibCompress(plain, 6, -MAX_WBITS);
    EXPECT_EQ(Inflate(raw, 1 << 20, true), plain);
    EXPECT_TRUE(Inflate(raw).empty());
    Bytes trailing = ZlibCompress(plain);
    trailing.insert(trailing.end(), {'\r', '\n', 'e', 'n', 'd'});
    EXPECT_EQ(Inflate(trailing), plain);
}

TEST(FlateDecode, DamageEndsTheDataWithWhatCameBefore)
{
    Bytes plain = SampleData(400000, 7);
    Bytes packed = ZlibCompress(plain);

    // Truncated: a prefix of the original, most of it.
    Bytes cut(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2));
    Bytes got = Inflate(cut, 777);
    ASSERT_GT(got.size(), plain.size() / 4);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin()));

    // A corrupt tail: garbage over the last quarter; no exception, a correct prefix (the
    // garbage itself may still inflate to something).
    Bytes bad = packed;
    for (std::size_t i = bad.size() * 3 / 4; i < bad.size(); ++i) bad[i] = static_cast<Byte>(i * 37);
    EXPECT_NO_THROW(got = Inflate(bad));
    ASSERT_GT(got.size(), plain.size() / 2);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(plain.size() / 2), plain.begin()));

    // A wrong checksum still yields all the data; a bad header or no data yields nothing.
    Bytes sum = packed;
    sum.back() ^= 0xFF;
    EXPECT_EQ(Inflate(sum), plain);
    EXPECT_TRUE(Inflate(Bytes{0x78, 0x9C}).empty());
    EXPECT_TRUE(Inflate(Bytes{'h', 'e', 'l', 'l', 'o'}).empty());
    EXPECT_TRUE(Inflate(Bytes{}).empty());
}

TEST(FlateDecode, OutputBudgetStopsBombs)
{
    Bytes zeros(64u << 20, 0);
    Bytes bomb = ZlibCompress(zeros, 9);
    ASSERT_LT(bomb.size(), 100000u);

    FlateDecode limited(std::make_unique<MemoryFilter>(bomb));
    limited.SetOutputBudget(1u << 20);
    FilterReader r(limited);
    try {
        r.ReadAll();
        FAIL() << "budget not enforced";
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetMessage(), "Decoded data of FlateDecode exceeds the size limit");
    }
    // At most one buffer past the budget was decoded before the stop.
    EXPECT_LT(limited.Count(), 2u << 20);

    // Exactly at the budget is fine.
    FlateDecode exact(std::make_unique<MemoryFilter>(bomb));
    exact.SetOutputBudget(zeros.size());
    FilterReader r2(exact);
    EXPECT_EQ(r2.Skip(zeros.size() + 1), zeros.size());
}

TEST(FlateEncode, OutputIsStandardZlibAtEveryLevel)
{
    Bytes plain = SampleData(300000, 3);
    for (int level : {-1, 0, 1, 6, 9}) {
        Bytes packed = Deflate(plain, level, false, 1000);
        EXPECT_EQ(ZlibInflate(packed), plain) << level;
        EXPECT_EQ(Inflate(packed), plain) << level;
    }
    // Levels above 9 are 9 and negative levels are zlib's default.
    EXPECT_EQ(Deflate(plain, 42), Deflate(plain, 9));
    EXPECT_EQ(Deflate(plain, -7), Deflate(plain, 6));
    EXPECT_LT(Deflate(plain, 9).size(), Deflate(plain, 0).size() / 2);

    Bytes raw = Deflate(plain, -1, true);
    EXPECT_EQ(ZlibInflate(raw, -MAX_WBITS), plain);
    EXPECT_EQ(Inflate(raw, 1 << 20, true), plain);
    EXPECT_EQ(ZlibInflate(Deflate(Bytes{})), Bytes{});

    FlateEncode enc(std::make_unique<MemoryFilter>());
    EXPECT_STREQ(enc.GetName(), "FlateEncode");
    EXPECT_STREQ(enc.GetDecodeName(), "FlateDecode");
}

TEST(FlateEncode, SinkThatStopsTakingBytesThrows)
{
    Bytes noise = SampleData(200000, 9);
    for (auto& b : noise) b = static_cast<Byte>(b * 131 + 7);
    FlateEncode enc(std::make_unique<FullSink>(1000));
    FilterWriter w(enc);
    try {
        w.WriteBuffer(noise);
        w.Finish();
        FAIL() << "a full sink went unnoticed";
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetMessage(), "The attached stream is corrupt");
    }
}
