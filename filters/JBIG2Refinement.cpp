#include "filters/JBIG2Refinement.h"

namespace qvx::Filters::JBIG2 {

std::size_t RefinementContextCount(int gr_template) { return gr_template ? 1u << 10 : 1u << 13; }

namespace {

// The context of pixel (x, y); rx, ry is the matching reference pixel.
std::uint32_t Context(const Bitmap& bm, const Bitmap& ref, const RefinementParams& p, std::int64_t x,
                      std::int64_t y, std::int64_t rx, std::int64_t ry)
{
    auto d = [&](int ox, int oy) { return std::uint32_t(bm.Get(x + ox, y + oy)); };
    auto r = [&](int ox, int oy) { return std::uint32_t(ref.Get(rx + ox, ry + oy)); };
    if (p.gr_template == 0) {
        return d(0, -1) << 12 | d(1, -1) << 11 | d(-1, 0) << 10 | r(0, -1) << 9 | r(1, -1) << 8 | r(-1, 0) << 7 |
               r(0, 0) << 6 | r(1, 0) << 5 | r(-1, 1) << 4 | r(0, 1) << 3 | r(1, 1) << 2 | d(p.at[0], p.at[1]) << 1 |
               r(p.at[2], p.at[3]);
    }
    return d(-1, -1) << 9 | d(0, -1) << 8 | d(1, -1) << 7 | d(-1, 0) << 6 | r(0, -1) << 5 | r(-1, 0) << 4 |
           r(0, 0) << 3 | r(1, 0) << 2 | r(0, 1) << 1 | r(1, 1);
}

}  // namespace

int TypicalPixel(const Bitmap& ref, std::int64_t rx, std::int64_t ry)
{
    int v = ref.Get(rx, ry);
    for (int oy = -1; oy <= 1; ++oy)
        for (int ox = -1; ox <= 1; ++ox)
            if (ref.Get(rx + ox, ry + oy) != v) return -1;
    return v;
}

Bitmap DecodeRefinement(ArithDecoder& dec, Contexts& cx, const RefinementParams& p, WorkBudget& budget)
{
    QVX_JBIG2_CHECK(p.reference && (p.gr_template == 0 || p.gr_template == 1));
    QVX_JBIG2_CHECK(cx.Size() >= RefinementContextCount(p.gr_template));
    Bitmap bm(p.width, p.height);
    budget.Charge(std::uint64_t(p.width) * p.height);
    const Bitmap& ref = *p.reference;
    // The typical-row flag shares its context with one pixel context: for template 0 the
    // reference centre alone black, for template 1 its right neighbour alone (as the
    // decoders in use read it; checked against jbig2dec).
    const std::uint32_t sltp = p.gr_template ? 0x0004 : 0x0040;
    int ltp = 0;
    for (std::int64_t y = 0; y < p.height && !dec.Exhausted(); ++y) {
        if (p.tpgron) ltp ^= dec.Decode(cx, sltp);
        for (std::int64_t x = 0; x < p.width; ++x) {
            const std::int64_t rx = x - p.dx, ry = y - p.dy;
            int v = ltp ? TypicalPixel(ref, rx, ry) : -1;
            if (v < 0) v = dec.Decode(cx, Context(bm, ref, p, x, y, rx, ry));
            if (v) bm.Set(std::uint32_t(x), std::uint32_t(y), 1);
        }
    }
    return bm;
}

}  // namespace qvx::Filters::JBIG2
