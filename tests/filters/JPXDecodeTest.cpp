#include <gtest/gtest.h>

#include "filters/JPXDecode.h"
#include "filters/JPXInfo.h"
#include "tests/filters/ImageTestUtil.h"

using namespace qvx::Filters;
using namespace qvx::Test;
using qvx::Common::Exception;

namespace {

Bytes Decode(const Bytes& jpx, int bpc = 0)
{
    JPXDecode dec(std::make_unique<TrickleFilter>(jpx, 1000), bpc);
    return ReadAll(dec);
}

std::string PicturePnm(int w, int h, int channels, unsigned maxval)
{
    return MakePnm(w, h, channels, maxval, Picture(w, h, channels, maxval));
}

const char* Extension(int channels) { return channels == 1 ? "pgm" : channels == 3 ? "ppm" : "pam"; }

// 16-bit big-endian samples of one depth rescaled to another, as the decoder rounds.
Bytes Rescale16(const Bytes& be16, unsigned from_max, unsigned to_max, bool out16)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < be16.size(); i += 2) {
        std::uint64_t v = (unsigned(be16[i]) << 8) | be16[i + 1];
        v = (v * to_max * 2 + from_max) / (2ull * from_max);
        if (out16) out.push_back(Byte(v >> 8));
        out.push_back(Byte(v));
    }
    return out;
}

void ExpectMessage(const Bytes& jpx)
{
    try {
        Decode(jpx);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetMessage(), "JPXDecode: An error occurred reading the image");
    }
}

}  // namespace

