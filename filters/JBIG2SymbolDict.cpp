#include "filters/JBIG2SymbolDict.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "common/Limits.h"
#include "filters/JBIG2Generic.h"
#include "filters/JBIG2Refinement.h"
#include "filters/JBIG2TextRegion.h"

namespace qvx::Filters::JBIG2 {

namespace {

using Common::Limits::kMaxJBIG2SymbolSize;

std::uint32_t U32(Common::ByteView d, std::size_t i)
{
    return std::uint32_t(d[i]) << 24 | std::uint32_t(d[i + 1]) << 16 | std::uint32_t(d[i + 2]) << 8 | d[i + 3];
}

// The bits needed to number n things (0 for one thing).
unsigned CodeLength(std::uint64_t n) { return n <= 1 ? 0 : unsigned(std::bit_width(n - 1)); }

// Picks a standard table or the next user table.
const HuffmanTable* Select(unsigned sel, std::initializer_list<int> standard, unsigned user_sel,
                           std::span<const HuffmanTable* const> tables, std::size_t& next_user)
{
    if (sel == user_sel) {
        QVX_JBIG2_CHECK(next_user < tables.size());
        return tables[next_user++];
    }
    QVX_JBIG2_CHECK(sel < standard.size());
    return &StandardTable(standard.begin()[sel]);
}

class DictDecoder {
public:
    DictDecoder(Common::ByteView data, std::span<const Symbol> inputs, std::span<const HuffmanTable* const> tables,
                const SymbolDictContexts* previous, WorkBudget& budget);
    SymbolDict Run();

private:
    bool DecodeInt(IntDecoder& ad, const HuffmanTable* table, std::int32_t& v)
    {
        return m_huffman ? table->Decode(*m_bits, v) : ad.Decode(*m_arith, v);
    }
    bool Damaged() const { return m_huffman ? m_bits->Overrun() : m_arith->Exhausted(); }
    Bitmap DecodeSymbol(std::uint32_t width, std::uint32_t height);
    Bitmap DecodeAggregate(std::uint32_t width, std::uint32_t height);
    void DecodeCollective(std::uint32_t first, std::uint32_t total_width, std::uint32_t height,
                          const std::vector<std::uint32_t>& widths);
    const Bitmap* SymbolAt(std::uint32_t i) const
    {
        return i < m_inputs.size() ? m_inputs[i].get() : m_new[i - m_inputs.size()].get();
    }

