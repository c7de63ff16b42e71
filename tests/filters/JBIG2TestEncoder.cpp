#include "tests/filters/JBIG2TestEncoder.h"

#include <algorithm>
#include <bit>
#include <map>
#include <random>

#include "filters/CCITTFaxEncode.h"
#include "filters/FilterReader.h"
#include "filters/JBIG2ArithDecoder.h"
#include "filters/JBIG2Refinement.h"
#include "filters/MemoryFilter.h"

namespace qvx::Test::JBIG2 {

using Filters::JBIG2::kQeTable;

MQEncoder::MQEncoder() = default;

void MQEncoder::Encode(std::vector<std::uint8_t>& cx, std::size_t index, int bit)
{
    std::uint8_t& st = cx[index];
    const auto& e = kQeTable[st >> 1];
    int mps = st & 1;
    m_a -= e.qe;
    if (bit == mps) {
        if ((m_a & 0x8000) == 0) {
            if (m_a < e.qe)
                m_a = e.qe;
            else
                m_c += e.qe;
            st = std::uint8_t(e.nmps << 1 | mps);
            Renorm();
        } else {
            m_c += e.qe;
        }
    } else {
        if (m_a < e.qe)
            m_c += e.qe;
        else
            m_a = e.qe;
        st = std::uint8_t(e.nlps << 1 | (e.swtch ? 1 - mps : mps));
        Renorm();
    }
}

void MQEncoder::Renorm()
{
    do {
        m_a <<= 1;
        m_c <<= 1;
        if (--m_ct == 0) ByteOut();
    } while ((m_a & 0x8000) == 0);
}

void MQEncoder::ByteOut()
{
    Byte& b = m_out.back();
    if (b == 0xFF) {
        m_out.push_back(Byte(m_c >> 20));
        m_c &= 0xFFFFF;
        m_ct = 7;
    } else if (m_c < 0x8000000) {
        m_out.push_back(Byte(m_c >> 19));
        m_c &= 0x7FFFF;
        m_ct = 8;
    } else {
        ++b;
        if (b == 0xFF) {
            m_c &= 0x7FFFFFF;
            m_out.push_back(Byte(m_c >> 20));
            m_c &= 0xFFFFF;
            m_ct = 7;
        } else {
            m_out.push_back(Byte(m_c >> 19));
            m_c &= 0x7FFFF;
            m_ct = 8;
        }
    }
}

Bytes MQEncoder::Finish()
{
    std::uint32_t temp = m_c + m_a;
    m_c |= 0xFFFF;
    if (m_c >= temp) m_c -= 0x8000;
    m_c <<= m_ct;
    ByteOut();
    m_c <<= m_ct;
    ByteOut();
    if (m_out.back() != 0xFF) m_out.push_back(0xFF);
    m_out.push_back(0xAC);
    return Bytes(m_out.begin() + 1, m_out.end());
}

void IntEncoder::Encode(MQEncoder& mq, std::optional<std::int32_t> v)
{
    std::uint32_t prev = 1;
    auto bit = [&](int d) {
        mq.Encode(m_cx, prev, d);
        prev = prev < 256 ? (prev << 1) | unsigned(d) : (((prev << 1) | unsigned(d)) & 511) | 256;
    };
    auto bits = [&](std::uint64_t value, int n) {
        for (int i = n - 1; i >= 0; --i) bit(int((value >> i) & 1));
    };
    if (!v) {
        bit(1);
        bit(0);
        bits(0, 2);
        return;
    }
    std::int64_t x = *v;
    bit(x < 0);
    std::uint64_t m = std::uint64_t(x < 0 ? -x : x);
    struct Range { std::uint64_t low; int prefix, n; };
    static const Range kRanges[] = {{0, 0, 2}, {4, 1, 4}, {20, 2, 6}, {84, 3, 8}, {340, 4, 12}, {4436, 5, 32}};
    for (const Range& r : kRanges) {
        const bool last = r.n == 32;
        const std::uint64_t next = last ? ~0ull : r.low + (1ull << r.n);
        if (m >= next) continue;
        for (int i = 0; i < r.prefix; ++i) bit(1);
        if (!last) bit(0);
        bits(m - r.low, r.n);
        return;
    }
}

void IdEncoder::Encode(MQEncoder& mq, std::uint32_t id)
{
    std::uint32_t prev = 1;
    for (int i = int(m_len) - 1; i >= 0; --i) {
        int d = int((id >> i) & 1);
        mq.Encode(m_cx, prev, d);
        prev = (prev << 1) | unsigned(d);
    }
}

void BitWriter::Put(std::uint32_t value, unsigned n)
{
    for (int i = int(n) - 1; i >= 0; --i) {
        if (m_bits % 8 == 0) m_out.push_back(0);
        if ((value >> i) & 1) m_out.back() |= Byte(0x80 >> (m_bits % 8));
        ++m_bits;
    }
}

void BitWriter::Put(const Filters::JBIG2::HuffmanTable& t, std::optional<std::int32_t> v)
{
    using L = Filters::JBIG2::HuffmanLine;
    const auto& lines = t.Lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const L& l = lines[i];
        if (l.prefix_len == 0) continue;
        const std::int64_t low = l.range_low;
        if (!v) {
            if (l.kind != L::e_oob) continue;
            Put(t.Codes()[i], unsigned(l.prefix_len));
            return;
        }
        const std::int64_t x = *v;
        bool fits = false;
        std::uint64_t extra = 0;
        if (l.kind == L::e_lower && x <= low) {
            fits = true;
            extra = std::uint64_t(low - x);
        } else if (l.kind == L::e_upper && x >= low) {
            fits = true;
            extra = std::uint64_t(x - low);
        } else if (l.kind == L::e_normal && x >= low && x < low + (std::int64_t(1) << l.range_len)) {
            fits = true;
            extra = std::uint64_t(x - low);
        }
        if (!fits) continue;
        Put(t.Codes()[i], unsigned(l.prefix_len));
        Put(std::uint32_t(extra), unsigned(l.range_len));
        return;
    }
    throw std::runtime_error("value not in table");
}

