// CCITTFaxDecode on damaged, truncated and hostile input, and the G4 row decoder's contract.
#include <gtest/gtest.h>

#include "common/Exception.h"
#include "filters/CCITTG4Decoder.h"
#include "tests/filters/CCITTTestSupport.h"

using namespace qvx::Test::CCITT;
using qvx::Common::Bytes;
using qvx::Filters::CCITTG4Decoder;
using qvx::Filters::CCITTParams;

namespace {

// Bytes from a string of bit digits (other characters ignored), zero-padded.
Bytes Bits(const std::string& s)
{
    Bytes out;
    int n = 0;
    for (char c : s) {
        if (c != '0' && c != '1') continue;
        if (n % 8 == 0) out.push_back(0);
        if (c == '1') out.back() |= 0x80 >> (n % 8);
        ++n;
    }
    return out;
}

std::string Repeat(const std::string& s, int n)
{
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

const std::string kEOL = "000000000001 ";
// Eight pixels in one dimension: white 2, black 6 (0x3F with BlackIs1).
const std::string kRow = "0111 0010 ";
// White 2, then eight zeros and a one: no black code starts so.
const std::string kBadRow = "0111 000000001 ";

CCITTParams G3(int columns, int damaged)
{
    CCITTParams p;
    p.columns = columns;
    p.end_of_line = true;
    p.black_is_1 = true;
    p.damaged_rows_before_error = damaged;
    return p;
}

}  // namespace

TEST(CCITTDecode, DamagedRowsAreToleratedOnlyAsFarAsAllowed)
{
    const Bytes once = Bits(Repeat(kEOL + kRow, 3) + kEOL + kBadRow + Repeat(kEOL + kRow, 2));
    // The damaged row keeps its decoded part and ends the data ...
    EXPECT_EQ(Decode(once, G3(8, 0)), (Bytes{0x3F, 0x3F, 0x3F, 0x00}));
    // ... unless it may be skipped: decoding resumes at the next EOL.
    EXPECT_EQ(Decode(once, G3(8, 1)), (Bytes{0x3F, 0x3F, 0x3F, 0x00, 0x3F, 0x3F}));
    CCITTParams no_eol = G3(8, 5);
    no_eol.end_of_line = false;
    EXPECT_EQ(Decode(once, no_eol).size(), 4u);

    const Bytes twice = Bits(kEOL + kRow + kEOL + kBadRow + kEOL + kRow + kEOL + kBadRow + kEOL + kRow);
    EXPECT_EQ(Decode(twice, G3(8, 1)), (Bytes{0x3F, 0x00, 0x3F, 0x00}));
    EXPECT_EQ(Decode(twice, G3(8, 2)), (Bytes{0x3F, 0x00, 0x3F, 0x00, 0x3F}));

    // A row that fails on its first code has nothing worth keeping.
    const Bytes first = Bits(kEOL + kRow + kEOL + "000000001" + kEOL + kRow);
    EXPECT_EQ(Decode(first, G3(8, 0)), (Bytes{0x3F}));
    EXPECT_EQ(Decode(first, G3(8, 1)), (Bytes{0x3F, 0x00, 0x3F}));

    // 2-D rows after a damaged one are coded against what was kept of it.
    CCITTParams two_d = G3(8, 1);
    two_d.k = 2;
    const Bytes mixed = Bits(kEOL + "1" + kRow + kEOL + "1" + kBadRow + kEOL + "0" + "1 1");
    EXPECT_EQ(Decode(mixed, two_d), (Bytes{0x3F, 0x00, 0x00}));
}

TEST(CCITTDecode, EndsAtRowsEndOfBlockOrEndOfData)
{
    const std::string rtc = Repeat(kEOL, 6);
    const Bytes data = Bits(Repeat(kEOL + kRow, 4) + rtc + Repeat(kEOL + kRow, 4));
    EXPECT_EQ(Decode(data, G3(8, 0)).size(), 4u);
    CCITTParams p = G3(8, 0);
    p.rows = 2;
    EXPECT_EQ(Decode(data, p).size(), 2u);
    p.rows = 100;
    EXPECT_EQ(Decode(Bits(Repeat(kEOL + kRow, 7)), p).size(), 7u);

    // Group 4: V0 rows of white, EOFB, then more rows that must not be decoded.
    CCITTParams g4;
    g4.k = -1;
    g4.columns = 20;
    const Bytes g4data = Bits("111" + kEOL + kEOL + "1111");
    EXPECT_EQ(Decode(g4data, g4), Bytes(9, 0xFF));
    g4.end_of_block = false;  // the code still marks the end
    EXPECT_EQ(Decode(g4data, g4).size(), 9u);
    // Zero fill to the end of the data is not a row.
    EXPECT_EQ(Decode(Bits("11 0000000000000000000000"), g4).size(), 6u);
}

TEST(CCITTDecode, TruncatedAndCorruptDataKeepTheRowsBefore)
{
    const Bitmap img = TextLike(333, 120, 11);
    for (int k : {-1, 0, 3}) {
        SCOPED_TRACE(k);
        CCITTParams p;
        p.k = k;
        p.columns = 333;
        p.black_is_1 = true;
        p.end_of_line = k >= 0;
        const Bytes coded = Encode(img.bits, p);
        for (std::size_t cut : {coded.size() / 3, coded.size() / 2, coded.size() * 9 / 10}) {
            Bytes part(coded.begin(), coded.begin() + static_cast<std::ptrdiff_t>(cut));
            Bytes got = Decode(part, p);
            ASSERT_EQ(got.size() % img.Stride(), 0u);
            ASSERT_LT(got.size(), img.bits.size());
            ASSERT_GT(got.size(), img.bits.size() / 4);
            // Every row but a partial last one is exact.
            std::size_t whole = got.size() - img.Stride();
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(whole), img.bits.begin()));
        }
        for (std::size_t at : {coded.size() / 4, coded.size() / 2}) {
            Bytes bad = coded;
            for (std::size_t i = at; i < at + 4; ++i) bad[i] = 0;
            Bytes got = Decode(bad, p, 5);
            ASSERT_LE(got.size(), img.bits.size());
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(img.Stride() * 10), img.bits.begin()));
        }
    }
}

