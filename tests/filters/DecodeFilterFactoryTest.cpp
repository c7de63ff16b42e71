// Decode chains built by name, as the object layer builds them from Filter and DecodeParms.
#include <gtest/gtest.h>
#include <zlib.h>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/ASCII85Encode.h"
#include "filters/ASCIIHexEncode.h"
#include "filters/CCITTFaxEncode.h"
#include "filters/DecodeFilterFactory.h"
#include "filters/FlateEncode.h"
#include "filters/LZWEncode.h"
#include "filters/RunLengthEncode.h"
#include "tests/filters/FilterTestUtil.h"

using namespace qvx::Filters;
using namespace qvx::Test;
using qvx::Common::Exception;

namespace {

// Decodes data through the named stages, each with its parameters.
Bytes Chain(const Bytes& data, const std::vector<std::pair<std::string, DecodeParams>>& stages)
{
    std::unique_ptr<Filter> f = std::make_unique<MemoryFilter>(data);
    for (const auto& [name, params] : stages) f = CreateDecodeFilter(name, params, std::move(f));
    return FilterReader(*f).ReadAll();
}

template <class E, class... A>
Bytes Enc(const Bytes& data, A... args)
{
    return Encode([=](auto out) { return std::make_unique<E>(std::move(out), args...); }, data);
}

}  // namespace

TEST(DecodeFilterFactory, EveryNameAndAbbreviationDecodes)
{
    const Bytes plain = SampleData(5000, 8);
    DecodeParams none;
    const Bytes flate = Enc<FlateEncode>(plain), lzw = Enc<LZWEncode>(plain);
    const Bytes a85 = Enc<ASCII85Encode>(plain), ahx = Enc<ASCIIHexEncode>(plain), rl = Enc<RunLengthEncode>(plain);
    for (const char* n : {"FlateDecode", "Fl"}) EXPECT_EQ(Chain(flate, {{n, none}}), plain) << n;
    for (const char* n : {"LZWDecode", "LZW"}) EXPECT_EQ(Chain(lzw, {{n, none}}), plain) << n;
    for (const char* n : {"ASCII85Decode", "A85"}) EXPECT_EQ(Chain(a85, {{n, none}}), plain) << n;
    for (const char* n : {"ASCIIHexDecode", "AHx"}) EXPECT_EQ(Chain(ahx, {{n, none}}), plain) << n;
    for (const char* n : {"RunLengthDecode", "RL"}) EXPECT_EQ(Chain(rl, {{n, none}}), plain) << n;
    for (const char* n : {"Foo", "Crypt", "_qvxLZMA", "PNGCompress", "flatedecode", "JBIG2", "JPX", ""}) {
        EXPECT_FALSE(IsDecodeFilterName(n));
        EXPECT_EQ(MessageOf([&] { Chain(flate, {{n, none}}); }), "Unknown filter") << n;
    }
    // LZW without early change.
    DecodeParams late;
    late.early_change = 0;
    EXPECT_EQ(Chain(Enc<LZWEncode>(plain, 0), {{"LZW", late}}), plain);
}

TEST(DecodeFilterFactory, PredictorsFollowTheParameters)
{
    // PNG Up rows of five bytes behind Flate.
    Bytes rows = {2, 1, 2, 3, 4, 5, 2, 1, 1, 1, 1, 1};
    DecodeParams png;
    png.predictor = 12;
    png.columns = 5;
    EXPECT_EQ(Chain(Enc<FlateEncode>(rows), {{"Fl", png}}), (Bytes{1, 2, 3, 4, 5, 2, 3, 4, 5, 6}));
    // Predictor 1 (and anything below) is no predictor; 3 is unknown.
    for (int p : {1, 0, -5}) {
        DecodeParams d;
        d.predictor = p;
        EXPECT_EQ(Chain(Enc<FlateEncode>(rows), {{"FlateDecode", d}}), rows) << p;
    }
    for (int p : {3, 9, 16}) {
        DecodeParams d;
        d.predictor = p;
        EXPECT_EQ(MessageOf([&] { Chain(Enc<FlateEncode>(rows), {{"Fl", d}}); }), "Unknown predictor function.") << p;
    }
    // [/AHx /Fl] with [null << /Predictor 2 /Columns 3 >>]: the TIFF predictor on the Flate stage only.
    DecodeParams tiff;
    tiff.predictor = 2;
    tiff.columns = 3;
    Bytes diffs = {10, 1, 1, 20, 2, 2};
    EXPECT_EQ(Chain(Enc<ASCIIHexEncode>(Enc<FlateEncode>(diffs)), {{"AHx", {}}, {"Fl", tiff}}),
              (Bytes{10, 11, 12, 20, 22, 24}));
    // The predictor also applies to LZW, with its own defaults (one colour, 8 bits, 1 column).
    DecodeParams png_default;
    png_default.predictor = 10;
    EXPECT_EQ(Chain(Enc<LZWEncode>(Bytes{2, 7, 2, 1}), {{"LZW", png_default}}), (Bytes{7, 8}));
}

TEST(DecodeFilterFactory, CCITTParametersAndImageHeight)
{
    // Eight rows of 12 pixels (not a multiple of 8), left half black (BlackIs1 data).
    Bytes rows;
    for (int r = 0; r < 8; ++r) rows.insert(rows.end(), {0xFC, 0x00});
    CCITTParams cp;
    cp.k = -1;
    cp.columns = 12;
    cp.black_is_1 = true;
    const Bytes g4 = Enc<CCITTFaxEncode>(rows, cp);
    DecodeParams d;
    d.k = -1;
    d.columns = 12;
    d.black_is_1 = true;
    EXPECT_EQ(Chain(g4, {{"CCF", d}}), rows);
    // Without Rows the image's Height limits the rows.
    d.height = 3;
    EXPECT_EQ(Chain(g4, {{"CCITTFaxDecode", d}}), Bytes(rows.begin(), rows.begin() + 6));
    d.rows = 5;
    EXPECT_EQ(Chain(g4, {{"CCITTFaxDecode", d}}).size(), 10u);
    d.columns = -8;
    EXPECT_EQ(MessageOf([&] { Chain(g4, {{"CCF", d}}); }), "CCITTFaxDecode Columns is negative");
}

TEST(DecodeFilterFactory, DecodersStopAtTheirOutputBudget)
{
    // A Flate bomb: a few hundred kilobytes that inflate to more than the floor allows.
    const std::size_t chunks = std::size_t(qvx::Common::Limits::kDecodeOutputFloor >> 20) + 1;
    const Bytes zeros(1 << 20, 0);
    Bytes packed;
    z_stream zs{};
    deflateInit(&zs, 9);
    Byte out[1 << 16];
    for (std::size_t i = 0; i <= chunks; ++i) {
        zs.next_in = const_cast<Byte*>(zeros.data());
        zs.avail_in = i < chunks ? uInt(zeros.size()) : 0;
        do {
            zs.next_out = out;
            zs.avail_out = sizeof out;
            deflate(&zs, i < chunks ? Z_NO_FLUSH : Z_FINISH);
            packed.insert(packed.end(), out, out + (sizeof out - zs.avail_out));
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    DecodeParams d;
    d.raw_length = packed.size();
    auto f = CreateDecodeFilter("Fl", d, std::make_unique<MemoryFilter>(packed));
    FilterReader r(*f);
    Bytes buf(1 << 20);
    EXPECT_EQ(MessageOf([&] {
                  while (r.Read(buf.data(), buf.size()) > 0) {
                  }
              }),
              "Decoded data of FlateDecode exceeds the size limit");
}
