#include <gtest/gtest.h>

#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/StreamFilters.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx::SDF;
using qvx::Test::Decoded;
using qvx::Test::Flate;
using qvx::Test::Thrown;

namespace {

// A stream in doc with raw data and the entries of dict_text set by fill.
Obj* MakeStream(SDFDoc& doc, const std::string& raw, const std::function<void(Obj*)>& fill)
{
    auto d = Dict::Create();
    fill(d.get());
    return doc.CreateIndirectStream(qvx::Common::ToBytes(raw), std::move(d));
}

std::string Hex(std::string_view s)
{
    static const char* k = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        out += k[c >> 4];
        out += k[c & 15];
    }
    return out;
}

}  // namespace

TEST(StreamDecode, FlateWithPredictorsAndCorruptTail)
{
    SDFDoc doc;
    std::string text = "hello hello hello world";
    std::string z = Flate(text);
    Obj* plain = MakeStream(doc, z, [](Obj* d) { d->PutName("Filter", "Fl"); });
    EXPECT_EQ(Decoded(plain), text);

    // A damaged tail ends the data quietly with what came before it.
    std::string big;
    for (int i = 0; i < 3000; ++i) big += std::to_string(i * 7919 % 10007) + " ";
    std::string zb = Flate(big);
    std::string cut = zb.substr(0, zb.size() / 2) + std::string(40, '\xFF');
    Obj* broken = MakeStream(doc, cut, [](Obj* d) { d->PutName("Filter", "FlateDecode"); });
    std::string got = Decoded(broken);
    EXPECT_GT(got.size(), 1000u);
    EXPECT_LT(got.size(), big.size());
    // The inflater may turn a few damaged bytes into output before it notices.
    std::size_t good = got.size() - 16;
    EXPECT_TRUE(got.compare(0, good, big, 0, good) == 0);

    // PNG Up rows of 5 bytes: each row adds to the one above.
    std::string rows = std::string("\x02") + "\x01\x02\x03\x04\x05" + "\x02" + std::string("\x01\x01\x01\x01\x01", 5);
    Obj* png = MakeStream(doc, Flate(rows), [](Obj* d) {
        d->PutName("Filter", "Fl");
        Obj* p = d->PutDict("DecodeParms");
        p->PutNumber("Predictor", 12);
        p->PutNumber("Columns", 5);
    });
    EXPECT_EQ(Hex(Decoded(png)), "01020304050203040506");

    Obj* bad = MakeStream(doc, Flate(rows), [](Obj* d) {
        d->PutName("Filter", "Fl");
        d->PutDict("DecodeParms")->PutNumber("Predictor", 3);
    });
    EXPECT_EQ(Thrown([&] { Decoded(bad); }).GetMessage(), "Unknown predictor function.");
    Obj* none = MakeStream(doc, Flate("xyz"), [](Obj* d) {
        d->PutName("Filter", "Fl");
        d->PutDict("DecodeParms")->PutNumber("Predictor", 1);
    });
    EXPECT_EQ(Decoded(none), "xyz");
}

TEST(StreamDecode, FilterArraysAndParameterLists)
{
    SDFDoc doc;
    // TIFF predictor 2 over 3 one-byte columns, applied to the Flate stage only.
    std::string tiff = std::string("\x01\x01\x01\x05\x00\x01", 6);
    std::string raw = Hex(Flate(tiff)) + ">";
    Obj* s = MakeStream(doc, raw, [](Obj* d) {
        Obj* f = d->PutArray("Filter");
        f->PushBackName("AHx");
        f->PushBackName("Fl");
        Obj* p = d->PutArray("DecodeParms");
        p->PushBackNull();
        Obj* pp = p->PushBackDict();
        pp->PutNumber("Predictor", 2);
        pp->PutNumber("Columns", 3);
    });
    EXPECT_EQ(Hex(Decoded(s)), "010203050506");

    Obj* mismatch = MakeStream(doc, raw, [](Obj* d) {
        Obj* f = d->PutArray("Filter");
        f->PushBackName("Fl");
        f->PushBackName("AHx");
        d->PutArray("DecodeParms")->PushBackNull();
    });
    EXPECT_EQ(Thrown([&] { Decoded(mismatch); }).GetMessage(), "Decode parameters do not match filter list");
    Obj* foo = MakeStream(doc, raw, [](Obj* d) { d->PutName("Filter", "Foo"); });
    EXPECT_EQ(Thrown([&] { Decoded(foo); }).GetMessage(), "Unknown filter");
    // Names are checked before anything is decoded.
    Obj* late = MakeStream(doc, raw, [](Obj* d) {
        Obj* f = d->PutArray("Filter");
        f->PushBackName("AHx");
        f->PushBackName("Bogus");
    });
    EXPECT_EQ(Thrown([&] { late->GetDecodedStream(); }).GetMessage(), "Unknown filter");

    Obj* text = MakeStream(doc, "<~87cURD]i,\"Ebo80~>", [](Obj* d) { d->PutName("Filter", "A85"); });
    EXPECT_EQ(Decoded(text), "Hello World!");
    Obj* rl = MakeStream(doc, "\x02" "abc\xFE" "z\x80", [](Obj* d) { d->PutName("Filter", "RL"); });
    EXPECT_EQ(Decoded(rl), "abczzz");
    Obj* empty = MakeStream(doc, "raw", [](Obj* d) { d->PutArray("Filter"); });
    EXPECT_EQ(Decoded(empty), "raw");
}

TEST(StreamDecode, PlainParametersFromDecodeParms)
{
    SDFDoc doc;
    Obj* image = MakeStream(doc, "", [](Obj* d) {
        d->PutNumber("Height", 33);
        d->PutNumber("Width", 17);
        d->PutNumber("BitsPerComponent", 16);
    });
    auto parms = Dict::Create();
    parms->PutNumber("K", -1);
    parms->PutBool("BlackIs1", true);
    parms->PutNumber("Columns", 17);
    parms->PutNumber("EarlyChange", 0);
    parms->PutNumber("Colors", 3);
    qvx::Filters::DecodeParams p = ReadDecodeParams(parms.get(), *image);
    EXPECT_EQ(p.k, -1);
    EXPECT_TRUE(p.black_is_1);
    EXPECT_EQ(p.columns, 17);
    EXPECT_FALSE(p.rows.has_value());  // the decoder takes the image's Height then
    EXPECT_EQ(p.height, 33u);
    EXPECT_EQ(p.width, 17u);
    EXPECT_TRUE(p.end_of_block);
    EXPECT_EQ(p.image_bits_per_component, 16);
    EXPECT_EQ(p.early_change, 0);
    EXPECT_EQ(p.colors, 3);
    EXPECT_EQ(p.bits_per_component, 8);
    EXPECT_EQ(p.predictor, 1);
    qvx::Filters::DecodeParams none = ReadDecodeParams(nullptr, *image);
    EXPECT_FALSE(none.columns.has_value());
    EXPECT_EQ(none.color_transform, -1);

    Obj* negative = MakeStream(doc, "", [](Obj* d) {
        d->PutName("Filter", "CCF");
        d->PutDict("DecodeParms")->PutNumber("Columns", -8);
    });
    EXPECT_EQ(Thrown([&] { Decoded(negative); }).GetMessage(), "CCITTFaxDecode Columns is negative");
    // A Crypt stage passes the data through while the document has no security handler.
    Obj* crypt = MakeStream(doc, "4142>", [](Obj* d) {
        Obj* f = d->PutArray("Filter");
        f->PushBackName("Crypt");
        f->PushBackName("AHx");
    });
    EXPECT_EQ(Decoded(crypt), "AB");
}
