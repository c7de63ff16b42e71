#include "filters/JBIG2Page.h"

#include <algorithm>
#include <bit>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/JBIG2Generic.h"
#include "filters/JBIG2Refinement.h"
#include "filters/JBIG2TextRegion.h"

namespace qvx::Filters::JBIG2 {

namespace {

bool IsIntermediate(int type)
{
    return type == e_intermediate_text || type == e_intermediate_halftone || type == e_intermediate_generic ||
           type == e_intermediate_refinement;
}

const HuffmanTable* Pick(unsigned sel, std::initializer_list<int> standard, unsigned user_sel,
                         const std::vector<const HuffmanTable*>& user, std::size_t& next)
{
    if (sel == user_sel) {
        QVX_JBIG2_CHECK(next < user.size());
        return user[next++];
    }
    QVX_JBIG2_CHECK(sel < standard.size());
    return &StandardTable(standard.begin()[sel]);
}

}  // namespace

PageDecoder::PageDecoder() : m_budget(Common::Limits::kMaxJBIG2Work) {}

bool PageDecoder::Feed(Common::ByteView stream)
{
    // An end-of-file segment in the globals ends only the globals.
    if (!m_page) m_ended = false;
    SegmentReader reader(stream);
    Segment seg;
    while (!m_ended && reader.Next(seg)) {
        try {
            if (!Process(seg)) m_ended = true;
        } catch (const Common::Exception&) {
            if (!m_page) throw;
            m_ended = true;  // keep what the page holds
        }
    }
    return !m_ended;
}

const Bitmap& PageDecoder::Page() const
{
    if (!m_page) Fail("page information");
    return m_page->bitmap;
}

const PageDecoder::Stored* PageDecoder::Find(std::uint32_t number) const
{
    auto it = m_stored.find(number);
    return it == m_stored.end() ? nullptr : it->second.get();
}

bool PageDecoder::Process(const Segment& seg)
{
    // Segments of another page: an embedded stream holds one page, so that one is done.
    if (m_page && seg.page != 0 && seg.page != m_page->association) return false;
    switch (seg.type) {
    case e_page_info:
        if (m_page) return false;
        ReadPageInfo(seg);
        return true;
    case e_end_of_page:
    case e_end_of_file: return false;
    case e_end_of_stripe: EndOfStripe(seg); return true;
    case e_symbol_dict: SymbolDictSegment(seg); return true;
    case e_pattern_dict: PatternDictSegment(seg); return true;
    case e_tables: {
        auto s = std::make_unique<Stored>();
        s->table = ReadTableSegment(seg.data);
        m_stored[seg.number] = std::move(s);
        return true;
    }
    case e_intermediate_text:
    case e_immediate_text:
    case e_immediate_lossless_text: TextRegionSegment(seg); return true;
    case e_intermediate_halftone:
    case e_immediate_halftone:
    case e_immediate_lossless_halftone: HalftoneRegionSegment(seg); return true;
    case e_intermediate_generic:
    case e_immediate_generic:
    case e_immediate_lossless_generic: GenericRegionSegment(seg); return true;
    case e_intermediate_refinement:
    case e_immediate_refinement:
    case e_immediate_lossless_refinement: RefinementRegionSegment(seg); return true;
    default: return true;  // profiles, palettes, extensions and reserved types carry nothing for us
    }
}

void PageDecoder::ReadPageInfo(const Segment& seg)
{
    QVX_JBIG2_CHECK(seg.data.size() >= 19);
    const std::uint32_t width = ReadU32(seg.data, 0), height = ReadU32(seg.data, 4);
    const unsigned flags = seg.data[16];
    const unsigned striping = unsigned(seg.data[17]) << 8 | seg.data[18];
    PageState p;
    p.association = seg.page;
    p.default_pixel = (flags >> 2) & 1;
    p.striped_unknown_height = height == 0xFFFFFFFF;
    QVX_JBIG2_CHECK(width > 0 && (!p.striped_unknown_height || (striping & 0x8000)));
    p.bitmap = Bitmap(width, p.striped_unknown_height ? 0 : height, p.default_pixel);
    m_budget.Charge(std::uint64_t(width) * p.bitmap.Height());
    m_page = std::move(p);
}

void PageDecoder::EndOfStripe(const Segment& seg)
{
    QVX_JBIG2_CHECK(m_page && seg.data.size() >= 4);
    const std::uint64_t rows = std::uint64_t(ReadU32(seg.data, 0)) + 1;
    if (m_page->striped_unknown_height && rows > m_page->bitmap.Height()) {
        QVX_JBIG2_CHECK(rows * m_page->bitmap.Width() <= Common::Limits::kMaxJBIG2Pixels);
        m_page->bitmap.SetHeight(std::uint32_t(rows), m_page->default_pixel);
    }
}

void PageDecoder::SymbolDictSegment(const Segment& seg)
{
    std::vector<Symbol> inputs;
    std::vector<const HuffmanTable*> tables;
    const SymbolDictContexts* previous = nullptr;
    for (std::uint32_t r : seg.refs) {
        const Stored* s = Find(r);
        if (!s) continue;
        if (s->table) tables.push_back(&*s->table);
        if (!s->dict.exported.empty() || s->dict.contexts) {
            QVX_JBIG2_CHECK(inputs.size() + s->dict.exported.size() <= Common::Limits::kMaxJBIG2Symbols);
            inputs.insert(inputs.end(), s->dict.exported.begin(), s->dict.exported.end());
            previous = s->dict.contexts.get();
        }
    }
    auto out = std::make_unique<Stored>();
    out->dict = DecodeSymbolDict(seg.data, inputs, tables, previous, m_budget);
    m_stored[seg.number] = std::move(out);
}

void PageDecoder::PatternDictSegment(const Segment& seg)
{
    auto out = std::make_unique<Stored>();
    out->patterns = DecodePatternDict(seg.data, m_budget);
    m_stored[seg.number] = std::move(out);
}

void PageDecoder::TextRegionSegment(const Segment& seg)
{
    const RegionInfo info = ReadRegionInfo(seg.data);
    Common::ByteView d = seg.data.subspan(17);
    QVX_JBIG2_CHECK(d.size() >= 2);
    const unsigned f = unsigned(d[0]) << 8 | d[1];
    std::size_t pos = 2;
    TextParams tp;
    tp.width = info.width;
    tp.height = info.height;
    tp.huffman = f & 1;
    tp.refine = (f >> 1) & 1;
    tp.log_strips = int((f >> 2) & 3);
    tp.ref_corner = int((f >> 4) & 3);
    tp.transposed = (f >> 6) & 1;
    tp.op = ComposeOp((f >> 7) & 3);
    tp.default_pixel = (f >> 9) & 1;
    tp.ds_offset = int((f >> 10) & 0x1F);
    if (tp.ds_offset >= 16) tp.ds_offset -= 32;
    tp.r_template = int((f >> 15) & 1);
    unsigned hf = 0;
    if (tp.huffman) {
        QVX_JBIG2_CHECK(d.size() >= pos + 2);
        hf = unsigned(d[pos]) << 8 | d[pos + 1];
        pos += 2;
    }
    if (tp.refine && tp.r_template == 0) {
        QVX_JBIG2_CHECK(d.size() >= pos + 4);
        for (std::size_t i = 0; i < 4; ++i) tp.r_at[i] = std::int8_t(d[pos + i]);
        pos += 4;
    }
    QVX_JBIG2_CHECK(d.size() >= pos + 4);
    tp.num_instances = ReadU32(d, pos);
    pos += 4;
    Common::ByteView rest = d.subspan(pos);
    // Even the most predictable instance costs a fraction of a bit; a count far beyond what
    // the data can hold is damage, and decoding stops where the data could have ended.
    tp.num_instances = std::uint32_t(std::min<std::uint64_t>(tp.num_instances, 64 * std::uint64_t(rest.size()) + 64));

    std::vector<const Bitmap*> symbols;
    std::vector<const HuffmanTable*> tables;
    for (std::uint32_t r : seg.refs) {
        const Stored* s = Find(r);
        if (!s) continue;
        if (s->table) tables.push_back(&*s->table);
        for (const auto& sym : s->dict.exported) symbols.push_back(sym.get());
        QVX_JBIG2_CHECK(symbols.size() <= Common::Limits::kMaxJBIG2Symbols);
    }
    const unsigned code_len = symbols.size() <= 1 ? 0 : unsigned(std::bit_width(symbols.size() - 1));
    TextCoder coder;
    std::optional<ArithDecoder> arith;
    std::optional<TextArithState> state;
    std::optional<BitReader> bits;
    std::optional<HuffmanTable> sym_id;
    if (tp.huffman) {
        std::size_t next = 0;
        TextHuffmanTables& t = coder.tables;
        t.fs = Pick(hf & 3, {6, 7}, 3, tables, next);
        t.ds = Pick((hf >> 2) & 3, {8, 9, 10}, 3, tables, next);
        t.dt = Pick((hf >> 4) & 3, {11, 12, 13}, 3, tables, next);
        t.rdw = Pick((hf >> 6) & 3, {14, 15}, 3, tables, next);
        t.rdh = Pick((hf >> 8) & 3, {14, 15}, 3, tables, next);
        t.rdx = Pick((hf >> 10) & 3, {14, 15}, 3, tables, next);
        t.rdy = Pick((hf >> 12) & 3, {14, 15}, 3, tables, next);
        t.rsize = Pick((hf >> 14) & 1, {1}, 1, tables, next);
        bits.emplace(rest);
        sym_id = ReadSymbolIdTable(*bits, std::uint32_t(symbols.size()));
        t.sym_id = &*sym_id;
        coder.bits = &*bits;
    } else {
        arith.emplace(rest);
        state.emplace(code_len, tp.r_template);
        coder.arith = &*arith;
        coder.state = &*state;
    }
    Place(seg, info, DecodeTextRegion(tp, symbols, coder, m_budget));
}

void PageDecoder::HalftoneRegionSegment(const Segment& seg)
{
    const RegionInfo info = ReadRegionInfo(seg.data);
    const Patterns* patterns = nullptr;
    for (std::uint32_t r : seg.refs) {
        const Stored* s = Find(r);
        if (s && !s->patterns.empty()) {
            patterns = &s->patterns;
            break;
        }
    }
    QVX_JBIG2_CHECK(patterns != nullptr);
    Place(seg, info, DecodeHalftoneRegion(seg.data.subspan(17), info.width, info.height, *patterns, m_budget));
}

void PageDecoder::GenericRegionSegment(const Segment& seg)
{
    RegionInfo info = ReadRegionInfo(seg.data);
    Common::ByteView d = seg.data.subspan(17);
    QVX_JBIG2_CHECK(!d.empty());
    const unsigned f = d[0];
    const bool mmr = f & 1;
    GenericParams gp;
    gp.gb_template = int((f >> 1) & 3);
    gp.tpgdon = (f >> 3) & 1;
    QVX_JBIG2_CHECK(!((f >> 4) & 1));  // the extended 12-pixel template is not used by PDF producers
    std::size_t pos = 1;
    if (!mmr) {
        const std::size_t n = gp.gb_template == 0 ? 8 : 2;
        QVX_JBIG2_CHECK(d.size() >= pos + n);
        for (std::size_t i = 0; i < n; ++i) gp.at[i] = std::int8_t(d[pos + i]);
        pos += n;
    }
    Common::ByteView data = d.subspan(pos);
    if (seg.unknown_length && data.size() >= 4) {
        // The row count follows the data and its end marker.
        info.height = std::min(info.height, ReadU32(data, data.size() - 4));
        data = data.first(data.size() - 4);
    }
    gp.width = info.width;
    gp.height = info.height;
    Bitmap region;
    if (mmr) {
        region = DecodeGenericMMR(data, info.width, info.height, m_budget);
    } else {
        ArithDecoder dec(data);
        Contexts cx(GenericContextCount(gp.gb_template));
        region = DecodeGeneric(dec, cx, gp, m_budget);
    }
    Place(seg, info, std::move(region));
}

void PageDecoder::RefinementRegionSegment(const Segment& seg)
{
    const RegionInfo info = ReadRegionInfo(seg.data);
    Common::ByteView d = seg.data.subspan(17);
    QVX_JBIG2_CHECK(!d.empty());
    RefinementParams rp;
    rp.width = info.width;
    rp.height = info.height;
    rp.gr_template = d[0] & 1;
    rp.tpgron = (d[0] >> 1) & 1;
    std::size_t pos = 1;
    if (rp.gr_template == 0) {
        QVX_JBIG2_CHECK(d.size() >= pos + 4);
        for (std::size_t i = 0; i < 4; ++i) rp.at[i] = std::int8_t(d[pos + i]);
        pos += 4;
    }
    // The reference is the intermediate region referred to, or else what the page holds
    // under this region.
    const Bitmap* reference = nullptr;
    for (std::uint32_t r : seg.refs) {
        const Stored* s = Find(r);
        if (s && s->region) reference = &*s->region;
    }
    Bitmap under;
    if (!reference) {
        QVX_JBIG2_CHECK(m_page.has_value());
        under = m_page->bitmap.Extract(info.x, info.y, info.width, info.height);
        reference = &under;
    }
    rp.reference = reference;
    ArithDecoder dec(d.subspan(pos));
    Contexts cx(RefinementContextCount(rp.gr_template));
    Place(seg, info, DecodeRefinement(dec, cx, rp, m_budget));
}

void PageDecoder::Place(const Segment& seg, const RegionInfo& info, Bitmap region)
{
    if (IsIntermediate(seg.type)) {
        auto s = std::make_unique<Stored>();
        s->region = std::move(region);
        s->info = info;
        m_stored[seg.number] = std::move(s);
        return;
    }
    QVX_JBIG2_CHECK(m_page.has_value());
    Bitmap& page = m_page->bitmap;
    if (m_page->striped_unknown_height) {
        // A page of unknown height grows to take the regions drawn on it.
        const std::int64_t bottom = std::int64_t(info.y) + region.Height();
        if (bottom > page.Height()) {
            QVX_JBIG2_CHECK(std::uint64_t(bottom) * page.Width() <= Common::Limits::kMaxJBIG2Pixels);
            page.SetHeight(std::uint32_t(bottom), m_page->default_pixel);
        }
    }
    page.Compose(region, info.x, info.y, info.op);
}

}  // namespace qvx::Filters::JBIG2