// Generated images of every usual shape decode to exactly what opj_decompress writes,
// and JPXInfo reads the same header fields as opj_dump.
TEST(JPXDecode, MatchesOpjDecompressAndDump)
{
    TempDir dir;
    struct Case {
        const char* name;
        int channels;
        unsigned maxval;
        const char* ext;
        std::vector<std::string> options;
    };
    const std::vector<Case> cases = {
        {"grey 8 j2k", 1, 255, "j2k", {"-n", "4"}},
        {"grey 8 jp2", 1, 255, "jp2", {"-n", "4"}},
        {"grey 16 j2k", 1, 65535, "j2k", {"-n", "4"}},
        {"grey 16 jp2 lossy", 1, 65535, "jp2", {"-n", "4", "-r", "20"}},
        {"grey+alpha jp2", 2, 255, "jp2", {"-n", "3"}},
        {"rgb 8 jp2", 3, 255, "jp2", {"-n", "4"}},
        {"rgb 8 j2k lossy tiled", 3, 255, "j2k", {"-n", "3", "-r", "30", "-t", "32,24"}},
        {"rgb 16 jp2", 3, 65535, "jp2", {"-n", "4"}},
        {"rgba 8 jp2", 4, 255, "jp2", {"-n", "4"}},
        {"four 8 j2k progression RPCL", 4, 255, "j2k", {"-n", "4", "-p", "RPCL"}},
        {"four 16 j2k", 4, 65535, "j2k", {"-n", "2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int w = 97, h = 61;
        Bytes jpx = OpjCompress(dir, std::string("in.") + Extension(c.channels), PicturePnm(w, h, c.channels, c.maxval),
                                c.ext, c.options);
        std::optional<Pnm> ref = OpjDecompress(dir, jpx);
        ASSERT_TRUE(ref);
        ASSERT_EQ(ref->channels, c.channels);
        const int bpc = c.maxval > 255 ? 16 : 8;

        JPXDecode dec(std::make_unique<MemoryFilter>(jpx));
        EXPECT_EQ(dec.GetWidth(), w);
        EXPECT_EQ(dec.GetHeight(), h);
        EXPECT_EQ(dec.GetComponents(), c.channels);
        EXPECT_EQ(dec.GetBitsPerComponent(), bpc);
        EXPECT_EQ(ReadAll(dec), ref->data);
        EXPECT_EQ(Decode(jpx), ref->data);

        JPXInfo info = JPXInfo::Read(jpx);
        std::optional<OpjHeader> dump = OpjDump(dir, jpx);
        ASSERT_TRUE(dump);
        ASSERT_TRUE(info.IsValid());
        EXPECT_EQ(info.GetContainer(), std::string(c.ext) == "jp2" ? JPXInfo::e_jp2 : JPXInfo::e_j2k);
        EXPECT_EQ(long(info.GetWidth()), dump->x1 - dump->x0);
        EXPECT_EQ(long(info.GetHeight()), dump->y1 - dump->y0);
        ASSERT_EQ(info.GetComponentCount(), dump->comps.size());
        for (std::size_t i = 0; i < dump->comps.size(); ++i) {
            const JPXComponent& comp = info.GetComponents()[i];
            EXPECT_EQ(comp.bit_depth, dump->comps[i].prec);
            EXPECT_EQ(comp.is_signed, dump->comps[i].sgnd != 0);
            EXPECT_EQ(comp.dx, dump->comps[i].dx);
            EXPECT_EQ(comp.dy, dump->comps[i].dy);
        }
        EXPECT_TRUE(info.HasUniformBitDepth());
        EXPECT_EQ(info.GetColourChannelCount(), c.channels);
        if (info.GetContainer() == JPXInfo::e_jp2) {
            EXPECT_TRUE(info.IsBaseline());
            ASSERT_NE(info.GetColourBox(), nullptr);
            EXPECT_EQ(info.GetColourBox()->method, 1);
            EXPECT_EQ(info.GetColourBox()->enumerated, c.channels < 3 ? 17u : 16u);
            EXPECT_EQ(dec.GetColourSpace(), c.channels < 3 ? JPXDecode::e_gray : JPXDecode::e_rgb);
        }
    }
}

// Depths other than 8 and 16, signed samples and a requested BitsPerComponent: samples
// are shifted to unsigned and rescaled to the output depth; depths below 8 are packed.
TEST(JPXDecode, DepthsSignednessAndRequestedBits)
{
    TempDir dir;
    const int w = 50, h = 40;

    Bytes twelve = OpjCompress(dir, "in.pgm", PicturePnm(w, h, 1, 4095), "jp2", {"-n", "3"});
    std::optional<Pnm> ref12 = OpjDecompress(dir, twelve);
    ASSERT_TRUE(ref12);
    ASSERT_EQ(ref12->maxval, 4095u);
    EXPECT_EQ(Decode(twelve), Rescale16(ref12->data, 4095, 65535, true));
    EXPECT_EQ(Decode(twelve, 8), Rescale16(ref12->data, 4095, 255, false));

    Bytes sixteen = OpjCompress(dir, "in.pgm", PicturePnm(w, h, 1, 65535), "j2k", {"-n", "3"});
    Bytes ref16 = OpjDecompress(dir, sixteen)->data;
    EXPECT_EQ(Decode(sixteen, 8), Rescale16(ref16, 65535, 255, false));
    EXPECT_EQ(Decode(sixteen, 3), Decode(sixteen));  // not a PDF depth: ignored

    std::string raw;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) raw += char(((x * 5 + y * 3) & 0xFF));
    Bytes sgn = OpjCompress(dir, "in.raw", raw, "j2k", {"-n", "3", "-F", "50,40,1,8,s"});
    EXPECT_TRUE(JPXInfo::Read(sgn).GetComponents().at(0).is_signed);
    Bytes got = Decode(sgn);
    EXPECT_EQ(got, OpjDecompress(dir, sgn)->data);
    EXPECT_EQ(got[0], 0x80);  // signed 0 is mid-range

    std::string bits;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bits += char(((x + y) / 3) % 2);
    Bytes bilevel = OpjCompress(dir, "in.raw", bits, "j2k", {"-n", "3", "-F", "50,40,1,1,u"});
    Bytes packed = Decode(bilevel, 1);
    ASSERT_EQ(packed.size(), std::size_t((w + 7) / 8 * h));
    Bytes ones = Decode(bilevel);
    ASSERT_EQ(ones.size(), std::size_t(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool bit = (packed[std::size_t(y * ((w + 7) / 8) + x / 8)] >> (7 - x % 8)) & 1;
            ASSERT_EQ(bit, ((x + y) / 3) % 2 == 1) << x << "," << y;
            ASSERT_EQ(ones[std::size_t(y * w + x)], bit ? 255 : 0);
        }
}

// A JP2 file with a palette: its colours by default, its indices for an image whose own
// colour space is Indexed.
TEST(JPXDecode, PaletteLeftToAnIndexedColourSpace)
{
    TempDir dir;
    const int w = 16, h = 8;
    std::string raw;
    for (int i = 0; i < w * h; ++i) raw += char((i / 3) % 4);
    Bytes stream = OpjCompress(dir, "in.raw", raw, "j2k", {"-n", "3", "-F", "16,8,1,8,u"});
    ASSERT_FALSE(stream.empty());
    Bytes ihdr;
    Put(ihdr, h, 4);
    Put(ihdr, w, 4);
    Put(ihdr, 1, 2);
    ihdr.insert(ihdr.end(), {7, 7, 0, 0});
    Bytes colr = {1, 0, 0};
    Put(colr, 16, 4);  // sRGB
    Bytes pclr = {0, 4, 3, 7, 7, 7};
    const Bytes colours = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    pclr.insert(pclr.end(), colours.begin(), colours.end());
    Bytes cmap;
    for (int c = 0; c < 3; ++c) cmap.insert(cmap.end(), {0, 0, 1, static_cast<Byte>(c)});
    Bytes jp2 = Cat({Box("jP  ", {0x0D, 0x0A, 0x87, 0x0A}), Box("ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '}),
                     Box("jp2h", Cat({Box("ihdr", ihdr), Box("colr", colr), Box("pclr", pclr), Box("cmap", cmap)})),
                     Box("jp2c", stream)});
    JPXDecode coloured(std::make_unique<TrickleFilter>(jp2, 1000));
    JPXDecode indexed(std::make_unique<TrickleFilter>(jp2, 1000), 0, true);
    Bytes rgb = ReadAll(coloured), indices = ReadAll(indexed);
    ASSERT_EQ(rgb.size(), std::size_t(w * h * 3));
    ASSERT_EQ(indices.size(), std::size_t(w * h));
    for (int i = 0; i < w * h; ++i) {
        ASSERT_EQ(indices[std::size_t(i)], (i / 3) % 4) << i;
        for (int c = 0; c < 3; ++c) ASSERT_EQ(rgb[std::size_t(3 * i + c)], colours[std::size_t(3 * ((i / 3) % 4) + c)]) << i;
    }
}

// Broken data throws the one message; a huge declared image is refused at the header,
// before the library allocates its planes; the output budget holds.
TEST(JPXDecode, DamagedAndHostileData)
{
    TempDir dir;
    Bytes jpx = OpjCompress(dir, "in.ppm", PicturePnm(64, 64, 3, 255), "j2k", {"-n", "3"});
    ExpectMessage({});
    ExpectMessage(ToBytes("not JPEG 2000 at all"));
    ExpectMessage(Bytes(jpx.begin(), jpx.begin() + 30));

    // A cut codestream either decodes what it holds or throws the message; never more.
    for (std::size_t keep : {jpx.size() / 3, jpx.size() / 2, jpx.size() - 3}) {
        Bytes cut(jpx.begin(), jpx.begin() + std::ptrdiff_t(keep));
        try {
            EXPECT_EQ(Decode(cut).size(), 64u * 64u * 3u);
        } catch (const Exception& e) {
            EXPECT_EQ(e.GetMessage(), "JPXDecode: An error occurred reading the image");
        }
    }

    // SIZ: Xsiz and Ysiz at offsets 8 and 12 of the codestream; 60000 x 60000.
    Bytes huge = jpx;
    for (std::size_t at : {8u, 12u}) {
        huge[at] = 0x00;
        huge[at + 1] = 0x00;
        huge[at + 2] = 0xEA;
        huge[at + 3] = 0x60;
    }
    EXPECT_EQ(JPXInfo::Read(huge).GetWidth(), 60000u);
    ExpectMessage(huge);

    JPXDecode budget(std::make_unique<MemoryFilter>(jpx));
    budget.SetOutputBudget(5000);
    EXPECT_THROW(ReadAll(budget), Exception);

    JPXDecode lower(std::make_unique<FailingFilter>(jpx, 100));
    try {
        ReadAll(lower);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetMessage(), "lower stage failed");
    }
    EXPECT_EQ(ReadAll(lower).size(), 0u);
}
