// JBIG2 streams made by the test encoder, decoded by the engine and by jbig2dec; every
// segment type and coding option the decoder knows is covered.
#include <gtest/gtest.h>

#include <cmath>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/JBIG2Decode.h"
#include "filters/MemoryFilter.h"
#include "tests/filters/JBIG2TestEncoder.h"
#include "tests/filters/JBIG2TestSupport.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/TestEnv.h"

using namespace qvx::Test::JBIG2;
using qvx::Common::Bytes;

namespace {

enum { kPage = 1 };

// Decodes with both decoders and checks they agree; returns the engine's page.
Bitmap Agree(const Bytes& page, const Bytes& globals = {}, const std::string& what = {})
{
    Bitmap ours = EngineDecode(page, globals);
    static const bool oracle = OracleAvailable();
    EXPECT_TRUE(oracle) << "jbig2dec is missing (scripts/install-deps.sh installs it)";
    if (!oracle) return ours;
    auto theirs = OracleDecode(page, globals);
    EXPECT_TRUE(theirs.has_value()) << what << ": jbig2dec failed";
    if (theirs) {
        EXPECT_EQ(Difference(ours, *theirs), "") << what;
    }
    return ours;
}

Bytes PageWith(std::uint32_t w, std::uint32_t h, int type, const Bytes& region_data,
               const std::vector<std::uint32_t>& refs = {}, int default_pixel = 0)
{
    Bytes s;
    AddSegment(s, 1, 48, kPage, {}, PageInfo(w, h, default_pixel));
    AddSegment(s, 2, type, kPage, refs, region_data);
    AddSegment(s, 3, 49, kPage, {}, {});
    return s;
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Bitmap> Glyphs(std::size_t n, unsigned seed)
{
    std::vector<Bitmap> out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(Picture(3 + std::uint32_t((i * 7 + seed) % 13), 4 + std::uint32_t(i % 3) * 3, seed + unsigned(i), 30));
    std::stable_sort(out.begin(), out.end(), [](const Bitmap& a, const Bitmap& b) {
        return a.Height() != b.Height() ? a.Height() < b.Height() : a.Width() < b.Width();
    });
    return out;
}

std::vector<Instance> Layout(const std::vector<Bitmap>& glyphs, std::uint32_t w, std::uint32_t h, unsigned seed,
                             std::size_t n)
{
    std::vector<Instance> out;
    std::uint32_t x = 2, y = 2;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t id = std::uint32_t((i * 5 + seed) % glyphs.size());
        if (x + glyphs[id].Width() + 2 > w) {
            x = 2;
            y += 13;
        }
        if (y + 12 > h) break;
        out.push_back({id, std::int32_t(x), std::int32_t(y + (i % 3))});
        x += glyphs[id].Width() + 1 + std::uint32_t(i % 4);
    }
    return out;
}

// The page a text region should give: each instance drawn with OR.
Bitmap Drawn(std::uint32_t w, std::uint32_t h, const std::vector<Bitmap>& glyphs, const std::vector<Instance>& inst)
{
    Bitmap page(w, h);
    for (const Instance& i : inst) page.Compose(i.refined ? *i.refined : glyphs[i.id], i.x, i.y, qvx::Filters::JBIG2::e_or);
    return page;
}

std::vector<const Bitmap*> Pointers(const std::vector<Bitmap>& v)
{
    std::vector<const Bitmap*> out;
    for (const auto& b : v) out.push_back(&b);
    return out;
}

}  // namespace

