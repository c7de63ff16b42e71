#include "filters/JBIG2Huffman.h"

#include <algorithm>
#include <array>

#include "filters/JBIG2Bitmap.h"

namespace qvx::Filters::JBIG2 {

namespace {

constexpr int kMaxPrefixLen = 32;

HuffmanLine L(int p, int r, std::int32_t low) { return {p, r, low, HuffmanLine::e_normal}; }
HuffmanLine Lower(int p, std::int32_t low) { return {p, 32, low, HuffmanLine::e_lower}; }
HuffmanLine Upper(int p, std::int32_t low) { return {p, 32, low, HuffmanLine::e_upper}; }
HuffmanLine Oob(int p) { return {p, 0, 0, HuffmanLine::e_oob}; }

std::vector<HuffmanLine> StandardLines(int n)
{
    switch (n) {
    case 1: return {L(1, 4, 0), L(2, 8, 16), L(3, 16, 272), Upper(3, 65808)};
    case 2: return {L(1, 0, 0), L(2, 0, 1), L(3, 0, 2), L(4, 3, 3), L(5, 6, 11), Upper(6, 75), Oob(6)};
    case 3:
        return {L(8, 8, -256), L(1, 0, 0), L(2, 0, 1), L(3, 0, 2), L(4, 3, 3), L(5, 6, 11),
                Lower(8, -257), Upper(7, 75), Oob(6)};
    case 4: return {L(1, 0, 1), L(2, 0, 2), L(3, 0, 3), L(4, 3, 4), L(5, 6, 12), Upper(5, 76)};
    case 5:
        return {L(7, 8, -255), L(1, 0, 1), L(2, 0, 2), L(3, 0, 3), L(4, 3, 4), L(5, 6, 12),
                Lower(7, -256), Upper(6, 76)};
    case 6:
        return {L(5, 10, -2048), L(4, 9, -1024), L(4, 8, -512), L(4, 7, -256), L(5, 6, -128),
                L(5, 5, -64),    L(4, 5, -32),   L(2, 7, 0),    L(3, 7, 128),  L(3, 8, 256),
                L(4, 9, 512),    L(4, 10, 1024), Lower(6, -2049), Upper(6, 2048)};
    case 7:
        return {L(4, 9, -1024), L(3, 8, -512), L(4, 7, -256), L(5, 6, -128), L(5, 5, -64),
                L(4, 5, -32),   L(4, 5, 0),    L(5, 5, 32),   L(5, 6, 64),   L(4, 7, 128),
                L(3, 8, 256),   L(3, 9, 512),  L(3, 10, 1024), Lower(5, -1025), Upper(5, 2048)};
    case 8:
        return {L(8, 3, -15), L(9, 1, -7), L(8, 1, -5),  L(9, 0, -3),  L(7, 0, -2),  L(4, 0, -1),
                L(2, 1, 0),   L(5, 0, 2),  L(6, 0, 3),   L(3, 4, 4),   L(6, 1, 20),  L(4, 4, 22),
                L(4, 5, 38),  L(5, 6, 70), L(5, 7, 134), L(6, 7, 262), L(7, 8, 390), L(6, 10, 646),
                Lower(9, -16), Upper(9, 1670), Oob(2)};
    case 9:
        return {L(8, 4, -31),  L(9, 2, -15), L(8, 2, -11), L(9, 1, -7),   L(7, 1, -5),  L(4, 1, -3),
                L(3, 1, -1),   L(3, 1, 1),   L(5, 1, 3),   L(6, 1, 5),    L(3, 5, 7),   L(6, 2, 39),
                L(4, 5, 43),   L(4, 6, 75),  L(5, 7, 139), L(5, 8, 267),  L(6, 8, 523), L(7, 9, 779),
                L(6, 11, 1291), Lower(9, -32), Upper(9, 3339), Oob(2)};
    case 10:
        return {L(7, 4, -21),  L(8, 0, -5),  L(7, 0, -4),   L(5, 0, -3),   L(2, 2, -2),   L(5, 0, 2),
                L(6, 0, 3),    L(7, 0, 4),   L(8, 0, 5),    L(2, 6, 6),    L(5, 5, 70),   L(6, 5, 102),
                L(6, 6, 134),  L(6, 7, 198), L(6, 8, 326),  L(6, 9, 582),  L(6, 10, 1094), L(7, 11, 2118),
                Lower(8, -22), Upper(8, 4166), Oob(2)};
    case 11:
        return {L(1, 0, 1),  L(2, 1, 2),  L(4, 0, 4),  L(4, 1, 5),  L(5, 1, 7),  L(5, 2, 9), L(6, 2, 13),
                L(7, 2, 17), L(7, 3, 21), L(7, 4, 29), L(7, 5, 45), L(7, 6, 77), Upper(7, 141)};
    case 12:
        return {L(1, 0, 1),  L(2, 0, 2),  L(3, 1, 3),  L(5, 0, 5),  L(5, 1, 6),  L(6, 1, 8), L(7, 0, 10),
                L(7, 1, 11), L(7, 2, 13), L(7, 3, 17), L(7, 4, 25), L(8, 5, 41), Upper(8, 73)};
    case 13:
        return {L(1, 0, 1),  L(3, 0, 2),  L(4, 0, 3),  L(5, 0, 4),  L(4, 1, 5),  L(3, 3, 7), L(6, 1, 15),
                L(6, 2, 17), L(6, 3, 21), L(6, 4, 29), L(6, 5, 45), L(7, 6, 77), Upper(7, 141)};
    case 14: return {L(3, 0, -2), L(3, 0, -1), L(1, 0, 0), L(3, 0, 1), L(3, 0, 2)};
    case 15:
        return {L(7, 4, -24), L(6, 2, -8), L(5, 1, -4), L(4, 0, -2), L(3, 0, -1), L(1, 0, 0), L(3, 0, 1),
                L(4, 0, 2),   L(5, 1, 3),  L(6, 2, 5),  L(7, 4, 9),  Lower(7, -25), Upper(7, 25)};
    }
    Fail("standard table number");
}

}  // namespace

HuffmanTable::HuffmanTable(std::vector<HuffmanLine> lines) : m_lines(std::move(lines))
{
    std::array<std::uint32_t, kMaxPrefixLen + 2> count{}, first{};
    for (const auto& l : m_lines) {
        QVX_JBIG2_CHECK(l.prefix_len >= 0 && l.prefix_len <= kMaxPrefixLen);
        QVX_JBIG2_CHECK(l.range_len >= 0 && l.range_len <= 32);
        m_max_len = std::max(m_max_len, l.prefix_len);
        ++count[std::size_t(l.prefix_len)];
    }
    count[0] = 0;
    m_codes.assign(m_lines.size(), 0);
    for (int len = 1; len <= m_max_len; ++len) {
        first[std::size_t(len)] = (first[std::size_t(len) - 1] + count[std::size_t(len) - 1]) << 1;
        std::uint32_t code = first[std::size_t(len)];
        for (std::size_t i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].prefix_len != len) continue;
            // More codes of a length than it has room for: not a prefix code.
            QVX_JBIG2_CHECK(len == 32 || code < (std::uint64_t(1) << len));
            m_codes[i] = code++;
        }
    }
    for (std::uint32_t i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].prefix_len > 0) m_order.push_back(i);
    std::stable_sort(m_order.begin(), m_order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return m_lines[a].prefix_len < m_lines[b].prefix_len; });
}

