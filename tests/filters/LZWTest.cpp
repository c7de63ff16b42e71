#include <gtest/gtest.h>

#include "filters/LZWDecode.h"
#include "filters/LZWEncode.h"
#include "tests/filters/FilterTestUtil.h"

using namespace qvx::Filters;
using namespace qvx::Test;

namespace {

Bytes Unlzw(const Bytes& data, int early = 1, std::size_t step = 1 << 20)
{
    return Decode([early](auto in) { return std::make_unique<LZWDecode>(std::move(in), early); }, data, step);
}

Bytes Lzw(const Bytes& data, int early = 1, std::size_t step = 1 << 20)
{
    return Encode([early](auto out) { return std::make_unique<LZWEncode>(std::move(out), early); }, data, step);
}

// Packs codes most significant bit first, each with its own width.
Bytes Pack(const std::vector<std::pair<int, int>>& codes)
{
    Bytes out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc = acc << width | static_cast<std::uint32_t>(code);
        bits += width;
        for (; bits >= 8; bits -= 8) out.push_back(static_cast<Byte>(acc >> (bits - 8)));
    }
    if (bits) out.push_back(static_cast<Byte>(acc << (8 - bits)));
    return out;
}

}  // namespace

TEST(LZWDecode, DecodesTheClassicExample)
{
    // 45 45 45 45 45 65 45 45 45 66 as codes 256 45 258 258 65 259 66 257.
    Bytes packed = {0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01};
    Bytes plain = {0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x41, 0x2D, 0x2D, 0x2D, 0x42};
    EXPECT_EQ(Unlzw(packed), plain);
    EXPECT_EQ(Unlzw(packed, 1, 1), plain);
    EXPECT_EQ(Lzw(plain), packed);
}

TEST(LZWDecode, RoundTripsAcrossWidthsAndTableResets)
{
    for (int early : {0, 1}) {
        for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{3000}, std::size_t{600000}}) {
            Bytes plain = SampleData(n, static_cast<unsigned>(n) + 11);
            Bytes packed = Lzw(plain, early, 999);
            EXPECT_EQ(Unlzw(packed, early), plain) << early << " " << n;
            EXPECT_EQ(Unlzw(packed, early, 3), plain) << early << " " << n;
            if (n > 100000) {
                EXPECT_NE(Unlzw(packed, 1 - early), plain);
            }
        }
    }
    // A long string whose codes fill the table fast, and one single byte value.
    Bytes zeros(1 << 20, 0);
    Bytes packed = Lzw(zeros);
    EXPECT_LT(packed.size(), 20000u);
    EXPECT_EQ(Unlzw(packed), zeros);
}

TEST(LZWDecode, DamageEndsQuietly)
{
    Bytes plain = SampleData(50000, 4);
    Bytes packed = Lzw(plain);
    Bytes cut(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2));
    Bytes got = Unlzw(cut);
    ASSERT_GT(got.size(), plain.size() / 4);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin()));

    // A code past the next free entry ends the data; so does one in place of the first.
    EXPECT_EQ(Unlzw(Pack({{256, 9}, {'A', 9}, {'B', 9}, {300, 9}, {'C', 9}})), qvx::Common::ToBytes("AB"));
    EXPECT_EQ(Unlzw(Pack({{256, 9}, {258, 9}, {'A', 9}})), Bytes{});
    // The next free entry itself is the previous string plus its first byte.
    EXPECT_EQ(Unlzw(Pack({{'A', 9}, {'B', 9}, {259, 9}, {257, 9}})), qvx::Common::ToBytes("ABBB"));
    // A clear code in the middle starts over at 9 bits; data without an end code just ends.
    EXPECT_EQ(Unlzw(Pack({{'A', 9}, {'B', 9}, {256, 9}, {'C', 9}, {258, 9}})), qvx::Common::ToBytes("ABCCC"));
    EXPECT_EQ(Unlzw(Bytes{0xFF}), Bytes{});
}

TEST(LZWDecode, FullTableResetsAsIfCleared)
{
    // Literals only, never a clear code: entries 258 to 4095 fill up; the width grows at
    // 511, 1023 and 2047 entries (early change). The code read when the table is full
    // starts a fresh table, so the codes after it are 9 bits wide again.
    std::vector<std::pair<int, int>> codes = {{256, 9}};
    Bytes expect;
    int next = 258;
    int width = 9;
    for (int i = 0; next < 4096; ++i) {
        int lit = 'a' + i % 26;
        codes.push_back({lit, width});
        expect.push_back(static_cast<Byte>(lit));
        if (i > 0) ++next;
        if (next + 1 >= (1 << width) && width < 12) ++width;
    }
    codes.push_back({'X', 12});  // read with the full table: becomes the first of a new one
    codes.push_back({'Y', 9});
    codes.push_back({258, 9});   // "XY" in the new table
    codes.push_back({257, 9});
    for (char c : std::string("XYXY")) expect.push_back(static_cast<Byte>(c));
    EXPECT_EQ(Unlzw(Pack(codes)), expect);
}
