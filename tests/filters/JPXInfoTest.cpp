#include <gtest/gtest.h>

#include <array>

#include "filters/JPXInfo.h"
#include "tests/filters/ImageTestUtil.h"

using namespace qvx::Filters;
using qvx::Common::Bytes;
using qvx::Test::Box;
using qvx::Test::Cat;
using qvx::Test::Put;

namespace {

// SOC and SIZ for a w x h image at offset (1, 2) in 64 x 64 tiles; ssiz and the
// subsampling per component.
Bytes Codestream(std::uint32_t w, std::uint32_t h, std::vector<std::array<int, 3>> comps)
{
    Bytes b;
    Put(b, 0xFF4F, 2);
    Put(b, 0xFF51, 2);
    Put(b, 38 + 3 * comps.size(), 2);
    Put(b, 2, 2);  // Rsiz
    for (std::uint32_t v : {w + 1, h + 2, 1u, 2u, 64u, 64u, 0u, 0u}) Put(b, v, 4);
    Put(b, comps.size(), 2);
    for (auto& c : comps)
        for (int v : c) Put(b, std::uint64_t(v), 1);
    Put(b, 0xFFD9, 2);
    return b;
}

const Bytes kSignature = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};

}  // namespace

// A JPX file with what the checks look at: varying depths (bpcc), an ICC and an exact
// enumerated colour box, a palette and an opacity channel.
TEST(JPXInfo, ReadsJpxHeaderBoxes)
{
    Bytes ihdr;
    Put(ihdr, 300, 4);  // height
    Put(ihdr, 200, 4);  // width
    Put(ihdr, 2, 2);
    ihdr.insert(ihdr.end(), {0xFF, 7, 0, 0});
    Bytes icc_colr = {3, 1, 0, 'I', 'C', 'C', '!'};
    Bytes enum_colr = {1, 0, 1};
    Put(enum_colr, 16, 4);
    Bytes cdef;
    Put(cdef, 2, 2);
    for (int v : {0, 0, 1, 1, 1, 0}) Put(cdef, std::uint64_t(v), 2);
    Bytes header = Cat({Box("ihdr", ihdr), Box("bpcc", {7, 0x8F}), Box("colr", icc_colr), Box("colr", enum_colr),
                        Box("pclr", {0, 4, 3, 7, 7, 7}), Box("cdef", cdef)});
    Bytes ftyp = {'j', 'p', 'x', ' ', 0, 0, 0, 0, 'j', 'p', 'x', ' ', 'j', 'p', 'x', 'b'};
    Bytes stream = Codestream(200, 300, {{7, 1, 1}, {0x8F, 2, 2}});
    Bytes file = Cat({kSignature, Box("ftyp", ftyp), Box("jp2h", header, true), Box("jp2c", stream)});

    JPXInfo info = JPXInfo::Read(file);
    ASSERT_TRUE(info.IsValid());
    EXPECT_EQ(info.GetContainer(), JPXInfo::e_jp2);
    EXPECT_EQ(info.GetBrand(), "jpx ");
    EXPECT_EQ(info.GetCompatibility(), (std::vector<std::string>{"jpx ", "jpxb"}));
    EXPECT_TRUE(info.IsBaseline());
    EXPECT_EQ(info.GetWidth(), 200u);
    EXPECT_EQ(info.GetHeight(), 300u);
    EXPECT_EQ(info.GetCompressionType(), 7);
    EXPECT_EQ(info.GetProfile(), 2);
    EXPECT_EQ(info.GetTileCount(), 4u * 5u);
    ASSERT_EQ(info.GetComponentCount(), 2u);
    EXPECT_EQ(info.GetComponents()[0].bit_depth, 8);
    EXPECT_FALSE(info.GetComponents()[0].is_signed);
    EXPECT_EQ(info.GetComponents()[1].bit_depth, 16);
    EXPECT_TRUE(info.GetComponents()[1].is_signed);
    EXPECT_EQ(info.GetComponents()[1].dx, 2);
    EXPECT_FALSE(info.HasUniformBitDepth());

    ASSERT_EQ(info.GetColourBoxes().size(), 2u);
    EXPECT_EQ(info.GetColourBoxes()[0].method, 3);
    EXPECT_EQ(info.GetColourBoxes()[0].precedence, 1);
    EXPECT_EQ(info.GetColourBoxes()[0].icc, (Bytes{'I', 'C', 'C', '!'}));
    ASSERT_NE(info.GetColourBox(), nullptr);
    EXPECT_EQ(info.GetColourBox()->enumerated, 16u);
    EXPECT_FALSE(info.GetColourBox()->HasIcc());

    EXPECT_TRUE(info.HasPalette());
    EXPECT_EQ(info.GetPaletteColumns(), 3);
    ASSERT_EQ(info.GetChannelDefs().size(), 2u);
    EXPECT_EQ(info.GetChannelDefs()[1].type, 1);
    EXPECT_EQ(info.GetColourChannelCount(), 2);  // three palette columns, one is opacity

    // Every truncation is read without fault; the file type alone is not an image.
    for (std::size_t n = 0; n < file.size(); ++n) {
        JPXInfo cut = JPXInfo::Read(qvx::Common::ByteView(file.data(), n));
        if (n < 12) {
            EXPECT_EQ(cut.GetContainer(), JPXInfo::e_none);
        }
        if (n < 12 + 24) {
            EXPECT_FALSE(cut.IsValid()) << n;
        }
    }
}