bool HuffmanTable::Decode(BitReader& bits, std::int32_t& value) const
{
    std::uint32_t code = 0;
    int len = 0;
    std::size_t k = 0;
    while (k < m_order.size()) {
        const int want = m_lines[m_order[k]].prefix_len;
        while (len < want) {
            code = (code << 1) | bits.ReadBit();
            ++len;
        }
        for (; k < m_order.size() && m_lines[m_order[k]].prefix_len == len; ++k) {
            if (m_codes[m_order[k]] != code) continue;
            const HuffmanLine& l = m_lines[m_order[k]];
            std::int64_t v;
            switch (l.kind) {
            case HuffmanLine::e_oob: return false;
            case HuffmanLine::e_lower: v = std::int64_t(l.range_low) - bits.ReadBits(32); break;
            case HuffmanLine::e_upper: v = std::int64_t(l.range_low) + bits.ReadBits(32); break;
            default: v = std::int64_t(l.range_low) + bits.ReadBits(unsigned(l.range_len)); break;
            }
            value = std::int32_t(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
            return true;
        }
    }
    return false;
}

const HuffmanTable& StandardTable(int n)
{
    QVX_JBIG2_CHECK(n >= 1 && n <= 15);
    static const auto tables = [] {
        std::array<HuffmanTable, 15> t;
        for (int i = 0; i < 15; ++i) t[std::size_t(i)] = HuffmanTable(StandardLines(i + 1));
        return t;
    }();
    return tables[std::size_t(n - 1)];
}

HuffmanTable ReadTableSegment(Common::ByteView data)
{
    QVX_JBIG2_CHECK(data.size() >= 9);
    const unsigned flags = data[0];
    const bool oob = flags & 1;
    const unsigned ps = ((flags >> 1) & 7) + 1, rs = ((flags >> 4) & 7) + 1;
    auto s32 = [&](std::size_t i) {
        return std::int32_t(std::uint32_t(data[i]) << 24 | std::uint32_t(data[i + 1]) << 16 |
                            std::uint32_t(data[i + 2]) << 8 | data[i + 3]);
    };
    const std::int32_t low = s32(1), high = s32(5);
    QVX_JBIG2_CHECK(low < high);
    BitReader bits(data.subspan(9));
    std::vector<HuffmanLine> lines;
    std::int64_t cur = low;
    while (cur < high) {
        int p = int(bits.ReadBits(ps)), r = int(bits.ReadBits(rs));
        QVX_JBIG2_CHECK(!bits.Overrun() && r <= 32);
        lines.push_back(L(p, r, std::int32_t(cur)));
        cur += std::int64_t(1) << r;
    }
    lines.push_back(Lower(int(bits.ReadBits(ps)), low == INT32_MIN ? low : low - 1));
    lines.push_back(Upper(int(bits.ReadBits(ps)), high));
    if (oob) lines.push_back(Oob(int(bits.ReadBits(ps))));
    QVX_JBIG2_CHECK(!bits.Overrun());
    return HuffmanTable(std::move(lines));
}

HuffmanTable ReadSymbolIdTable(BitReader& bits, std::uint32_t num_symbols)
{
    std::vector<HuffmanLine> run;
    for (int i = 0; i < 35; ++i) run.push_back(L(int(bits.ReadBits(4)), 0, i));
    HuffmanTable runs(std::move(run));
    std::vector<HuffmanLine> lines;
    lines.reserve(num_symbols);
    while (lines.size() < num_symbols) {
        std::int32_t code;
        QVX_JBIG2_CHECK(runs.Decode(bits, code) && !bits.Overrun());
        int len = 0;
        std::uint32_t repeat = 1;
        if (code < 32) {
            len = code;
        } else if (code == 32) {
            QVX_JBIG2_CHECK(!lines.empty());
            len = lines.back().prefix_len;
            repeat = 3 + bits.ReadBits(2);
        } else if (code == 33) {
            repeat = 3 + bits.ReadBits(3);
        } else {
            repeat = 11 + bits.ReadBits(7);
        }
        for (std::uint32_t i = 0; i < repeat && lines.size() < num_symbols; ++i)
            lines.push_back(L(len, 0, std::int32_t(lines.size())));
    }
    bits.AlignToByte();
    return HuffmanTable(std::move(lines));
}

}  // namespace qvx::Filters::JBIG2
