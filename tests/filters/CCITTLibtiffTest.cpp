// CCITT decoding and encoding checked against libtiff's fax codec, run as tiffcp.
#include <gtest/gtest.h>

#include "filters/CCITTG4Decoder.h"
#include "tests/filters/CCITTTestSupport.h"
#include "tests/support/TestEnv.h"

using namespace qvx::Test::CCITT;
using qvx::Common::Bytes;
using qvx::Filters::CCITTG4Decoder;
using qvx::Filters::CCITTParams;

namespace {

struct Sample {
    std::string name;
    Bitmap bitmap;
};

std::vector<Sample> Samples()
{
    return {
        {"text 1728", TextLike(1728, 160, 1)},
        {"text 1000", TextLike(1000, 90, 2)},
        {"text 1723", TextLike(1723, 61, 3)},
        {"noise 301", Noise(301, 40, 4)},
        {"sparse noise 64", Noise(64, 64, 5, 12)},
        {"dense noise 99", Noise(99, 30, 6, 240)},
        {"white 1728", Blank(1728, 20)},
        {"black 1728", Solid(1728, 20)},
        {"black 13", Solid(13, 9)},
        {"one column", Noise(1, 50, 7)},
        {"wide text", TextLike(20000, 24, 8)},
        {"wide black", Solid(20011, 3)},
        {"wide noise", Noise(6007, 6, 9, 100)},
    };
}

void ExpectSameBitmap(const Bytes& got, const Bitmap& want)
{
    ASSERT_EQ(got.size(), want.bits.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        if (got[i] != want.bits[i]) {
            FAIL() << "first difference at row " << i / want.Stride() << ", byte " << i % want.Stride();
        }
}

struct LibtiffMode {
    const char* option;
    int k;
};

const LibtiffMode kModes[] = {{"g3:1d", 0}, {"g3:1d:fill", 0}, {"g3:2d", 1}, {"g3:2d:fill", 1}, {"g4", -1}};

}  // namespace

TEST(CCITTLibtiff, DecodesWhatLibtiffEncodes)
{
    qvx::Test::TempDir dir;
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        auto plain = dir.Path() / "plain.tif";
        WriteTiff(plain, {s.bitmap.width, s.bitmap.height, 1, 0, 1, s.bitmap.bits});
        for (const LibtiffMode& m : kModes) {
            SCOPED_TRACE(m.option);
            auto coded = dir.Path() / "coded.tif";
            TiffCopy(std::string("-r 100000 -c ") + m.option, plain, coded);
            Tiff t = ReadTiff(coded);
            ASSERT_EQ(t.compression, m.k < 0 ? 4u : 3u);
            CCITTParams p;
            p.k = m.k;
            p.columns = static_cast<int>(s.bitmap.width);
            p.rows = static_cast<int>(s.bitmap.height);
            p.end_of_line = m.k >= 0;
            p.encoded_byte_align = (t.t4_options & 4) != 0;
            p.black_is_1 = true;
            ExpectSameBitmap(Decode(t.data, p), s.bitmap);
            // Without Rows the codec must find the end itself; in small windows it must
            // carry codes across them.
            p.rows = 0;
            ExpectSameBitmap(Decode(t.data, p, 3), s.bitmap);
            // EOLs are accepted where they are not required, unless rows are aligned: then
            // pad bits before a row and zeros before an EOL cannot be told apart.
            if (!p.encoded_byte_align) {
                p.end_of_line = false;
                ExpectSameBitmap(Decode(t.data, p), s.bitmap);
            }
        }
    }
}

TEST(CCITTLibtiff, G4RowDecoderReportsWhereTheDataEnds)
{
    qvx::Test::TempDir dir;
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        auto plain = dir.Path() / "plain.tif", coded = dir.Path() / "coded.tif";
        WriteTiff(plain, {s.bitmap.width, s.bitmap.height, 1, 0, 1, s.bitmap.bits});
        TiffCopy("-r 100000 -c g4", plain, coded);
        Tiff t = ReadTiff(coded);
        // Trailing bytes after the block must be left alone.
        Bytes data = t.data;
        data.insert(data.end(), {0xAB, 0xCD});
        CCITTG4Decoder dec(data, s.bitmap.width);
        Bytes got(s.bitmap.bits.size());
        for (std::uint32_t y = 0; y < s.bitmap.height; ++y)
            ASSERT_EQ(dec.DecodeRow(got.data() + y * s.bitmap.Stride()), CCITTG4Decoder::e_row) << "row " << y;
        ExpectSameBitmap(got, s.bitmap);
        EXPECT_EQ(dec.DecodeRow(nullptr), CCITTG4Decoder::e_end_of_block);
        EXPECT_EQ(dec.BytesConsumed(), t.data.size());
        EXPECT_EQ(dec.DecodeRow(nullptr), CCITTG4Decoder::e_end_of_block);
    }
}

TEST(CCITTLibtiff, LibtiffDecodesWhatWeEncode)
{
    struct Mode {
        const char* name;
        CCITTParams params;
        unsigned compression;
        std::uint32_t t4;
    };
    auto P = [](int k, bool eol, bool align, bool eob) {
        CCITTParams p;
        p.k = k;
        p.end_of_line = eol;
        p.encoded_byte_align = align;
        p.end_of_block = eob;
        p.black_is_1 = true;
        return p;
    };
    const Mode modes[] = {
        {"G4", P(-1, false, false, true), 4, 0},
        {"G4 without EOFB", P(-1, false, false, false), 4, 0},
        {"G3 1-D", P(0, true, false, true), 3, 0},
        {"G3 1-D, EOLs aligned", P(0, true, true, false), 3, 4},
        {"G3 2-D K=2", P(2, true, false, true), 3, 1},
        {"G3 2-D K=5, EOLs aligned", P(5, true, true, true), 3, 5},
        {"modified Huffman, rows aligned", P(0, false, true, false), 2, 0},
    };
    qvx::Test::TempDir dir;
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        for (const Mode& m : modes) {
            SCOPED_TRACE(m.name);
            CCITTParams p = m.params;
            p.columns = static_cast<int>(s.bitmap.width);
            Bytes coded = Encode(s.bitmap.bits, p);
            auto ours = dir.Path() / "ours.tif", plain = dir.Path() / "plain.tif";
            WriteTiff(ours, {s.bitmap.width, s.bitmap.height, m.compression, m.t4, 1, coded});
            TiffCopy("-c none", ours, plain);
            ExpectSameBitmap(ReadTiff(plain).data, s.bitmap);
            ExpectSameBitmap(Decode(coded, p), s.bitmap);
        }
    }
}