TEST(CCITTDecode, AbsurdWidthsCostOnlyTheOutput)
{
    // All V0 codes: each bit is a whole white row against the white row above.
    const Bytes ones(4, 0xFF);
    CCITTParams p;
    p.k = -1;
    p.columns = 0x7FFFFFFF;
    EXPECT_THROW(Decode(ones, p, 0, 1 << 20), qvx::Common::Exception);
    p.columns = 100000003;
    p.rows = 1;
    Bytes row = Decode(ones, p);
    ASSERT_EQ(row.size(), 12500001u);
    EXPECT_EQ(std::count(row.begin(), row.end(), 0xFF), 12500001);

    CCITTG4Decoder dec(ones, 0xFFFFFFFFu);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(dec.DecodeRow(nullptr), CCITTG4Decoder::e_row);
    EXPECT_TRUE(dec.Changes().empty());
    EXPECT_EQ(dec.DecodeRow(nullptr), CCITTG4Decoder::e_end_of_data);
    EXPECT_EQ(dec.BytesConsumed(), 4u);

    p.columns = 0;
    EXPECT_TRUE(Decode(ones, p).empty());
    p.columns = -5;
    EXPECT_TRUE(Decode(ones, p).empty());
}

TEST(CCITTDecode, PolarityAndPadBits)
{
    const Bitmap img = Noise(13, 20, 3);
    CCITTParams p;
    p.k = -1;
    p.columns = 13;
    p.black_is_1 = true;
    const Bytes coded = Encode(img.bits, p);
    EXPECT_EQ(Decode(coded, p), img.bits);
    p.black_is_1 = false;
    Bytes inverted = Decode(coded, p);
    ASSERT_EQ(inverted.size(), img.bits.size());
    for (std::size_t i = 0; i < inverted.size(); ++i) ASSERT_EQ(inverted[i], static_cast<std::uint8_t>(~img.bits[i]));
}

TEST(CCITTDecode, G4RowDecoderStopsAtBadCodesWithThePartialRow)
{
    // Width 16 over a white reference: H white 3 black 2 ('1000' '11'), then V0 (b1 is the
    // width, so the rest is white); second row: VR3, then V0 to the width.
    const Bytes data = Bits("001 1000 11 1  0000011 1");
    CCITTG4Decoder dec(data, 16);
    Bytes row(2);
    ASSERT_EQ(dec.DecodeRow(row.data()), CCITTG4Decoder::e_row);
    EXPECT_EQ(row, (Bytes{0x18, 0x00}));
    EXPECT_EQ(dec.Changes().size(), 2u);
    row.assign(2, 0xAA);
    // a1 = b1 + 3 with b1 = 3 lands at 6: black from 6 to the width.
    ASSERT_EQ(dec.DecodeRow(row.data()), CCITTG4Decoder::e_row);
    EXPECT_EQ(row, (Bytes{0x03, 0xFF}));
    EXPECT_EQ(dec.DecodeRow(row.data()), CCITTG4Decoder::e_end_of_data);

    // Black from 0 (a zero white run), then a mode code that does not exist.
    const Bytes bad = Bits("001 00110101 0011   0000000 1");
    CCITTG4Decoder dec2(bad, 16);
    row.assign(2, 0xAA);
    EXPECT_EQ(dec2.DecodeRow(row.data()), CCITTG4Decoder::e_error);
    EXPECT_EQ(row, (Bytes{0xF8, 0x00}));
    EXPECT_EQ(dec2.DecodeRow(row.data()), CCITTG4Decoder::e_error);
}