TEST(JBIG2Decode, GenericRegionsAgreeWithJbig2dec)
{
    Bitmap pic = Picture(67, 45, 7);
    // Noise rows, every third one a copy of the one above: every context turns up between
    // typical rows, the one the typical-row flag shares its state with included.
    Bitmap noisy(1000, 600);
    std::uint32_t seed = 12345;
    for (std::uint32_t y = 0; y < noisy.Height(); ++y) {
        if (y % 3 == 2) {
            noisy.CopyRow(y, noisy, y - 1);
            continue;
        }
        for (std::uint32_t x = 0; x < noisy.Width(); ++x) noisy.Set(x, y, int((seed = seed * 1103515245u + 12345u) >> 30 & 1));
    }
    for (const Bitmap* image : {&pic, &noisy}) {
        for (int t = 0; t < 4; ++t) {
            for (bool tp : {false, true}) {
                for (bool nominal : {true, false}) {
                    GenericOptions o;
                    o.gb_template = t;
                    o.tpgdon = tp;
                    if (!nominal) {
                        const int at[8] = {-1, -3, 4, -2, -5, 0, 1, -1};
                        std::copy(at, at + 8, o.at);
                    }
                    const std::uint32_t w = image->Width(), h = image->Height();
                    Bytes data = RegionInfo(w, h, 5, 3, 0);
                    data.push_back(qvx::Common::Byte(t << 1 | (tp ? 8 : 0)));
                    for (int i = 0; i < (t == 0 ? 8 : 2); ++i) data.push_back(qvx::Common::Byte(o.at[i]));
                    Bytes coded = EncodeGeneric(*image, o);
                    data.insert(data.end(), coded.begin(), coded.end());
                    std::string what = std::string(image == &pic ? "picture" : "noise") + ", template " + std::to_string(t) +
                                       (tp ? " TPGDON" : "") + (nominal ? "" : " AT");
                    Bitmap page = Agree(PageWith(w + 13, h + 5, 38, data), {}, what);
                    EXPECT_EQ(Difference(page.Extract(5, 3, w, h), *image), "") << what;
                }
            }
        }
    }
    // Group 4 coded, drawn on a page that starts black, with XOR.
    Bytes data = RegionInfo(67, 45, 9, 1, 2);
    data.push_back(1);
    Bytes mmr = EncodeMMR(pic);
    data.insert(data.end(), mmr.begin(), mmr.end());
    Bitmap page = Agree(PageWith(80, 50, 38, data, {}, 1), {}, "MMR");
    EXPECT_EQ(page.Get(0, 0), 1);
    EXPECT_EQ(page.Get(9, 1), 1 ^ pic.Get(0, 0));
}

TEST(JBIG2Decode, TextRegionsAgreeWithJbig2dec)
{
    std::vector<Bitmap> glyphs = Glyphs(23, 3);
    auto ptrs = Pointers(glyphs);
    for (int t = 0; t < 4; ++t) {
        Bytes globals;
        DictOptions d;
        d.gb_template = t;
        AddSegment(globals, 1, 0, 0, {}, EncodeSymbolDict(glyphs, d));
        // Globals that end with an end-of-file segment still leave the page to its stream.
        if (t == 3) AddSegment(globals, 9, 51, 0, {}, {});
        for (int corner = 0; corner < 4; ++corner) {
            for (bool transposed : {false, true}) {
                TextOptions o;
                o.ref_corner = corner;
                o.transposed = transposed;
                o.log_strips = (corner + t) % 3;
                o.ds_offset = corner - 2;
                o.op = (corner + (transposed ? 1 : 0)) % 4;
                auto inst = Layout(glyphs, 150, 90, unsigned(corner * 2 + t), 60);
                Bytes region = RegionInfo(150, 90, 0, 0, 0);
                region = Concat(region, EncodeTextRegion(ptrs, inst, o));
                Bytes page;
                AddSegment(page, 2, 48, kPage, {}, PageInfo(150, 90));
                AddSegment(page, 3, 6, kPage, {1}, region);
                AddSegment(page, 4, 49, kPage, {}, {});
                std::string what = "template " + std::to_string(t) + " corner " + std::to_string(corner) +
                                   (transposed ? " transposed" : "");
                Bitmap out = Agree(page, globals, what);
                if (o.op == 0) {
                    EXPECT_EQ(Difference(out, Drawn(150, 90, glyphs, inst)), "") << what;
                }
            }
        }
    }
}

