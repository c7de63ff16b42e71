// The symbol and text parts of the test encoder.
#include <algorithm>
#include <bit>
#include <map>

#include "tests/filters/JBIG2TestEncoder.h"

namespace qvx::Test::JBIG2 {

namespace {

using Filters::JBIG2::StandardTable;

unsigned CodeLength(std::size_t n) { return n <= 1 ? 0 : unsigned(std::bit_width(n - 1)); }

struct TextState {
    explicit TextState(unsigned code_len) : id(code_len) {}
    IntEncoder dt, fs, ds, it, ri, rdw, rdh, rdx, rdy;
    IdEncoder id;
    std::vector<std::uint8_t> gr = std::vector<std::uint8_t>(1 << 13);
};

// Codes the instances of a text region, arithmetic (mq set) or Huffman (bits set).
class TextWriter {
public:
    TextWriter(const std::vector<const Bitmap*>& symbols, const TextOptions& o, MQEncoder* mq, TextState* st,
               BitWriter* bits, unsigned sym_len)
        : m_symbols(symbols), m_o(o), m_mq(mq), m_st(st), m_bits(bits), m_sym_len(sym_len)
    {
    }

    void Write(const std::vector<Instance>& instances);

private:
    using Table = const Filters::JBIG2::HuffmanTable&;
    void Int(IntEncoder TextState::*e, Table t, std::optional<std::int32_t> v)
    {
        if (m_mq)
            (m_st->*e).Encode(*m_mq, v);
        else
            m_bits->Put(t, v);
    }

    Table DS() const { return m_o.user_ds ? *m_o.user_ds : StandardTable(8); }
    Table DT() const { return m_o.user_dt ? *m_o.user_dt : StandardTable(11); }