void BitWriter::Align() { m_bits = (m_bits + 7) & ~7u; }

void BitWriter::Append(const Bytes& b)
{
    Align();
    m_out.insert(m_out.end(), b.begin(), b.end());
    m_bits += unsigned(b.size() * 8);
}

Bytes BitWriter::Take() { return std::move(m_out); }

namespace {

std::uint32_t GenericContext(const Bitmap& bm, std::int64_t x, std::int64_t y, const GenericOptions& o)
{
    auto p = [&](std::int64_t dx, std::int64_t dy) { return std::uint32_t(bm.Get(x + dx, y + dy)); };
    std::uint32_t c = 0;
    auto add = [&](std::uint32_t b) { c = (c << 1) | b; };
    int n_at = 1;
    switch (o.gb_template) {
    case 0:
        for (int i = -1; i <= 1; ++i) add(p(i, -2));
        for (int i = -2; i <= 2; ++i) add(p(i, -1));
        for (int i = -4; i <= -1; ++i) add(p(i, 0));
        n_at = 4;
        break;
    case 1:
        for (int i = -1; i <= 2; ++i) add(p(i, -2));
        for (int i = -2; i <= 2; ++i) add(p(i, -1));
        for (int i = -3; i <= -1; ++i) add(p(i, 0));
        break;
    case 2:
        for (int i = -1; i <= 1; ++i) add(p(i, -2));
        for (int i = -2; i <= 1; ++i) add(p(i, -1));
        for (int i = -2; i <= -1; ++i) add(p(i, 0));
        break;
    default:
        for (int i = -3; i <= 1; ++i) add(p(i, -1));
        for (int i = -4; i <= -1; ++i) add(p(i, 0));
        break;
    }
    for (int a = 0; a < n_at; ++a) add(p(o.at[2 * a], o.at[2 * a + 1]));
    return c;
}

bool SameRow(const Bitmap& bm, std::uint32_t y)
{
    for (std::uint32_t x = 0; x < bm.Width(); ++x)
        if (bm.Get(x, y) != (y ? bm.Get(x, std::int64_t(y) - 1) : 0)) return false;
    return true;
}

}  // namespace

void EncodeGeneric(MQEncoder& mq, std::vector<std::uint8_t>& cx, const Bitmap& bm, const GenericOptions& o)
{
    // The standard's typical-row contexts in the pixel order GenericContext builds.
    static const std::uint32_t kSltp[4] = {0x3953, 0x079A, 0x00E3, 0x018B};
    int ltp = 0;
    for (std::uint32_t y = 0; y < bm.Height(); ++y) {
        if (o.tpgdon) {
            int typical = SameRow(bm, y);
            mq.Encode(cx, kSltp[o.gb_template], typical ^ ltp);
            ltp = typical;
            if (typical) continue;
        }
        for (std::uint32_t x = 0; x < bm.Width(); ++x) mq.Encode(cx, GenericContext(bm, x, y, o), bm.Get(x, y));
    }
}

Bytes EncodeGeneric(const Bitmap& bm, const GenericOptions& o)
{
    MQEncoder mq;
    std::vector<std::uint8_t> cx(1 << 16);
    EncodeGeneric(mq, cx, bm, o);
    return mq.Finish();
}

namespace {

std::uint32_t RefineContext(const Bitmap& bm, const Bitmap& ref, std::int64_t x, std::int64_t y,
                            const RefineOptions& o)
{
    auto d = [&](int ox, int oy) { return std::uint32_t(bm.Get(x + ox, y + oy)); };
    auto r = [&](int ox, int oy) { return std::uint32_t(ref.Get(x - o.dx + ox, y - o.dy + oy)); };
    std::uint32_t c = 0;
    auto add = [&](std::uint32_t b) { c = (c << 1) | b; };
    if (o.gr_template == 0) {
        add(d(0, -1)), add(d(1, -1)), add(d(-1, 0));
        add(r(0, -1)), add(r(1, -1));
        for (int i = -1; i <= 1; ++i) add(r(i, 0));
        for (int i = -1; i <= 1; ++i) add(r(i, 1));
        add(d(o.at[0], o.at[1])), add(r(o.at[2], o.at[3]));
    } else {
        add(d(-1, -1)), add(d(0, -1)), add(d(1, -1)), add(d(-1, 0));
        add(r(0, -1)), add(r(-1, 0)), add(r(0, 0)), add(r(1, 0)), add(r(0, 1)), add(r(1, 1));
    }
    return c;
}

}  // namespace