TEST(JBIG2Decode, HuffmanCodedSymbolsAndTextAgreeWithJbig2dec)
{
    std::vector<Bitmap> glyphs = Glyphs(40, 11);
    auto ptrs = Pointers(glyphs);
    for (bool mmr : {false, true}) {
        // Variants: no strips, two strips, refined instances, refined instances with the
        // region itself arithmetic-coded (refinement template 0 with its adaptive pixels).
        for (int variant = 0; variant < 4; ++variant) {
            DictOptions d;
            d.huffman = true;
            d.mmr_collective = mmr;
            Bytes stream;
            AddSegment(stream, 1, 48, kPage, {}, PageInfo(200, 120));
            AddSegment(stream, 2, 0, kPage, {}, EncodeSymbolDict(glyphs, d));
            TextOptions o;
            o.huffman = variant < 3;
            o.log_strips = variant % 3;
            o.refine = variant >= 2;
            o.r_template = variant == 3 ? 0 : 1;
            auto inst = Layout(glyphs, 200, 120, 5, 120);
            std::vector<Bitmap> refined;
            refined.reserve(inst.size());
            for (std::size_t i = 0; o.refine && i < inst.size(); i += 3) {
                const Bitmap& g = glyphs[inst[i].id];
                refined.push_back(g.Extract(-1, 0, g.Width() + 2, g.Height() + 1));
                refined.back().Set(0, 0, 1);
                inst[i].refined = &refined.back();
                inst[i].rdx = -1;
            }
            AddSegment(stream, 3, 6, kPage, {2}, Concat(RegionInfo(200, 120, 0, 0, 0), EncodeTextRegion(ptrs, inst, o)));
            std::string what = std::string(mmr ? "MMR" : "raw") + " variant " + std::to_string(variant);
            // jbig2dec 0.19 misreads the refinement template of Huffman-coded text regions, so
            // refined instances are checked against the drawing alone.
            Bitmap page = variant == 2 ? EngineDecode(stream) : Agree(stream, {}, what);
            EXPECT_EQ(Difference(page, Drawn(200, 120, glyphs, inst)), "") << what;
        }
    }
}

TEST(JBIG2Decode, RefinementAndAggregateSymbolsAgreeWithJbig2dec)
{
    std::vector<Bitmap> glyphs = Glyphs(6, 21);
    auto ptrs = Pointers(glyphs);
    for (int rt = 0; rt < 2; ++rt) {
        // New symbols: refinements of known ones, and pairs of known ones side by side.
        std::vector<AggSymbol> made;
        for (std::uint32_t i = 0; i < 4; ++i) {
            AggSymbol s;
            if (i % 2 == 0) {
                const Bitmap& g = glyphs[i];
                s.bitmap = g.Extract(0, 0, g.Width() + 1, g.Height());
                s.bitmap.Set(g.Width(), 1, 1);
                s.parts = {{i, 0, 0, nullptr, 0, 0}};
            } else {
                const Bitmap &a = glyphs[i], &b = glyphs[i + 1];
                s.bitmap = Bitmap(a.Width() + b.Width() + 1, std::max(a.Height(), b.Height()));
                s.bitmap.Compose(a, 0, 0, qvx::Filters::JBIG2::e_or);
                s.bitmap.Compose(b, a.Width() + 1, 0, qvx::Filters::JBIG2::e_or);
                s.parts = {{i, 0, 0}, {i + 1, std::int32_t(a.Width() + 1), 0}};
            }
            made.push_back(std::move(s));
        }
        std::stable_sort(made.begin(), made.end(),
                         [](const AggSymbol& a, const AggSymbol& b) { return a.bitmap.Height() < b.bitmap.Height(); });
        Bytes stream;
        AddSegment(stream, 1, 48, kPage, {}, PageInfo(120, 40));
        AddSegment(stream, 2, 0, kPage, {}, EncodeSymbolDict(glyphs, {}));
        AddSegment(stream, 3, 0, kPage, {2}, EncodeRefAggDict(ptrs, made, rt));
        std::vector<const Bitmap*> made_ptrs;
        for (const auto& m : made) made_ptrs.push_back(&m.bitmap);
        std::vector<Instance> inst;
        std::int32_t x = 1;
        for (std::uint32_t i = 0; i < made.size(); ++i) {
            inst.push_back({i, x, 3});
            x += std::int32_t(made[i].bitmap.Width()) + 2;
        }
        AddSegment(stream, 4, 6, kPage, {3},
                   Concat(RegionInfo(120, 40, 0, 0, 0), EncodeTextRegion(made_ptrs, inst, {})));
        Bitmap page = Agree(stream, {}, "refinement template " + std::to_string(rt));
        EXPECT_EQ(Difference(page.Extract(1, 3, made[0].bitmap.Width(), made[0].bitmap.Height()), made[0].bitmap), "");
    }
}