    std::span<const Symbol> m_inputs;
    WorkBudget& m_budget;
    bool m_huffman, m_refagg, m_retain;
    int m_template, m_rtemplate;
    std::int8_t m_at[8] = {3, -1, -3, -1, 2, -2, -2, -2};
    std::int8_t m_rat[4] = {-1, -1, -1, -1};
    std::uint32_t m_num_exported = 0, m_num_new = 0;
    unsigned m_code_len = 0;
    const HuffmanTable *m_dh = nullptr, *m_dw = nullptr, *m_bmsize = nullptr, *m_agginst = nullptr;
    std::optional<ArithDecoder> m_arith;
    std::optional<BitReader> m_bits;
    std::shared_ptr<SymbolDictContexts> m_cx;
    std::optional<TextArithState> m_text;
    IntDecoder m_iadh, m_iadw, m_iaex, m_iaai;
    std::vector<Symbol> m_new;
};

DictDecoder::DictDecoder(Common::ByteView data, std::span<const Symbol> inputs,
                         std::span<const HuffmanTable* const> tables, const SymbolDictContexts* previous,
                         WorkBudget& budget)
    : m_inputs(inputs), m_budget(budget)
{
    QVX_JBIG2_CHECK(data.size() >= 2);
    const unsigned f = unsigned(data[0]) << 8 | data[1];
    m_huffman = f & 1;
    m_refagg = (f >> 1) & 1;
    m_retain = (f >> 9) & 1;
    m_template = int((f >> 10) & 3);
    m_rtemplate = int((f >> 12) & 1);
    std::size_t pos = 2;
    if (!m_huffman) {
        const std::size_t n = m_template == 0 ? 8 : 2;
        QVX_JBIG2_CHECK(data.size() >= pos + n);
        for (std::size_t i = 0; i < n; ++i) m_at[i] = std::int8_t(data[pos + i]);
        pos += n;
    }
    if (m_refagg && m_rtemplate == 0) {
        QVX_JBIG2_CHECK(data.size() >= pos + 4);
        for (std::size_t i = 0; i < 4; ++i) m_rat[i] = std::int8_t(data[pos + i]);
        pos += 4;
    }
    QVX_JBIG2_CHECK(data.size() >= pos + 8);
    m_num_exported = U32(data, pos);
    m_num_new = U32(data, pos + 4);
    pos += 8;
    Common::ByteView rest = data.subspan(pos);
    // Every new symbol costs at least a code; a count far beyond the data is damage.
    QVX_JBIG2_CHECK(m_num_new <= Common::Limits::kMaxJBIG2Symbols && m_num_new <= 8 * std::uint64_t(rest.size()) + 8);
    QVX_JBIG2_CHECK(m_num_exported <= inputs.size() + std::uint64_t(m_num_new));
    m_code_len = CodeLength(inputs.size() + std::uint64_t(m_num_new));
    if (m_huffman) {
        std::size_t next = 0;
        m_dh = Select((f >> 2) & 3, {4, 5}, 3, tables, next);
        m_dw = Select((f >> 4) & 3, {2, 3}, 3, tables, next);
        m_bmsize = Select((f >> 6) & 1, {1}, 1, tables, next);
        m_agginst = Select((f >> 7) & 1, {1}, 1, tables, next);
        m_bits.emplace(rest);
    } else {
        m_arith.emplace(rest);
    }
    m_text.emplace(m_code_len, m_rtemplate);
    m_cx = std::make_shared<SymbolDictContexts>();
    if ((f >> 8) & 1) {
        // Contexts left by the previous dictionary, which must have used the same templates.
        QVX_JBIG2_CHECK(previous && previous->gb.Size() == GenericContextCount(m_template) &&
                        previous->gr.Size() == RefinementContextCount(m_rtemplate));
        m_cx->gb = previous->gb;
        m_text->gr = previous->gr;
    } else {
        m_cx->gb = Contexts(GenericContextCount(m_template));
    }
}

Bitmap DictDecoder::DecodeSymbol(std::uint32_t width, std::uint32_t height)
{
    if (!m_refagg) {
        GenericParams gp;
        gp.width = width;
        gp.height = height;
        gp.gb_template = m_template;
        std::copy(m_at, m_at + 8, gp.at);
        return DecodeGeneric(*m_arith, m_cx->gb, gp, m_budget);
    }
    return DecodeAggregate(width, height);
}

Bitmap DictDecoder::DecodeAggregate(std::uint32_t width, std::uint32_t height)
{
    std::int32_t n = 0;
    QVX_JBIG2_CHECK(DecodeInt(m_iaai, m_agginst, n) && n >= 1);
    const std::uint32_t known = std::uint32_t(m_inputs.size() + m_new.size());
    if (n == 1) {
        std::uint32_t id;
        std::int32_t rdx = 0, rdy = 0, size = 0;
        bool ok;
        if (m_huffman) {
            id = m_bits->ReadBits(m_code_len);
            ok = StandardTable(15).Decode(*m_bits, rdx) && StandardTable(15).Decode(*m_bits, rdy) &&
                 StandardTable(1).Decode(*m_bits, size);
        } else {
            id = m_text->id.Decode(*m_arith);
            ok = m_text->rdx.Decode(*m_arith, rdx) && m_text->rdy.Decode(*m_arith, rdy);
        }
        QVX_JBIG2_CHECK(ok && id < known && size >= 0);
        RefinementParams rp;
        rp.width = width;
        rp.height = height;
        rp.gr_template = m_rtemplate;
        rp.reference = SymbolAt(id);
        rp.dx = rdx;
        rp.dy = rdy;
        std::copy(m_rat, m_rat + 4, rp.at);
        return m_huffman ? DecodeHuffmanRefinement(*m_bits, std::uint32_t(size), rp, m_budget)
                         : DecodeRefinement(*m_arith, m_text->gr, rp, m_budget);
    }
    QVX_JBIG2_CHECK(std::uint64_t(n) <= Common::Limits::kMaxJBIG2Symbols);
    std::vector<const Bitmap*> symbols;
    symbols.reserve(known);
    for (std::uint32_t i = 0; i < known; ++i) symbols.push_back(SymbolAt(i));
    TextParams tp;
    tp.width = width;
    tp.height = height;
    tp.huffman = m_huffman;
    tp.refine = true;
    tp.r_template = m_rtemplate;
    std::copy(m_rat, m_rat + 4, tp.r_at);
    tp.num_instances = std::uint32_t(n);
    TextCoder coder;
    if (m_huffman) {
        coder.bits = &*m_bits;
        coder.tables = {&StandardTable(6),  &StandardTable(8),  &StandardTable(11), &StandardTable(15),
                        &StandardTable(15), &StandardTable(15), &StandardTable(15), &StandardTable(1),
                        nullptr,            m_code_len};
    } else {
        coder.arith = &*m_arith;
        coder.state = &*m_text;
    }
    return DecodeTextRegion(tp, symbols, coder, m_budget);
}

void DictDecoder::DecodeCollective(std::uint32_t first, std::uint32_t total_width, std::uint32_t height,
                                   const std::vector<std::uint32_t>& widths)
{
    std::int32_t size = 0;
    QVX_JBIG2_CHECK(m_bmsize->Decode(*m_bits, size) && size >= 0);
    m_bits->AlignToByte();
    Bitmap all;
    if (size == 0) {
        all = Bitmap(total_width, height);
        m_budget.Charge(std::uint64_t(total_width) * height);
        Common::ByteView rest = m_bits->Rest();
        const std::size_t bytes = all.Stride() * height;
        QVX_JBIG2_CHECK(rest.size() >= bytes);
        for (std::uint32_t y = 0; y < height; ++y)
            std::copy_n(rest.data() + y * all.Stride(), all.Stride(), all.Row(y));
        all.ClearPadBits();
        m_bits->SkipBytes(bytes);
    } else {
        Common::ByteView rest = m_bits->Rest();
        all = DecodeGenericMMR(rest.first(std::min<std::size_t>(rest.size(), std::uint32_t(size))), total_width,
                               height, m_budget);
        m_bits->SkipBytes(std::uint32_t(size));
    }
    std::uint32_t x = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        m_new[first + i] = std::make_shared<Bitmap>(all.Extract(x, 0, widths[i], height));
        x += widths[i];
    }
}

SymbolDict DictDecoder::Run()
{
    std::uint32_t height = 0;
    std::uint64_t classes = 0;
    m_new.reserve(m_num_new);
    while (m_new.size() < m_num_new) {
        // Every height class holds a symbol, so more classes than symbols is damage.
        QVX_JBIG2_CHECK(++classes <= m_num_new && !Damaged());
        std::int32_t dh = 0;
        QVX_JBIG2_CHECK(DecodeInt(m_iadh, m_dh, dh));
        const std::int64_t h = std::int64_t(height) + dh;
        QVX_JBIG2_CHECK(h >= 0 && h <= std::int64_t(kMaxJBIG2SymbolSize));
        height = std::uint32_t(h);
        std::uint32_t width = 0;
        std::uint64_t total_width = 0;
        const std::uint32_t first = std::uint32_t(m_new.size());
        std::vector<std::uint32_t> widths;
        for (;;) {
            std::int32_t dw = 0;
            if (!DecodeInt(m_iadw, m_dw, dw)) break;
            QVX_JBIG2_CHECK(m_new.size() < m_num_new && !Damaged());
            const std::int64_t w = std::int64_t(width) + dw;
            QVX_JBIG2_CHECK(w >= 0 && w <= std::int64_t(kMaxJBIG2SymbolSize));
            width = std::uint32_t(w);
            total_width += width;
            QVX_JBIG2_CHECK(total_width <= Common::Limits::kMaxJBIG2Pixels);
            if (m_huffman && !m_refagg) {
                widths.push_back(width);
                m_new.push_back(nullptr);
            } else {
                m_new.push_back(std::make_shared<Bitmap>(DecodeSymbol(width, height)));
            }
        }
        if (m_huffman && !m_refagg) DecodeCollective(first, std::uint32_t(total_width), height, widths);
    }
    SymbolDict out;
    const std::uint64_t total = m_inputs.size() + std::uint64_t(m_new.size());
    std::uint64_t index = 0;
    bool exporting = false;
    for (std::uint64_t rounds = 0; index < total; ++rounds) {
        std::int32_t run = 0;
        QVX_JBIG2_CHECK(rounds <= 2 * total + 2 && DecodeInt(m_iaex, &StandardTable(1), run) && run >= 0 &&
                        index + std::uint64_t(run) <= total);
        for (std::uint64_t i = index; exporting && i < index + std::uint64_t(run); ++i) {
            if (out.exported.size() >= m_num_exported) break;
            out.exported.push_back(i < m_inputs.size() ? m_inputs[i] : m_new[i - m_inputs.size()]);
        }
        index += std::uint64_t(run);
        exporting = !exporting;
    }
    if (m_retain) {
        m_cx->gr = m_text->gr;
        out.contexts = m_cx;
    }
    return out;
}

}  // namespace

SymbolDict DecodeSymbolDict(Common::ByteView data, std::span<const Symbol> inputs,
                            std::span<const HuffmanTable* const> tables, const SymbolDictContexts* previous,
                            WorkBudget& budget)
{
    DictDecoder d(data, inputs, tables, previous, budget);
    return d.Run();
}

}  // namespace qvx::Filters::JBIG2
