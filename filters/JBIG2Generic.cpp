#include "filters/JBIG2Generic.h"

#include "filters/CCITTG4Decoder.h"

namespace qvx::Filters::JBIG2 {

namespace {

// The fixed part of each template: pixels of rows y-2 and y-1 starting at x + start, and
// the pixels of row y just left of x; the adaptive pixels come last, A1 highest.
struct Shape {
    int start2, n2, start1, n1, n0, n_at;
    // The context that codes the typical-row flag: the standard's 0x9B25, 0x0795, 0x00E5 and
    // 0x0195, whose bits name pixels in the standard's order, with those bits moved to
    // where this layout keeps the same pixels (it shares its state with their context).
    std::uint32_t sltp;
};

constexpr Shape kShapes[4] = {
    {-1, 3, -2, 5, 4, 4, 0x3953},
    {-1, 4, -2, 5, 3, 1, 0x079A},
    {-1, 3, -2, 4, 2, 1, 0x00E3},
    {0, 0, -3, 5, 4, 1, 0x018B},
};

inline std::uint32_t Pixel(const Byte* row, std::int64_t x, std::uint32_t width)
{
    if (!row || x < 0 || x >= width) return 0;
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

std::uint32_t Window(const Byte* row, int start, int n, std::uint32_t width)
{
    std::uint32_t w = 0;
    for (int i = 0; i < n; ++i) w = (w << 1) | Pixel(row, start + i, width);
    return w;
}

}  // namespace

std::size_t GenericContextCount(int gb_template)
{
    const Shape& s = kShapes[gb_template & 3];
    return std::size_t(1) << (s.n2 + s.n1 + s.n0 + s.n_at);
}

Bitmap DecodeGeneric(ArithDecoder& dec, Contexts& cx, const GenericParams& p, WorkBudget& budget)
{
    QVX_JBIG2_CHECK(p.gb_template >= 0 && p.gb_template <= 3);
    QVX_JBIG2_CHECK(cx.Size() >= GenericContextCount(p.gb_template));
    Bitmap bm(p.width, p.height);
    budget.Charge(std::uint64_t(p.width) * p.height);
    const Shape& s = kShapes[p.gb_template];
    const std::uint32_t w = p.width;
    // Rows y-2 and y-1 are kept as 17-pixel windows around x (bit 8 - dx holds x + dx), row
    // y as the 8 pixels left of x (bit k holds x - 1 - k), so that the fixed pixels and
    // adaptive pixels near x are bit extractions; only far adaptive pixels are looked up.
    constexpr int kReach = 8;
    constexpr std::uint32_t kWide = (1u << (2 * kReach + 1)) - 1;
    const std::uint32_t m2 = (1u << s.n2) - 1, m1 = (1u << s.n1) - 1, m0 = (1u << s.n0) - 1;
    const int sh2 = s.n1 + s.n0 + s.n_at, sh1 = s.n0 + s.n_at, sh0 = s.n_at;
    const int from2 = kReach - (s.start2 + s.n2 - 1), from1 = kReach - (s.start1 + s.n1 - 1);
    struct At { int x, y; bool near; };
    At at[4];
    for (int a = 0; a < s.n_at; ++a) {
        const int ax = p.at[2 * a], ay = p.at[2 * a + 1];
        at[a] = {ax, ay, ((ay == -1 || ay == -2) && ax >= -kReach && ax <= kReach) || (ay == 0 && ax >= -kReach && ax < 0)};
    }
    int ltp = 0;
    // Rows after the data ran out long ago are damage: they stay white.
    for (std::uint32_t y = 0; y < p.height && !dec.Exhausted(); ++y) {
        if (p.tpgdon) {
            ltp ^= dec.Decode(cx, s.sltp);
            if (ltp) {
                if (y > 0) bm.CopyRow(y, bm, y - 1);
                continue;
            }
        }
        const Byte* r2 = y >= 2 ? bm.Row(y - 2) : nullptr;
        const Byte* r1 = y >= 1 ? bm.Row(y - 1) : nullptr;
        Byte* r0 = bm.Row(y);
        std::uint32_t w2 = Window(r2, -kReach, 2 * kReach + 1, w), w1 = Window(r1, -kReach, 2 * kReach + 1, w), w0 = 0;
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint32_t bit = 0;
            if (!p.skip || !p.skip->Get(x, y)) {
                std::uint32_t ctx = ((w2 >> from2) & m2) << sh2 | ((w1 >> from1) & m1) << sh1 | (w0 & m0) << sh0;
                for (int a = 0; a < s.n_at; ++a) {
                    const At& t = at[a];
                    std::uint32_t v;
                    if (!t.near)
                        v = std::uint32_t(bm.Get(std::int64_t(x) + t.x, std::int64_t(y) + t.y));
                    else if (t.y == 0)
                        v = (w0 >> (-t.x - 1)) & 1;
                    else
                        v = ((t.y == -1 ? w1 : w2) >> (kReach - t.x)) & 1;
                    ctx |= v << (s.n_at - 1 - a);
                }
                bit = std::uint32_t(dec.Decode(cx, ctx));
                if (bit) r0[x >> 3] |= Byte(0x80 >> (x & 7));
            }
            w2 = ((w2 << 1) | Pixel(r2, std::int64_t(x) + kReach + 1, w)) & kWide;
            w1 = ((w1 << 1) | Pixel(r1, std::int64_t(x) + kReach + 1, w)) & kWide;
            w0 = ((w0 << 1) | bit) & 0xFF;
        }
    }
    return bm;
}

Bitmap DecodeGenericMMR(Common::ByteView data, std::uint32_t width, std::uint32_t height, WorkBudget& budget,
                        std::size_t* consumed)
{
    Bitmap bm(width, height);
    budget.Charge(std::uint64_t(width) * height);
    if (consumed) *consumed = 0;
    if (bm.Empty()) return bm;
    CCITTG4Decoder dec(data, width);
    for (std::uint32_t y = 0; y < height; ++y)
        if (dec.DecodeRow(bm.Row(y)) != CCITTG4Decoder::e_row) break;
    dec.SkipEndOfBlock();
    if (consumed) *consumed = dec.BytesConsumed();
    return bm;
}

}  // namespace qvx::Filters::JBIG2