TEST(JBIG2Decode, RefinementRegionsAgreeWithJbig2dec)
{
    Bitmap pic = Picture(60, 40, 9);
    Bitmap changed = pic;
    for (std::uint32_t i = 0; i < 40; ++i) changed.Set((i * 7) % 60, i, 1 - changed.Get((i * 7) % 60, i));
    // A refinement refers to an intermediate region, or else to the page under it. jbig2dec
    // has no intermediate regions and reads the page as if the region stood at (0, 0), so
    // it serves as oracle only for a page refinement at the origin.
    for (int t = 0; t < 2; ++t) {
        for (bool tp : {false, true}) {
            for (int at : {0, 2}) {
                for (bool intermediate : {false, true}) {
                    Bytes stream;
                    AddSegment(stream, 1, 48, kPage, {}, PageInfo(64, 44));
                    Bytes gen = RegionInfo(60, 40, at, at, 0);
                    gen.push_back(0);
                    for (int v : {3, -1, -3, -1, 2, -2, -2, -2}) gen.push_back(qvx::Common::Byte(v));
                    gen = Concat(gen, EncodeGeneric(pic, {}));
                    AddSegment(stream, 2, intermediate ? 36 : 38, kPage, {}, gen);
                    Bytes ref = RegionInfo(60, 40, at, at, 4);
                    ref.push_back(qvx::Common::Byte(t | (tp ? 2 : 0)));
                    if (t == 0)
                        for (int v : {-1, -1, -1, -1}) ref.push_back(qvx::Common::Byte(v));
                    MQEncoder mq;
                    std::vector<std::uint8_t> cx(1 << 13);
                    RefineOptions ro;
                    ro.gr_template = t;
                    ro.tpgron = tp;
                    EncodeRefinement(mq, cx, changed, pic, ro);
                    ref = Concat(ref, mq.Finish());
                    AddSegment(stream, 3, 42, kPage, intermediate ? std::vector<std::uint32_t>{2} : std::vector<std::uint32_t>{},
                               ref);
                    std::string what = "template " + std::to_string(t) + (tp ? " TPGRON" : "") +
                                       (intermediate ? " of a region" : " of the page") + " at " + std::to_string(at);
                    Bitmap page = at == 0 && !intermediate ? Agree(stream, {}, what) : EngineDecode(stream);
                    EXPECT_EQ(Difference(page.Extract(at, at, 60, 40), changed), "") << what;
                }
            }
        }
    }
}

TEST(JBIG2Decode, HalftoneRegionsAgreeWithJbig2dec)
{
    std::vector<Bitmap> patterns;
    for (std::uint32_t v = 0; v < 6; ++v) {
        Bitmap p(4, 4);
        for (std::uint32_t i = 0; i < v * 3 && i < 16; ++i) p.Set((i * 5) % 4, (i * 3 + i / 4) % 4, 1);
        patterns.push_back(p);
    }
    std::vector<std::vector<std::uint32_t>> grey(9, std::vector<std::uint32_t>(12));
    for (std::size_t m = 0; m < 9; ++m)
        for (std::size_t n = 0; n < 12; ++n) grey[m][n] = std::uint32_t((m * 3 + n * 5 + m * n) % 6);
    for (bool mmr : {false, true}) {
        for (int t = 0; t < 4; t += mmr ? 4 : 1) {
            for (bool rotated : {false, true}) {
                Bytes stream;
                AddSegment(stream, 1, 48, kPage, {}, PageInfo(60, 50));
                AddSegment(stream, 2, 16, kPage, {}, EncodePatternDict(patterns, mmr, t));
                // Grid vectors in 1/256 pixel: plain 4-pixel cells, or a slanted grid.
                const std::uint16_t rx = rotated ? 0x380 : 0x400, ry = rotated ? 0x100 : 0;
                Bytes ht = Concat(RegionInfo(60, 50, 0, 0, 0),
                                  EncodeHalftone(grey, 3, t, mmr, rotated ? 2 : 0, 0x300, 0x200, rx, ry));
                AddSegment(stream, 3, 22, kPage, {2}, ht);
                Agree(stream, {}, std::string(mmr ? "MMR" : "template " + std::to_string(t)) + (rotated ? " slanted" : ""));
            }
        }
    }
}

