#include <gtest/gtest.h>

#include "common/Exception.h"
#include "filters/PNGPredictorDecode.h"
#include "filters/PNGPredictorEncode.h"
#include "filters/PNGRow.h"
#include "filters/TIFFPredictorDecode.h"
#include "tests/filters/FilterTestUtil.h"

using namespace qvx::Filters;
using namespace qvx::Test;
using qvx::Common::Exception;

namespace {

PredictorParams Params(int predictor, int colors, int bpc, int columns)
{
    PredictorParams p;
    p.predictor = predictor;
    p.colors = colors;
    p.bits_per_component = bpc;
    p.columns = columns;
    return p;
}

Bytes UnPNG(const Bytes& data, const PredictorParams& p, std::size_t step = 1 << 20)
{
    return Decode([&](auto in) { return std::make_unique<PNGPredictorDecode>(std::move(in), p); }, data, step);
}

Bytes UnTIFF(const Bytes& data, const PredictorParams& p, std::size_t step = 1 << 20)
{
    return Decode([&](auto in) { return std::make_unique<TIFFPredictorDecode>(std::move(in), p); }, data, step);
}

Bytes PNG(const Bytes& data, const PredictorParams& p, std::size_t step = 1 << 20)
{
    return Encode([&](auto out) { return std::make_unique<PNGPredictorEncode>(std::move(out), p); }, data, step);
}

// TIFF predictor 2 the plain way: unpack each row into samples, difference, pack again.
Bytes TIFFDifference(const Bytes& data, const PredictorParams& p)
{
    std::size_t row_bits = std::size_t(p.columns) * p.colors * p.bits_per_component;
    std::size_t row_bytes = (row_bits + 7) / 8;
    std::size_t samples = std::size_t(p.columns) * p.colors;
    unsigned bpc = unsigned(p.bits_per_component);
    Bytes out(data.size(), 0);
    for (std::size_t r = 0; r + row_bytes <= data.size(); r += row_bytes) {
        auto get = [&](std::size_t s) {
            unsigned v = 0;
            for (unsigned b = 0; b < bpc; ++b) {
                std::size_t bit = s * bpc + b;
                v = v << 1 | ((data[r + bit / 8] >> (7 - bit % 8)) & 1u);
            }
            return v;
        };
        for (std::size_t s = 0; s < samples; ++s) {
            unsigned v = get(s) - (s >= std::size_t(p.colors) ? get(s - p.colors) : 0);
            for (unsigned b = 0; b < bpc; ++b) {
                std::size_t bit = s * bpc + b;
                if ((v >> (bpc - 1 - b)) & 1u) out[r + bit / 8] |= static_cast<Byte>(0x80 >> (bit % 8));
            }
        }
    }
    return out;
}

}  // namespace

