#include "filters/JBIG2Halftone.h"

#include <bit>

#include "common/Limits.h"
#include "filters/JBIG2Generic.h"

namespace qvx::Filters::JBIG2 {

namespace {

std::uint32_t U32(Common::ByteView d, std::size_t i)
{
    return std::uint32_t(d[i]) << 24 | std::uint32_t(d[i + 1]) << 16 | std::uint32_t(d[i + 2]) << 8 | d[i + 3];
}

// Decodes one bitmap of a pattern dictionary or one bit plane of a halftone region.
class PlaneDecoder {
public:
    PlaneDecoder(Common::ByteView data, bool mmr, int gb_template)
        : m_data(data), m_mmr(mmr), m_template(gb_template), m_arith(data), m_cx(GenericContextCount(gb_template))
    {
    }
    Bitmap Next(GenericParams p, WorkBudget& budget)
    {
        if (m_mmr) {
            std::size_t used = 0;
            Bitmap bm = DecodeGenericMMR(m_data, p.width, p.height, budget, &used);
            m_data = m_data.subspan(used);
            return bm;
        }
        p.gb_template = m_template;
        return DecodeGeneric(m_arith, m_cx, p, budget);
    }

private:
    Common::ByteView m_data;
    bool m_mmr;
    int m_template;
    ArithDecoder m_arith;
    Contexts m_cx;
};

}  // namespace

Patterns DecodePatternDict(Common::ByteView data, WorkBudget& budget)
{
    QVX_JBIG2_CHECK(data.size() >= 7);
    const bool mmr = data[0] & 1;
    const int templ = (data[0] >> 1) & 3;
    const std::uint32_t pw = data[1], ph = data[2], gray_max = U32(data, 3);
    QVX_JBIG2_CHECK(pw > 0 && ph > 0 && gray_max < Common::Limits::kMaxJBIG2Symbols);
    const std::uint64_t width = std::uint64_t(gray_max + 1) * pw;
    QVX_JBIG2_CHECK(width <= Common::Limits::kMaxJBIG2Pixels);
    GenericParams gp;
    gp.width = std::uint32_t(width);
    gp.height = ph;
    const int at[8] = {-int(pw), 0, -3, -1, 2, -2, -2, -2};
    std::copy(at, at + 8, gp.at);
    PlaneDecoder dec(data.subspan(7), mmr, templ);
    Bitmap all = dec.Next(gp, budget);
    Patterns out;
    out.reserve(gray_max + 1);
    for (std::uint32_t i = 0; i <= gray_max; ++i)
        out.push_back(std::make_shared<Bitmap>(all.Extract(std::int64_t(i) * pw, 0, pw, ph)));
    return out;
}

Bitmap DecodeHalftoneRegion(Common::ByteView data, std::uint32_t width, std::uint32_t height,
                            const Patterns& patterns, WorkBudget& budget)
{
    QVX_JBIG2_CHECK(data.size() >= 21 && !patterns.empty());
    const unsigned f = data[0];
    const bool mmr = f & 1, enable_skip = (f >> 3) & 1, def_pixel = (f >> 7) & 1;
    const int templ = int((f >> 1) & 3);
    const unsigned op = (f >> 4) & 7;
    QVX_JBIG2_CHECK(op <= e_replace);
    const std::uint32_t gw = U32(data, 1), gh = U32(data, 5);
    const std::int64_t gx = std::int32_t(U32(data, 9)), gy = std::int32_t(U32(data, 13));
    const std::int64_t rx = std::uint16_t(data[17] << 8 | data[18]), ry = std::uint16_t(data[19] << 8 | data[20]);
    QVX_JBIG2_CHECK(std::uint64_t(gw) * gh <= Common::Limits::kMaxJBIG2Pixels);
    Bitmap region(width, height, def_pixel);
    budget.Charge(std::uint64_t(width) * height);
    const std::uint32_t pw = patterns[0]->Width(), ph = patterns[0]->Height();
    const unsigned bpp = patterns.size() <= 1 ? 0 : unsigned(std::bit_width(patterns.size() - 1));
    if (gw == 0 || gh == 0) return region;
    auto cell = [&](std::int64_t mg, std::int64_t ng, std::int64_t& x, std::int64_t& y) {
        x = (gx + mg * ry + ng * rx) >> 8;
        y = (gy + mg * rx - ng * ry) >> 8;
    };
    Bitmap skip;
    if (enable_skip) {
        skip = Bitmap(gw, gh);
        for (std::uint32_t mg = 0; mg < gh; ++mg)
            for (std::uint32_t ng = 0; ng < gw; ++ng) {
                std::int64_t x, y;
                cell(mg, ng, x, y);
                if (x + pw <= 0 || x >= width || y + ph <= 0 || y >= height) skip.Set(ng, mg, 1);
            }
    }
    // The grey values as Gray-coded bit planes, most significant first.
    std::vector<std::uint32_t> values(std::size_t(gw) * gh, 0);
    PlaneDecoder dec(data.subspan(21), mmr, templ);
    GenericParams gp;
    gp.width = gw;
    gp.height = gh;
    const int at[8] = {templ <= 1 ? 3 : 2, -1, -3, -1, 2, -2, -2, -2};
    std::copy(at, at + 8, gp.at);
    gp.skip = enable_skip ? &skip : nullptr;
    Bitmap prev;
    for (int j = int(bpp) - 1; j >= 0; --j) {
        Bitmap plane = dec.Next(gp, budget);
        if (!prev.Empty()) plane.Compose(prev, 0, 0, e_xor);
        for (std::uint32_t mg = 0; mg < gh; ++mg)
            for (std::uint32_t ng = 0; ng < gw; ++ng)
                values[std::size_t(mg) * gw + ng] |= std::uint32_t(plane.Get(ng, mg)) << j;
        prev = std::move(plane);
    }
    for (std::uint32_t mg = 0; mg < gh; ++mg)
        for (std::uint32_t ng = 0; ng < gw; ++ng) {
            std::int64_t x, y;
            cell(mg, ng, x, y);
            const std::uint32_t v = std::min<std::uint32_t>(values[std::size_t(mg) * gw + ng],
                                                            std::uint32_t(patterns.size() - 1));
            budget.Charge(std::uint64_t(pw) * ph / 8 + 1);
            region.Compose(*patterns[v], x, y, ComposeOp(op));
        }
    return region;
}

}  // namespace qvx::Filters::JBIG2