TEST(JBIG2Decode, StripedPagesGrowToTheirStripes)
{
    Bitmap top = Picture(40, 16, 1), bottom = Picture(40, 10, 2);
    Bytes stream;
    AddSegment(stream, 1, 48, kPage, {}, PageInfo(40, 0xFFFFFFFF, 0, true, 16));
    auto region = [](const Bitmap& b, std::int32_t y) {
        Bytes d = RegionInfo(b.Width(), b.Height(), 0, y, 0);
        d.push_back(qvx::Common::Byte(2 << 1));
        d.push_back(2), d.push_back(qvx::Common::Byte(-1));
        GenericOptions o;
        o.gb_template = 2;
        o.at[0] = 2;
        return Concat(d, EncodeGeneric(b, o));
    };
    AddSegment(stream, 2, 38, kPage, {}, region(top, 0));
    Bytes eos;
    PutU32(eos, 15);  // jbig2dec sizes the page by its regions; the stripes end with them here
    AddSegment(stream, 3, 50, kPage, {}, eos);
    AddSegment(stream, 4, 38, kPage, {}, region(bottom, 16));
    eos.clear();
    PutU32(eos, 25);
    AddSegment(stream, 5, 50, kPage, {}, eos);
    AddSegment(stream, 6, 49, kPage, {}, {});
    Bitmap page = Agree(stream, {}, "striped");
    EXPECT_EQ(page.Height(), 26u);
    EXPECT_EQ(Difference(page.Extract(0, 16, 40, 10), bottom), "");
}

TEST(JBIG2Decode, OutputIsPdfPolarityCroppedToTheImage)
{
    Bitmap pic(10, 3);
    pic.Set(0, 0, 1);
    pic.Set(9, 2, 1);
    Bytes data = RegionInfo(10, 3, 0, 0, 0);
    data.push_back(1);
    data = Concat(data, EncodeMMR(pic));
    Bytes stream = PageWith(10, 3, 38, data);
    auto decode = [&](std::uint32_t w, std::uint32_t h) {
        qvx::Filters::JBIG2Decode dec(std::make_unique<qvx::Filters::MemoryFilter>(stream), {}, w, h);
        qvx::Filters::FilterReader r(dec);
        return r.ReadAll();
    };
    // Black is 0; rows keep their byte padding.
    EXPECT_EQ(decode(0, 0), (Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xBF}));
    // The image's own size wins: cropped, or padded with white.
    EXPECT_EQ(decode(8, 2), (Bytes{0x7F, 0xFF}));
    EXPECT_EQ(decode(10, 4), (Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0xFF, 0xFF}));
}

// PDF readers draw a JBIG2 image's black pixels black with the default Decode array, so
// black must come out of the filter as 0.
TEST(JBIG2Decode, ReadersDrawWhatTheFilterCallsBlack)
{
    Bitmap pic(8, 2);
    for (std::uint32_t x = 0; x < 4; ++x) pic.Set(x, 0, 1);
    Bytes data = Concat(RegionInfo(8, 2, 0, 0, 0), Bytes{1});
    data = Concat(data, EncodeMMR(pic));
    Bytes stream = PageWith(8, 2, 38, data);
    qvx::Test::PdfBuilder b = qvx::Test::PdfBuilder::Minimal();
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 8 2]/Resources<</XObject<</Im 5 0 R>>>>/Contents 4 0 R>>");
    b.SetStream(4, "", "q 8 0 0 2 0 0 cm /Im Do Q");
    b.SetStream(5, "/Type/XObject/Subtype/Image/Width 8/Height 2/ColorSpace/DeviceGray/BitsPerComponent 1/Filter/JBIG2Decode",
                std::string(stream.begin(), stream.end()));
    qvx::Test::TempDir dir;
    auto pdf = dir.Write("a.pdf", b.Build());
    auto r = qvx::Test::Run({"/usr/bin/pdftoppm", "-gray", "-r", "72", pdf.string(), (dir.Path() / "p").string()});
    ASSERT_EQ(r.status, 0) << r.output;
    std::string pgm = qvx::Test::ReadFile(dir.Path() / "p-1.pgm");
    ASSERT_GE(pgm.size(), 16u);
    const std::string pixels = pgm.substr(pgm.size() - 16);
    EXPECT_EQ(std::uint8_t(pixels[0]), 0);      // top left: black in the JBIG2 data
    EXPECT_EQ(std::uint8_t(pixels[7]), 255);    // top right: white
    qvx::Filters::JBIG2Decode dec(std::make_unique<qvx::Filters::MemoryFilter>(stream));
    qvx::Filters::FilterReader reader(dec);
    EXPECT_EQ(reader.ReadAll(), (Bytes{0x0F, 0xFF}));
}