// A raw codestream: everything comes from SIZ. A JP2 whose ihdr is damaged falls back on
// the codestream; one that gives neither is not valid.
TEST(JPXInfo, RawCodestreamAndFallbacks)
{
    Bytes j2k = Codestream(640, 480, {{7, 1, 1}, {7, 2, 2}, {7, 2, 2}});
    EXPECT_EQ(JPXInfo::Sniff(j2k), JPXInfo::e_j2k);
    JPXInfo raw = JPXInfo::Read(j2k);
    ASSERT_TRUE(raw.IsValid());
    EXPECT_TRUE(raw.IsRawCodestream());
    EXPECT_FALSE(raw.IsBaseline());
    EXPECT_EQ(raw.GetWidth(), 640u);
    EXPECT_EQ(raw.GetHeight(), 480u);
    EXPECT_EQ(raw.GetComponentCount(), 3u);
    EXPECT_EQ(raw.GetColourChannelCount(), 3);
    EXPECT_TRUE(raw.HasUniformBitDepth());
    EXPECT_EQ(raw.GetComponents()[2].dy, 2);
    EXPECT_EQ(raw.GetColourBox(), nullptr);

    Bytes bad_siz = j2k;
    bad_siz[5] = 99;  // Lsiz no longer matches Csiz
    EXPECT_FALSE(JPXInfo::Read(bad_siz).IsValid());
    Bytes no_components = Codestream(8, 8, {});
    EXPECT_FALSE(JPXInfo::Read(no_components).IsValid());

    Bytes short_ihdr = Box("ihdr", {0, 0, 1});
    Bytes jp2 = Cat({kSignature, Box("jp2h", short_ihdr), Box("jp2c", j2k)});
    JPXInfo fallback = JPXInfo::Read(jp2);
    ASSERT_TRUE(fallback.IsValid());
    EXPECT_EQ(fallback.GetContainer(), JPXInfo::e_jp2);
    EXPECT_EQ(fallback.GetWidth(), 640u);

    // A box claiming more bytes than the file has ends the walk.
    Bytes overlong = Cat({kSignature, Box("jp2h", short_ihdr)});
    overlong[12 + 3] = 200;
    EXPECT_FALSE(JPXInfo::Read(Cat({overlong, Box("jp2c", j2k)})).IsValid());
    EXPECT_EQ(JPXInfo::Sniff(qvx::Common::AsBytes("GIF89a")), JPXInfo::e_none);
}