    const std::vector<const Bitmap*>& m_symbols;
    const TextOptions& m_o;
    MQEncoder* m_mq;
    TextState* m_st;
    BitWriter* m_bits;
    unsigned m_sym_len;
};

void TextWriter::Write(const std::vector<Instance>& instances)
{
    using S = TextState;
    const std::int64_t strips = std::int64_t(1) << m_o.log_strips;
    const bool right = m_o.ref_corner == 2 || m_o.ref_corner == 3;
    const bool bottom = m_o.ref_corner == 0 || m_o.ref_corner == 2;
    struct Placed { const Instance* in; std::int64_t s, t, strip, w, h; };
    std::vector<Placed> placed;
    for (const Instance& in : instances) {
        const Bitmap* b = in.refined ? in.refined : m_symbols[in.id];
        std::int64_t w = b->Width(), h = b->Height(), s, t;
        if (!m_o.transposed) {
            s = in.x;
            t = bottom ? in.y + h - 1 : in.y;
        } else {
            s = in.y;
            t = right ? in.x + w - 1 : in.x;
        }
        std::int64_t strip = (t >= 0 ? t / strips : -((-t + strips - 1) / strips)) * strips;
        placed.push_back({&in, s, t, strip, w, h});
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.strip < b.strip; });
    // The first strip delta makes STRIPT start at -strips (Huffman DT values are positive).
    std::int64_t strip_t = m_mq ? 0 : -strips;
    Int(&S::dt, DT(), std::int32_t(m_mq ? 0 : 1));
    std::int64_t first_s = 0, cur_s = 0;
    for (std::size_t i = 0; i < placed.size();) {
        std::size_t end = i;
        while (end < placed.size() && placed[end].strip == placed[i].strip) ++end;
        Int(&S::dt, DT(), std::int32_t((placed[i].strip - strip_t) / strips));
        strip_t = placed[i].strip;
        for (std::size_t k = i; k < end; ++k) {
            const Placed& p = placed[k];
            if (k == i) {
                Int(&S::fs, StandardTable(6), std::int32_t(p.s - first_s));
                first_s = p.s;
            } else {
                Int(&S::ds, DS(), std::int32_t(p.s - cur_s - m_o.ds_offset));
            }
            if (strips > 1) {
                if (m_mq)
                    m_st->it.Encode(*m_mq, std::int32_t(p.t - strip_t));
                else
                    m_bits->Put(std::uint32_t(p.t - strip_t), unsigned(m_o.log_strips));
            }
            if (m_mq)
                m_st->id.Encode(*m_mq, p.in->id);
            else
                m_bits->Put(p.in->id, m_sym_len);
            if (m_o.refine) {
                const int r = p.in->refined ? 1 : 0;
                if (m_mq)
                    m_st->ri.Encode(*m_mq, r);
                else
                    m_bits->Put(std::uint32_t(r), 1);
                if (r) {
                    const Bitmap& sym = *m_symbols[p.in->id];
                    const std::int32_t rdw = std::int32_t(p.w - sym.Width()), rdh = std::int32_t(p.h - sym.Height());
                    RefineOptions ro;
                    ro.gr_template = m_o.r_template;
                    ro.dx = (rdw >> 1) + p.in->rdx;
                    ro.dy = (rdh >> 1) + p.in->rdy;
                    const auto& b15 = StandardTable(15);
                    Int(&S::rdw, b15, rdw);
                    Int(&S::rdh, b15, rdh);
                    Int(&S::rdx, b15, p.in->rdx);
                    Int(&S::rdy, b15, p.in->rdy);
                    if (m_mq) {
                        EncodeRefinement(*m_mq, m_st->gr, *p.in->refined, sym, ro);
                    } else {
                        MQEncoder own;
                        std::vector<std::uint8_t> gr(1 << 13);
                        EncodeRefinement(own, gr, *p.in->refined, sym, ro);
                        Bytes data = own.Finish();
                        m_bits->Put(StandardTable(1), std::int32_t(data.size()));
                        m_bits->Append(data);
                    }
                }
            }
            cur_s = p.s + (m_o.transposed ? p.h : p.w) - 1;
        }
        Int(&S::ds, DS(), std::nullopt);
        i = end;
    }
}

void PutAt(Bytes& out, int gb_template)
{
    static const int kAt0[8] = {3, -1, -3, -1, 2, -2, -2, -2};
    if (gb_template == 0)
        for (int v : kAt0) out.push_back(Byte(v));
    else
        out.push_back(Byte(gb_template == 1 ? 3 : 2)), out.push_back(Byte(-1));
}

GenericOptions SymbolOptions(int gb_template)
{
    GenericOptions g;
    g.gb_template = gb_template;
    if (gb_template != 0) g.at[0] = gb_template == 1 ? 3 : 2;
    return g;
}

}  // namespace