TEST(JBIG2Decode, UserHuffmanTablesAgreeWithJbig2dec)
{
    std::vector<Bitmap> glyphs = Glyphs(12, 5);
    auto ptrs = Pointers(glyphs);
    Bytes ds_table = TableSegment(3, 3, -4, {{3, 2}, {2, 2}, {3, 3}, {4, 4}}, 5, 5, 2);
    Bytes dt_table = TableSegment(3, 3, 0, {{2, 3}, {2, 3}, {3, 4}, {3, 5}}, 4, 4, 0);
    const auto ds = qvx::Filters::JBIG2::ReadTableSegment(ds_table);
    const auto dt = qvx::Filters::JBIG2::ReadTableSegment(dt_table);
    DictOptions d;
    d.huffman = true;
    Bytes stream;
    AddSegment(stream, 1, 48, kPage, {}, PageInfo(120, 60));
    AddSegment(stream, 2, 0, kPage, {}, EncodeSymbolDict(glyphs, d));
    AddSegment(stream, 3, 53, kPage, {}, ds_table);
    AddSegment(stream, 4, 53, kPage, {}, dt_table);
    TextOptions o;
    o.huffman = true;
    o.user_ds = &ds;
    o.user_dt = &dt;
    auto inst = Layout(glyphs, 120, 60, 1, 30);
    AddSegment(stream, 5, 6, kPage, {2, 3, 4}, Concat(RegionInfo(120, 60, 0, 0, 0), EncodeTextRegion(ptrs, inst, o)));
    Bitmap page = Agree(stream, {}, "user tables");
    EXPECT_EQ(Difference(page, Drawn(120, 60, glyphs, inst)), "");
}

TEST(JBIG2Decode, GenericRegionOfUnknownLengthEndsAtItsRowCount)
{
    Bitmap pic = Picture(30, 20, 4);
    for (bool mmr : {false, true}) {
        Bytes data = Concat(RegionInfo(30, 0xFFFFFFFF, 0, 0, 0), Bytes{qvx::Common::Byte(mmr ? 1 : 0)});
        if (!mmr) data = Concat(data, Bytes{3, 0xFF, 0xFD, 0xFF, 2, 0xFE, 0xFE, 0xFE});
        // MMR data ends with the end-of-block code before the 0x00 0x00 marker.
        Bytes coded = mmr ? Concat(EncodeMMR(pic.Extract(0, 0, 30, 12)), Bytes{0x00, 0x10, 0x01, 0x00, 0x00})
                          : EncodeGeneric(pic.Extract(0, 0, 30, 12), {});
        data = Concat(data, coded);
        PutU32(data, 12);
        Bytes s;
        AddSegment(s, 1, 48, kPage, {}, PageInfo(30, 20));
        AddSegment(s, 2, 38, kPage, {}, data);
        // The open length is written as 0xFFFFFFFF over the real one.
        for (std::size_t i = 0; i < 4; ++i) s[s.size() - data.size() - 4 + i] = 0xFF;
        AddSegment(s, 3, 49, kPage, {}, {});
        Bitmap page = Agree(s, {}, mmr ? "MMR" : "arithmetic");
        EXPECT_EQ(Difference(page, pic.Extract(0, 0, 30, 20).Extract(0, 0, 30, 12).Extract(0, 0, 30, 20)), "");
    }
}

