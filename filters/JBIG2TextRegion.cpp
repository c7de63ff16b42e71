#include "filters/JBIG2TextRegion.h"

#include "common/Limits.h"
#include "filters/JBIG2Refinement.h"

namespace qvx::Filters::JBIG2 {

Bitmap DecodeHuffmanRefinement(BitReader& bits, std::uint32_t size, const RefinementParams& p, WorkBudget& budget)
{
    bits.AlignToByte();
    Common::ByteView rest = bits.Rest();
    ArithDecoder dec(rest.first(std::min<std::size_t>(size, rest.size())));
    Contexts cx(RefinementContextCount(p.gr_template));
    Bitmap out = DecodeRefinement(dec, cx, p, budget);
    bits.SkipBytes(size);
    return out;
}

namespace {

enum Corner { e_bottom_left = 0, e_top_left = 1, e_bottom_right = 2, e_top_right = 3 };

class TextDecoder {
public:
    TextDecoder(const TextParams& p, std::span<const Bitmap* const> symbols, TextCoder& c, WorkBudget& budget)
        : m_p(p), m_symbols(symbols), m_c(c), m_budget(budget)
    {
    }

    Bitmap Run();

private:
    bool Int(IntDecoder TextArithState::*ad, const HuffmanTable* TextHuffmanTables::*table, std::int32_t& v)
    {
        if (m_c.arith) return ((*m_c.state).*ad).Decode(*m_c.arith, v);
        const HuffmanTable* t = m_c.tables.*table;
        QVX_JBIG2_CHECK(t != nullptr);
        return t->Decode(*m_c.bits, v);
    }
    // A value that may not be out-of-band; damaged data that gives one ends the region.
    std::int32_t Value(IntDecoder TextArithState::*ad, const HuffmanTable* TextHuffmanTables::*table)
    {
        std::int32_t v = 0;
        if (!Int(ad, table, v)) m_damaged = true;
        return v;
    }
    bool Damaged() const
    {
        return m_damaged || (m_c.arith ? m_c.arith->Exhausted() : m_c.bits->Overrun());
    }
    std::uint32_t SymbolId();
    // The bitmap of one instance: the symbol itself or its refinement (kept in m_refined).
    const Bitmap* InstanceBitmap(std::uint32_t id);