TEST(PNGPredictorDecode, EachRowTagChoosesItsFilter)
{
    // Five-byte rows with Up, as /Predictor 12 /Columns 5 gives them.
    Bytes up = {2, 1, 2, 3, 4, 5, 2, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0xFF};
    EXPECT_EQ(UnPNG(up, Params(12, 1, 8, 5)), (Bytes{1, 2, 3, 4, 5, 2, 3, 4, 5, 6, 2, 3, 4, 5, 5}));
    // The tag, not the Predictor value, decides: the same rows under /Predictor 10 or 15.
    EXPECT_EQ(UnPNG(up, Params(10, 1, 8, 5)), UnPNG(up, Params(15, 1, 8, 5)));

    auto rows = [](Bytes above, int tag, Bytes row) {
        Bytes d = {0};
        d.insert(d.end(), above.begin(), above.end());
        d.push_back(static_cast<Byte>(tag));
        d.insert(d.end(), row.begin(), row.end());
        return d;
    };
    PredictorParams gray4 = Params(15, 1, 8, 4);
    auto second = [](Bytes b) { return Bytes(b.begin() + static_cast<long>(b.size() / 2), b.end()); };
    EXPECT_EQ(second(UnPNG(rows({10, 20, 30, 40}, 1, {1, 2, 3, 4}), gray4)), (Bytes{1, 3, 6, 10}));
    EXPECT_EQ(second(UnPNG(rows({10, 20, 30, 40}, 3, {1, 2, 3, 4}), gray4)), (Bytes{6, 15, 25, 36}));
    // Paeth picking the upper byte, the left byte, then the upper-left one.
    EXPECT_EQ(second(UnPNG(rows({10, 20, 30, 40}, 4, {1, 2, 3, 4}), gray4)), (Bytes{11, 22, 33, 44}));
    EXPECT_EQ(second(UnPNG(rows({50, 50, 50, 50}, 4, {1, 2, 3, 4}), gray4)), (Bytes{51, 53, 56, 60}));
    EXPECT_EQ(second(UnPNG(rows({100, 60}, 4, {40, 5}), Params(15, 1, 8, 2))), (Bytes{140, 105}));
    // Sub works on whole pixels: three bytes back for RGB, two bytes back for 16-bit gray.
    EXPECT_EQ(second(UnPNG(rows({0, 0, 0, 0, 0, 0}, 1, {1, 2, 3, 4, 5, 6}), Params(15, 3, 8, 2))),
              (Bytes{1, 2, 3, 5, 7, 9}));
    EXPECT_EQ(second(UnPNG(rows({0, 0, 0, 0}, 1, {1, 2, 3, 4}), Params(15, 1, 16, 2))), (Bytes{1, 2, 4, 6}));
    // Below 8 bits the distance is one byte.
    EXPECT_EQ(second(UnPNG(rows({0, 0}, 1, {0x11, 0x22}), Params(15, 1, 4, 4))), (Bytes{0x11, 0x33}));
    // An unknown tag counts as None; a cut last row is completed with zeros, as qpdf does.
    EXPECT_EQ(UnPNG({7, 9, 8, 2, 1, 1}, Params(12, 1, 8, 2)), (Bytes{9, 8, 10, 9}));
    EXPECT_EQ(UnPNG({2, 1, 2, 3, 2, 2, 2}, Params(12, 1, 8, 3), 1), (Bytes{1, 2, 3, 3, 4, 3}));
    EXPECT_EQ(UnPNG({2}, Params(12, 1, 8, 3)), Bytes{});
}

TEST(TIFFPredictorDecode, SumsComponentsAlongEachRow)
{
    EXPECT_EQ(UnTIFF({10, 20, 30, 1, 2, 3, 250, 250, 250, 1, 1, 1, 1, 1, 1, 1, 1, 1}, Params(2, 3, 8, 3)),
              (Bytes{10, 20, 30, 11, 22, 33, 5, 16, 27, 1, 1, 1, 2, 2, 2, 3, 3, 3}));
    EXPECT_EQ(UnTIFF({0x90, 0x90}, Params(2, 1, 1, 8)), (Bytes{0xE0, 0xE0}));
    EXPECT_EQ(UnTIFF({0x12, 0x34, 0xFF}, Params(2, 2, 4, 3)), (Bytes{0x12, 0x46, 0x35}));
    EXPECT_EQ(UnTIFF({0x01, 0x02, 0x00, 0x01, 0xFF, 0xFF}, Params(2, 1, 16, 3)),
              (Bytes{0x01, 0x02, 0x01, 0x03, 0x01, 0x02}));
    // Six 2-bit samples per row: the last byte of each row has padding bits, left as they are.
    EXPECT_EQ(UnTIFF({0x55, 0x5F, 0x55, 0x50}, Params(2, 1, 2, 6)), (Bytes{0x6C, 0x6F, 0x6C, 0x60}));
    // A cut last row: whole samples are decoded, a lone half of a 16-bit sample is kept.
    EXPECT_EQ(UnTIFF({1, 2, 3}, Params(2, 1, 8, 5)), (Bytes{1, 3, 6}));
    EXPECT_EQ(UnTIFF({0, 1, 0, 1, 7}, Params(2, 1, 16, 4)), (Bytes{0, 1, 0, 2, 7}));

    // Every depth and a range of colour counts and widths against the plain differencing.
    for (int bpc : {1, 2, 4, 8, 16}) {
        for (int colors : {1, 2, 3, 4, 5}) {
            for (int columns : {1, 3, 7, 33}) {
                PredictorParams p = Params(2, colors, bpc, columns);
                std::size_t row = (std::size_t(columns) * colors * bpc + 7) / 8;
                Bytes image = SampleData(row * 9, static_cast<unsigned>(bpc * 100 + colors * 10 + columns));
                // Padding bits are not samples; clear them so the comparison is exact.
                std::size_t pad = row * 8 - std::size_t(columns) * colors * bpc;
                for (std::size_t r = row - 1; r < image.size(); r += row)
                    image[r] = static_cast<Byte>(image[r] & (0xFF << pad));
                EXPECT_EQ(UnTIFF(TIFFDifference(image, p), p, 5), image) << bpc << " " << colors << " " << columns;
            }
        }
    }
}