TEST(JBIG2Decode, DamagedStreamsGiveWhatWasDecodedOrTheOneError)
{
    std::vector<Bitmap> glyphs = Glyphs(9, 2);
    auto ptrs = Pointers(glyphs);
    Bytes stream;
    AddSegment(stream, 1, 48, kPage, {}, PageInfo(90, 40));
    AddSegment(stream, 2, 0, kPage, {}, EncodeSymbolDict(glyphs, {}));
    auto inst = Layout(glyphs, 90, 40, 3, 20);
    AddSegment(stream, 3, 6, kPage, {2}, Concat(RegionInfo(90, 40, 0, 0, 0), EncodeTextRegion(ptrs, inst, {})));
    Bytes gen = Concat(RegionInfo(90, 40, 0, 0, 2), Bytes{0, 3, 0xFF, 0xFD, 0xFF, 2, 0xFE, 0xFE, 0xFE});
    AddSegment(stream, 4, 38, kPage, {}, Concat(gen, EncodeGeneric(Picture(90, 40, 1), {})));
    const Bitmap whole = EngineDecode(stream);
    auto decode = [](const Bytes& s) -> std::optional<Bitmap> {
        try {
            return EngineDecode(s);
        } catch (const qvx::Common::Exception& e) {
            EXPECT_STREQ(e.what(), "An error occurred while decoding JBIG2 stream");
            return std::nullopt;
        }
    };
    // Cut anywhere: before the page exists it throws, after it the page comes out whole-sized.
    const std::size_t page_end = 11 + 19;
    for (std::size_t cut = 0; cut < stream.size(); cut += 3) {
        auto page = decode(Bytes(stream.begin(), stream.begin() + std::ptrdiff_t(cut)));
        EXPECT_EQ(page.has_value(), cut >= page_end) << cut;
        if (page) {
            EXPECT_EQ(page->Width(), 90u);
        }
    }
    // Flipped bytes never crash and never raise anything but the decoder's error.
    for (std::size_t i = 0; i < stream.size(); ++i) {
        Bytes bad = stream;
        bad[i] ^= qvx::Common::Byte(0x5A + i);
        decode(bad);
    }
    // A page beyond the size limit, and input without a page, cannot be decoded.
    Bytes huge;
    AddSegment(huge, 1, 48, kPage, {}, PageInfo(1u << 20, 1u << 20));
    EXPECT_FALSE(decode(huge).has_value());
    EXPECT_FALSE(decode({}).has_value());
    EXPECT_FALSE(decode(Bytes(stream.begin() + 30, stream.end())).has_value());
    EXPECT_EQ(Difference(*decode(stream), whole), "");
}

// The fifteen standard tables are complete prefix codes over contiguous value ranges, and
// every value (and out-of-band where a table has it) reads back as written.
TEST(JBIG2Decode, StandardHuffmanTablesAreCompleteAndContiguous)
{
    using qvx::Filters::JBIG2::HuffmanLine;
    using qvx::Filters::JBIG2::StandardTable;
    for (int n = 1; n <= 15; ++n) {
        const auto& t = StandardTable(n);
        double kraft = 0;
        std::vector<std::pair<std::int64_t, std::int64_t>> ranges;  // [low, high)
        std::int64_t lower = INT64_MIN, upper = INT64_MAX;
        bool oob = false;
        for (const HuffmanLine& l : t.Lines()) {
            kraft += std::ldexp(1.0, -l.prefix_len);
            if (l.kind == HuffmanLine::e_normal) ranges.push_back({l.range_low, l.range_low + (std::int64_t(1) << l.range_len)});
            if (l.kind == HuffmanLine::e_lower) lower = l.range_low;
            if (l.kind == HuffmanLine::e_upper) upper = l.range_low;
            oob |= l.kind == HuffmanLine::e_oob;
        }
        EXPECT_DOUBLE_EQ(kraft, 1.0) << "B." << n;
        std::sort(ranges.begin(), ranges.end());
        for (std::size_t i = 1; i < ranges.size(); ++i) EXPECT_EQ(ranges[i - 1].second, ranges[i].first) << "B." << n;
        if (lower != INT64_MIN) {
            EXPECT_EQ(lower + 1, ranges.front().first) << "B." << n;
        }
        if (upper != INT64_MAX) {
            EXPECT_EQ(upper, ranges.back().second) << "B." << n;
        }
        // Write a spread of values (and OOB), read them back.
        std::vector<std::int32_t> values;
        for (std::int64_t v = ranges.front().first - 3; v < ranges.back().second + 3; v += 7) {
            if ((v < ranges.front().first && lower == INT64_MIN) || (v >= ranges.back().second && upper == INT64_MAX)) continue;
            values.push_back(std::int32_t(v));
        }
        BitWriter w;
        for (std::int32_t v : values) w.Put(t, v);
        if (oob) w.Put(t, std::nullopt);
        Bytes data = w.Take();
        qvx::Filters::JBIG2::BitReader r(data);
        for (std::int32_t v : values) {
            std::int32_t got = 0;
            ASSERT_TRUE(t.Decode(r, got)) << "B." << n << " " << v;
            EXPECT_EQ(got, v) << "B." << n;
        }
        std::int32_t got = 0;
        if (oob) {
            EXPECT_FALSE(t.Decode(r, got)) << "B." << n;
        }
    }
}