Bytes EncodeTextRegion(const std::vector<const Bitmap*>& symbols,
                       const std::vector<Instance>& instances, const TextOptions& o)
{
    Bytes out;
    unsigned flags = (o.huffman ? 1 : 0) | (o.refine ? 2 : 0) | unsigned(o.log_strips) << 2 |
                     unsigned(o.ref_corner) << 4 | (o.transposed ? 1u << 6 : 0) | unsigned(o.op & 3) << 7 |
                     (unsigned(o.ds_offset) & 0x1F) << 10 | unsigned(o.r_template) << 15;
    PutU16(out, std::uint16_t(flags));
    if (o.huffman)
        PutU16(out, std::uint16_t((o.user_ds ? 3 << 2 : 0) | (o.user_dt ? 3 << 4 : 0) | 1 << 6 | 1 << 8 | 1 << 10 | 1 << 12));
    if (o.refine && o.r_template == 0)
        for (int i = 0; i < 4; ++i) out.push_back(0xFF);
    PutU32(out, std::uint32_t(instances.size()));
    if (o.huffman) {
        BitWriter bits;
        // Every symbol gets a code of the same length; all run codes are six bits long.
        const unsigned len = std::max(1u, CodeLength(symbols.size()));
        for (int i = 0; i < 35; ++i) bits.Put(6, 4);
        for (std::size_t i = 0; i < symbols.size(); ++i) bits.Put(len, 6);
        bits.Align();
        TextWriter tw(symbols, o, nullptr, nullptr, &bits, len);
        tw.Write(instances);
        Bytes data = bits.Take();
        out.insert(out.end(), data.begin(), data.end());
    } else {
        MQEncoder mq;
        TextState st(CodeLength(symbols.size()));
        TextWriter tw(symbols, o, &mq, &st, nullptr, 0);
        tw.Write(instances);
        Bytes data = mq.Finish();
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

Bytes TableSegment(unsigned ps, unsigned rs, std::int32_t low, const std::vector<std::pair<int, int>>& lines,
                   int lower_prefix, int upper_prefix, int oob_prefix)
{
    std::int64_t high = low;
    for (const auto& l : lines) high += std::int64_t(1) << l.second;
    Bytes out{Byte((oob_prefix > 0 ? 1 : 0) | (ps - 1) << 1 | (rs - 1) << 4)};
    PutU32(out, std::uint32_t(low));
    PutU32(out, std::uint32_t(high));
    BitWriter bits;
    for (const auto& l : lines) bits.Put(std::uint32_t(l.first), ps), bits.Put(std::uint32_t(l.second), rs);
    bits.Put(std::uint32_t(lower_prefix), ps);
    bits.Put(std::uint32_t(upper_prefix), ps);
    if (oob_prefix > 0) bits.Put(std::uint32_t(oob_prefix), ps);
    Bytes data = bits.Take();
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes EncodeSymbolDict(const std::vector<Bitmap>& symbols, const DictOptions& o)
{
    Bytes out;
    PutU16(out, std::uint16_t((o.huffman ? 1 : 0) | o.gb_template << 10));
    if (!o.huffman) PutAt(out, o.gb_template);
    PutU32(out, std::uint32_t(symbols.size()));
    PutU32(out, std::uint32_t(symbols.size()));
    MQEncoder mq;
    BitWriter bits;
    IntEncoder dh, dw, ex;
    std::vector<std::uint8_t> gb(1 << 16);
    auto put = [&](IntEncoder& e, int table, std::optional<std::int32_t> v) {
        if (o.huffman)
            bits.Put(StandardTable(table), v);
        else
            e.Encode(mq, v);
    };
    std::uint32_t height = 0;
    for (std::size_t i = 0; i < symbols.size();) {
        std::size_t end = i;
        while (end < symbols.size() && symbols[end].Height() == symbols[i].Height()) ++end;
        put(dh, 4, std::int32_t(symbols[i].Height() - height));
        height = symbols[i].Height();
        std::int64_t width = 0, total = 0;
        for (std::size_t k = i; k < end; ++k) {
            put(dw, 2, std::int32_t(symbols[k].Width() - width));
            width = symbols[k].Width();
            total += width;
            if (!o.huffman) EncodeGeneric(mq, gb, symbols[k], SymbolOptions(o.gb_template));
        }
        put(dw, 2, std::nullopt);
        if (o.huffman) {
            Bitmap all(std::uint32_t(total), height);
            std::int64_t x = 0;
            for (std::size_t k = i; k < end; ++k) {
                all.Compose(symbols[k], x, 0, Filters::JBIG2::e_or);
                x += symbols[k].Width();
            }
            Bytes data = o.mmr_collective ? EncodeMMR(all) : all.Data();
            bits.Put(StandardTable(1), std::int32_t(o.mmr_collective ? data.size() : 0));
            bits.Append(data);
        }
        i = end;
    }
    put(ex, 1, 0);
    put(ex, 1, std::int32_t(symbols.size()));
    Bytes data = o.huffman ? bits.Take() : mq.Finish();
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes EncodeRefAggDict(const std::vector<const Bitmap*>& inputs, const std::vector<AggSymbol>& symbols,
                       int r_template)
{
    Bytes out;
    PutU16(out, std::uint16_t(2 | r_template << 12));
    PutAt(out, 0);
    if (r_template == 0)
        for (int i = 0; i < 4; ++i) out.push_back(0xFF);
    PutU32(out, std::uint32_t(symbols.size()));
    PutU32(out, std::uint32_t(symbols.size()));
    MQEncoder mq;
    IntEncoder dh, dw, ex, ai;
    TextState st(CodeLength(inputs.size() + symbols.size()));
    std::vector<const Bitmap*> known(inputs);
    TextOptions to;
    to.refine = true;
    to.r_template = r_template;
    std::uint32_t height = 0;
    for (std::size_t i = 0; i < symbols.size();) {
        std::size_t end = i;
        while (end < symbols.size() && symbols[end].bitmap.Height() == symbols[i].bitmap.Height()) ++end;
        dh.Encode(mq, std::int32_t(symbols[i].bitmap.Height() - height));
        height = symbols[i].bitmap.Height();
        std::int64_t width = 0;
        for (std::size_t k = i; k < end; ++k) {
            const AggSymbol& sym = symbols[k];
            dw.Encode(mq, std::int32_t(sym.bitmap.Width() - width));
            width = sym.bitmap.Width();
            ai.Encode(mq, std::int32_t(sym.parts.size()));
            if (sym.parts.size() == 1) {
                const Instance& p = sym.parts[0];
                st.id.Encode(mq, p.id);
                st.rdx.Encode(mq, p.rdx);
                st.rdy.Encode(mq, p.rdy);
                RefineOptions ro;
                ro.gr_template = r_template;
                ro.dx = p.rdx;
                ro.dy = p.rdy;
                EncodeRefinement(mq, st.gr, sym.bitmap, *known[p.id], ro);
            } else {
                TextWriter tw(known, to, &mq, &st, nullptr, 0);
                tw.Write(sym.parts);
            }
            known.push_back(&sym.bitmap);
        }
        dw.Encode(mq, std::nullopt);
        i = end;
    }
    ex.Encode(mq, std::int32_t(inputs.size()));
    ex.Encode(mq, std::int32_t(symbols.size()));
    Bytes data = mq.Finish();
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes EncodePatternDict(const std::vector<Bitmap>& patterns, bool mmr, int gb_template)
{
    const std::uint32_t pw = patterns[0].Width(), ph = patterns[0].Height();
    Bytes out{Byte((mmr ? 1 : 0) | gb_template << 1), Byte(pw), Byte(ph)};
    PutU32(out, std::uint32_t(patterns.size() - 1));
    Bitmap all(pw * std::uint32_t(patterns.size()), ph);
    for (std::size_t i = 0; i < patterns.size(); ++i) all.Compose(patterns[i], std::int64_t(i) * pw, 0, Filters::JBIG2::e_or);
    GenericOptions g;
    g.gb_template = gb_template;
    g.at[0] = -int(pw);
    g.at[1] = 0;
    Bytes data = mmr ? EncodeMMR(all) : EncodeGeneric(all, g);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes EncodeHalftone(const std::vector<std::vector<std::uint32_t>>& grey, unsigned bpp, int gb_template, bool mmr,
                     int op, std::int32_t gx, std::int32_t gy, std::uint16_t rx, std::uint16_t ry)
{
    const std::uint32_t gh = std::uint32_t(grey.size()), gw = std::uint32_t(grey[0].size());
    Bytes out{Byte((mmr ? 1 : 0) | gb_template << 1 | op << 4)};
    PutU32(out, gw);
    PutU32(out, gh);
    PutU32(out, std::uint32_t(gx));
    PutU32(out, std::uint32_t(gy));
    PutU16(out, rx);
    PutU16(out, ry);
    MQEncoder mq;
    std::vector<std::uint8_t> cx(1 << 16);
    GenericOptions g;
    g.gb_template = gb_template;
    g.at[0] = gb_template <= 1 ? 3 : 2;
    Bytes planes;
    for (int j = int(bpp) - 1; j >= 0; --j) {
        Bitmap plane(gw, gh);
        for (std::uint32_t m = 0; m < gh; ++m)
            for (std::uint32_t n = 0; n < gw; ++n) plane.Set(n, m, int(((grey[m][n] ^ (grey[m][n] >> 1)) >> j) & 1));
        if (mmr) {
            Bytes b = EncodeMMR(plane);
            planes.insert(planes.end(), b.begin(), b.end());
        } else {
            EncodeGeneric(mq, cx, plane, g);
        }
    }
    Bytes data = mmr ? planes : mq.Finish();
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace qvx::Test::JBIG2