TEST(PNGPredictorEncode, RoundTripsAtEveryDepthAndPredictor)
{
    for (int predictor = 10; predictor <= 15; ++predictor) {
        for (int bpc : {1, 2, 4, 8, 16}) {
            for (int colors : {1, 3, 4, 6}) {
                PredictorParams p = Params(predictor, colors, bpc, 13);
                Bytes image = SampleData(2000 + static_cast<std::size_t>(bpc), static_cast<unsigned>(predictor * bpc * colors));
                Bytes coded = PNG(image, p, 77);
                std::size_t row = (13u * colors * bpc + 7) / 8;
                EXPECT_EQ(coded.size(), image.size() + (image.size() + row - 1) / row);
                // A cut last row comes back completed to a whole row.
                Bytes back = UnPNG(coded, p, 3);
                ASSERT_EQ(back.size(), (image.size() + row - 1) / row * row);
                back.resize(image.size());
                EXPECT_EQ(back, image) << predictor << " " << bpc << " " << colors;
                if (predictor < 15) {
                    for (std::size_t r = 0; r < coded.size(); r += row + 1) ASSERT_EQ(coded[r], predictor - 10);
                }
            }
        }
    }
    // Optimum picks per row: a smooth ramp goes to Sub, identical rows to Up.
    Bytes ramp;
    for (int r = 0; r < 4; ++r)
        for (int i = 0; i < 100; ++i) ramp.push_back(static_cast<Byte>(i * 2 + r * 50));
    Bytes coded = PNG(ramp, Params(15, 1, 8, 100));
    EXPECT_EQ(coded[0], PNGRow::e_sub);
    Bytes same(400, 0);
    for (std::size_t i = 0; i < same.size(); ++i) same[i] = static_cast<Byte>((i % 100) * 37);
    coded = PNG(same, Params(15, 1, 8, 100));
    EXPECT_EQ(coded[101], PNGRow::e_up);
}

TEST(Predictors, RefuseParametersTheyCannotHonour)
{
    auto message = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const Exception& e) {
            return e.GetMessage();
        }
        return std::string("(no exception)");
    };
    auto src = [] { return std::make_unique<MemoryFilter>(Bytes{}); };
    EXPECT_EQ(message([&] { PNGPredictorDecode f(src(), Params(12, 1, 3, 1)); }), "Invalid predictor parameters");
    EXPECT_EQ(message([&] { PNGPredictorDecode f(src(), Params(12, 0, 8, 1)); }), "Invalid predictor parameters");
    EXPECT_EQ(message([&] { TIFFPredictorDecode f(src(), Params(2, 1, 8, 0)); }), "Invalid predictor parameters");
    EXPECT_EQ(message([&] { TIFFPredictorDecode f(src(), Params(2, 1 << 30, 16, 1 << 30)); }), "Invalid predictor parameters");
    EXPECT_EQ(message([&] { PNGPredictorEncode f(std::make_unique<MemoryFilter>(), Params(2, 1, 8, 1)); }),
              "Unknown predictor function.");
    EXPECT_EQ(message([&] { PNGPredictorDecode f(src(), Params(12, 32, 16, 1000)); }), "(no exception)");
}