void EncodeRefinement(MQEncoder& mq, std::vector<std::uint8_t>& cx, const Bitmap& bm, const Bitmap& ref,
                      const RefineOptions& o)
{
    int ltp = 0;
    for (std::int64_t y = 0; y < bm.Height(); ++y) {
        int typical = 0;
        if (o.tpgron) {
            typical = 1;
            for (std::int64_t x = 0; x < bm.Width() && typical; ++x) {
                int u = Filters::JBIG2::TypicalPixel(ref, x - o.dx, y - o.dy);
                if (u >= 0 && u != bm.Get(x, y)) typical = 0;
            }
            mq.Encode(cx, o.gr_template ? 0x0004 : 0x0040, typical ^ ltp);
            ltp = typical;
        }
        for (std::int64_t x = 0; x < bm.Width(); ++x) {
            if (typical && Filters::JBIG2::TypicalPixel(ref, x - o.dx, y - o.dy) >= 0) continue;
            mq.Encode(cx, RefineContext(bm, ref, x, y, o), bm.Get(x, y));
        }
    }
}

Bytes EncodeMMR(const Bitmap& bm)
{
    Filters::CCITTParams p;
    p.k = -1;
    p.columns = int(bm.Width());
    p.black_is_1 = true;
    p.end_of_block = false;
    auto sink = std::make_unique<Filters::MemoryFilter>();
    auto* mem = sink.get();
    Filters::CCITTFaxEncode enc(std::move(sink), p);
    Filters::FilterWriter w(enc);
    w.WriteBuffer(bm.Data());
    w.Finish();
    return mem->Release();
}

void PutU32(Bytes& b, std::uint32_t v)
{
    for (int i = 3; i >= 0; --i) b.push_back(Byte(v >> (8 * i)));
}

void PutU16(Bytes& b, std::uint16_t v)
{
    b.push_back(Byte(v >> 8));
    b.push_back(Byte(v));
}

Bytes RegionInfo(std::uint32_t w, std::uint32_t h, std::int32_t x, std::int32_t y, int op)
{
    Bytes b;
    PutU32(b, w);
    PutU32(b, h);
    PutU32(b, std::uint32_t(x));
    PutU32(b, std::uint32_t(y));
    b.push_back(Byte(op));
    return b;
}

Bytes PageInfo(std::uint32_t w, std::uint32_t h, int default_pixel, bool striped, std::uint16_t max_stripe)
{
    Bytes b;
    PutU32(b, w);
    PutU32(b, h);
    PutU32(b, 0);
    PutU32(b, 0);
    b.push_back(Byte(1 | (default_pixel << 2)));
    PutU16(b, std::uint16_t((striped ? 0x8000 : 0) | max_stripe));
    return b;
}

void AddSegment(Bytes& stream, std::uint32_t number, int type, std::uint32_t page,
                const std::vector<std::uint32_t>& refs, const Bytes& data)
{
    PutU32(stream, number);
    stream.push_back(Byte(type));
    stream.push_back(Byte(refs.size() << 5));
    for (std::uint32_t r : refs) {
        if (number <= 256)
            stream.push_back(Byte(r));
        else
            PutU16(stream, std::uint16_t(r));
    }
    stream.push_back(Byte(page));
    PutU32(stream, std::uint32_t(data.size()));
    stream.insert(stream.end(), data.begin(), data.end());
}

Bitmap Picture(std::uint32_t w, std::uint32_t h, unsigned seed, int density)
{
    Bitmap bm(w, h);
    std::mt19937 rng(seed);
    const int shapes = std::max<int>(1, int(std::uint64_t(w) * h / 400) * density / 6);
    for (int i = 0; i < shapes; ++i) {
        std::uint32_t x0 = rng() % w, y0 = rng() % h;
        std::uint32_t sw = 1 + rng() % std::max<std::uint32_t>(1, w / 4), sh = 1 + rng() % 6;
        if (rng() % 2) std::swap(sw, sh);
        for (std::uint32_t y = y0; y < std::min(h, y0 + sh); ++y)
            for (std::uint32_t x = x0; x < std::min(w, x0 + sw); ++x) bm.Set(x, y, 1);
    }
    // Sprinkle noise so that every context gets used.
    for (std::uint32_t i = 0; i < w * h / 50; ++i) bm.Set(rng() % w, rng() % h, int(rng() % 2));
    return bm;
}

}  // namespace qvx::Test::JBIG2