    const TextParams& m_p;
    std::span<const Bitmap* const> m_symbols;
    TextCoder& m_c;
    WorkBudget& m_budget;
    Bitmap m_refined;
    bool m_damaged = false;
};

std::uint32_t TextDecoder::SymbolId()
{
    if (m_c.arith) return m_c.state->id.Decode(*m_c.arith);
    if (!m_c.tables.sym_id) return m_c.bits->ReadBits(m_c.tables.sym_code_len);
    std::int32_t v = 0;
    if (!m_c.tables.sym_id->Decode(*m_c.bits, v)) m_damaged = true;
    return std::uint32_t(v);
}

const Bitmap* TextDecoder::InstanceBitmap(std::uint32_t id)
{
    const Bitmap* sym = m_symbols[id];
    int r = 0;
    if (m_p.refine) {
        std::int32_t v = 0;
        r = m_c.arith ? (m_c.state->ri.Decode(*m_c.arith, v) ? v : 0) : int(m_c.bits->ReadBit());
    }
    if (!r) return sym;
    using S = TextArithState;
    using H = TextHuffmanTables;
    const std::int32_t rdw = Value(&S::rdw, &H::rdw), rdh = Value(&S::rdh, &H::rdh);
    const std::int32_t rdx = Value(&S::rdx, &H::rdx), rdy = Value(&S::rdy, &H::rdy);
    std::int32_t size = 0;
    if (!m_c.arith) size = Value(&S::rdw, &H::rsize);
    if (m_damaged) return nullptr;
    const std::int64_t w = std::int64_t(sym->Width()) + rdw, h = std::int64_t(sym->Height()) + rdh;
    QVX_JBIG2_CHECK(w >= 0 && h >= 0 && w <= std::int64_t(Common::Limits::kMaxJBIG2SymbolSize) &&
                    h <= std::int64_t(Common::Limits::kMaxJBIG2SymbolSize) && size >= 0);
    RefinementParams rp;
    rp.width = std::uint32_t(w);
    rp.height = std::uint32_t(h);
    rp.gr_template = m_p.r_template;
    rp.reference = sym;
    rp.dx = (rdw >> 1) + rdx;  // floor(RDW / 2) + RDX
    rp.dy = (rdh >> 1) + rdy;
    std::copy(m_p.r_at, m_p.r_at + 4, rp.at);
    m_refined = m_c.arith ? DecodeRefinement(*m_c.arith, m_c.state->gr, rp, m_budget)
                          : DecodeHuffmanRefinement(*m_c.bits, std::uint32_t(size), rp, m_budget);
    return &m_refined;
}

Bitmap TextDecoder::Run()
{
    using S = TextArithState;
    using H = TextHuffmanTables;
    Bitmap region(m_p.width, m_p.height, m_p.default_pixel);
    m_budget.Charge(std::uint64_t(m_p.width) * m_p.height);
    const std::int64_t strips = std::int64_t(1) << m_p.log_strips;
    std::int64_t strip_t = -std::int64_t(Value(&S::dt, &H::dt)) * strips;
    std::int64_t first_s = 0;
    std::uint32_t instances = 0;
    while (instances < m_p.num_instances && !Damaged()) {
        strip_t += std::int64_t(Value(&S::dt, &H::dt)) * strips;
        first_s += Value(&S::fs, &H::fs);
        std::int64_t cur_s = first_s;
        for (;;) {
            std::int64_t cur_t = 0;
            if (strips > 1)
                cur_t = m_c.arith ? Value(&S::it, nullptr) : std::int64_t(m_c.bits->ReadBits(unsigned(m_p.log_strips)));
            const std::int64_t t = strip_t + cur_t;
            const std::uint32_t id = SymbolId();
            if (Damaged()) break;
            QVX_JBIG2_CHECK(id < m_symbols.size());
            const Bitmap* ib = InstanceBitmap(id);
            if (!ib || Damaged()) break;
            const std::int64_t wi = ib->Width(), hi = ib->Height();
            const bool right = m_p.ref_corner == e_top_right || m_p.ref_corner == e_bottom_right;
            const bool bottom = m_p.ref_corner == e_bottom_left || m_p.ref_corner == e_bottom_right;
            if (!m_p.transposed && right) cur_s += wi - 1;
            if (m_p.transposed && bottom) cur_s += hi - 1;
            const std::int64_t s = cur_s;
            std::int64_t x, y;
            if (!m_p.transposed) {
                x = right ? s - wi + 1 : s;
                y = bottom ? t - hi + 1 : t;
            } else {
                x = right ? t - wi + 1 : t;
                y = bottom ? s - hi + 1 : s;
            }
            m_budget.Charge(std::uint64_t(wi) * std::uint64_t(hi) / 8 + 1);
            region.Compose(*ib, x, y, m_p.op);
            if (!m_p.transposed && !right) cur_s += wi - 1;
            if (m_p.transposed && !bottom) cur_s += hi - 1;
            ++instances;
            std::int32_t ds = 0;
            if (!Int(&S::ds, &H::ds, ds)) break;  // out-of-band ends the strip
            if (instances >= m_p.num_instances) break;
            cur_s += std::int64_t(ds) + m_p.ds_offset;
        }
    }
    return region;
}

}  // namespace

Bitmap DecodeTextRegion(const TextParams& p, std::span<const Bitmap* const> symbols, TextCoder& coder,
                        WorkBudget& budget)
{
    QVX_JBIG2_CHECK(p.log_strips >= 0 && p.log_strips <= 3);
    TextDecoder d(p, symbols, coder, budget);
    return d.Run();
}

}  // namespace qvx::Filters::JBIG2
