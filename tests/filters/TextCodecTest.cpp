// ASCIIHex, ASCII85 and RunLength: the decoders on hand-made and damaged input, and the
// encoders read back by the decoders.
#include <gtest/gtest.h>

#include "filters/ASCII85Decode.h"
#include "filters/ASCII85Encode.h"
#include "filters/ASCIIHexDecode.h"
#include "filters/ASCIIHexEncode.h"
#include "filters/RunLengthDecode.h"
#include "filters/RunLengthEncode.h"
#include "tests/filters/FilterTestUtil.h"

using namespace qvx::Filters;
using namespace qvx::Test;
using namespace std::literals;

namespace {

template <class F>
std::string Dec(std::string_view in, std::size_t step = 1 << 20)
{
    Bytes out = Decode([](auto src) { return std::make_unique<F>(std::move(src)); }, Bytes(in.begin(), in.end()), step);
    return std::string(out.begin(), out.end());
}

template <class F>
Bytes Enc(const Bytes& in, std::size_t step = 1 << 20)
{
    return Encode([](auto sink) { return std::make_unique<F>(std::move(sink)); }, in, step);
}

// Random bytes with runs of zeros and of repeated values, to exercise every encoder path.
Bytes Mixed(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < n) {
        std::size_t len = rng() % 300;
        switch (rng() % 3) {
        case 0: out.insert(out.end(), len, 0); break;
        case 1: out.insert(out.end(), len, static_cast<Byte>(rng())); break;
        default:
            for (std::size_t i = 0; i < len; ++i) out.push_back(static_cast<Byte>(rng()));
        }
    }
    out.resize(n);
    return out;
}

}  // namespace

TEST(ASCIIHexDecode, DigitsWhiteSpaceEndAndGarbage)
{
    EXPECT_EQ(Dec<ASCIIHexDecode>("48656c6C6F>"sv), "Hello");
    EXPECT_EQ(Dec<ASCIIHexDecode>(" 4 8\r\n65\t6c\f6c\0 6f >"sv, 1), "Hello");
    EXPECT_EQ(Dec<ASCIIHexDecode>("48656>"sv), std::string("He`"));
    EXPECT_EQ(Dec<ASCIIHexDecode>("48656"sv), std::string("He`"));  // no end marker
    EXPECT_EQ(Dec<ASCIIHexDecode>("4865>6c6c"sv), "He");              // nothing after >
    EXPECT_EQ(Dec<ASCIIHexDecode>("48 65 xyz 6c"sv), "He");           // stops at garbage
    EXPECT_EQ(Dec<ASCIIHexDecode>("486g6c"sv), std::string("H`"));
    EXPECT_EQ(Dec<ASCIIHexDecode>(""sv), "");
    EXPECT_EQ(Dec<ASCIIHexDecode>(">"sv), "");
}

TEST(ASCII85Decode, GroupsZerosEndAndDamage)
{
    EXPECT_EQ(Dec<ASCII85Decode>("87cURD_*#TDfTZ)+US~>"sv), "Hello, world!\n");
    EXPECT_EQ(Dec<ASCII85Decode>("87cUR D_*#T\nDfTZ)\r+US~>"sv, 1), "Hello, world!\n");
    EXPECT_EQ(Dec<ASCII85Decode>("<~87cURD_*#TDfTZ)+US~>"sv), "Hello, world!\n");
    EXPECT_EQ(Dec<ASCII85Decode>("9jqo^z9jn"sv), std::string("Man \0\0\0\0Ma", 10));  // no ~>
    EXPECT_EQ(Dec<ASCII85Decode>("9`~>"sv), "M");
    EXPECT_EQ(Dec<ASCII85Decode>("9jqo^9~>"sv), "Man ");      // one lone digit is dropped
    EXPECT_EQ(Dec<ASCII85Decode>("s8W-!~>"sv), "\xff\xff\xff\xff");
    EXPECT_EQ(Dec<ASCII85Decode>("9jqo^uuuuu9jqo^"sv), "Man ");  // a group past 2^32
    EXPECT_EQ(Dec<ASCII85Decode>("9jqo^9jzqo^"sv), "Man M");      // z inside a group
    EXPECT_EQ(Dec<ASCII85Decode>("9jqo^{9jqo^"sv), "Man ");       // a byte outside the alphabet
    EXPECT_EQ(Dec<ASCII85Decode>("~>9jqo^"sv), "");
    EXPECT_EQ(Dec<ASCII85Decode>(""sv), "");
}

TEST(RunLengthDecode, LiteralsRepeatsEndAndTruncation)
{
    EXPECT_EQ(Dec<RunLengthDecode>("\x02" "abc" "\xfd" "x" "\x80" "junk"sv), "abcxxxx");
    EXPECT_EQ(Dec<RunLengthDecode>("\x02" "abc" "\xfd" "x"sv, 1), "abcxxxx");  // no end byte
    EXPECT_EQ(Dec<RunLengthDecode>("\x81" "z"sv), std::string(128, 'z'));
    EXPECT_EQ(Dec<RunLengthDecode>("\x7f" "0123"sv), "0123");    // literal cut short
    EXPECT_EQ(Dec<RunLengthDecode>("\x00" "a" "\xff"sv), "a");   // repeat without its byte
    EXPECT_EQ(Dec<RunLengthDecode>("\x80"sv), "");
}

TEST(TextEncoders, DecodersReadBackWhatEncodersWrite)
{
    for (std::size_t n : {0, 1, 2, 3, 4, 5, 127, 128, 129, 100000}) {
        Bytes data = Mixed(n, static_cast<unsigned>(n));
        for (std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
            Bytes hex = Enc<ASCIIHexEncode>(data, step);
            EXPECT_EQ(Decode([](auto s) { return std::make_unique<ASCIIHexDecode>(std::move(s)); }, hex), data) << n;
            Bytes a85 = Enc<ASCII85Encode>(data, step);
            EXPECT_EQ(Decode([](auto s) { return std::make_unique<ASCII85Decode>(std::move(s)); }, a85), data) << n;
            Bytes rl = Enc<RunLengthEncode>(data, step);
            EXPECT_EQ(Decode([](auto s) { return std::make_unique<RunLengthDecode>(std::move(s)); }, rl), data) << n;
            EXPECT_EQ(rl.back(), 128);
        }
    }
    // The text forms stay readable: short lines, proper end markers, z for zero groups.
    Bytes hex = Enc<ASCIIHexEncode>(Mixed(5000, 3));
    Bytes a85 = Enc<ASCII85Encode>(Mixed(5000, 3));
    for (const Bytes* text : {&hex, &a85}) {
        std::size_t line = 0;
        for (Byte c : *text) {
            line = c == '\n' ? 0 : line + 1;
            ASSERT_LE(line, 80u);
            ASSERT_TRUE((c >= '!' && c <= '~') || c == '\n');
        }
    }
    EXPECT_EQ(hex.back(), '>');
    EXPECT_EQ(std::string(a85.end() - 2, a85.end()), "~>");
    EXPECT_EQ(Enc<ASCII85Encode>(Bytes{'M', 'a', 'n', ' ', 0, 0, 0, 0, 'M', 'a'}), qvx::Common::ToBytes("9jqo^z9jn~>"));
    EXPECT_EQ(Enc<ASCIIHexEncode>(Bytes{0x00, 0xAB, 0x7f}), qvx::Common::ToBytes("00AB7F>"));
    EXPECT_EQ(Enc<RunLengthEncode>(Bytes(1000, 0)).size(), 2 * 8 + 1u);  // 7 runs of 128, one of 104
}
