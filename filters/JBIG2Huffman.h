#pragma once
// Huffman coding as JBIG2 uses it: a bit reader over the segment data, tables of lines
// (prefix length, range length, range low) with their prefix codes assigned canonically,
// the fifteen standard tables and tables read from table segments.

#include <cstdint>
#include <vector>

#include "common/Buffer.h"

namespace qvx::Filters::JBIG2 {

// Reads bits most significant first. Past the end it reads zero bits and counts them.
class BitReader {
public:
    explicit BitReader(Common::ByteView data) : m_data(data) {}
    std::uint32_t ReadBit()
    {
        std::uint64_t byte = m_pos >> 3;
        std::uint32_t b = byte < m_data.size() ? (m_data[byte] >> (7 - (m_pos & 7))) & 1 : 0;
        ++m_pos;
        return b;
    }
    // n <= 32 bits.
    std::uint32_t ReadBits(unsigned n)
    {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i) v = (v << 1) | ReadBit();
        return v;
    }
    void AlignToByte() { m_pos = (m_pos + 7) & ~std::uint64_t(7); }
    // The byte position (after AlignToByte), clamped to the data.
    std::size_t BytePos() const { return std::size_t(std::min<std::uint64_t>(m_pos >> 3, m_data.size())); }
    void SkipBytes(std::uint64_t n) { m_pos += n * 8; }
    // The unread part of the data, from the current (aligned) byte.
    Common::ByteView Rest() const { return m_data.subspan(BytePos()); }
    bool Overrun() const { return m_pos > m_data.size() * 8; }

private:
    Common::ByteView m_data;
    std::uint64_t m_pos = 0;
};

struct HuffmanLine {
    int prefix_len;
    int range_len;
    std::int32_t range_low;
    enum Kind { e_normal, e_lower, e_upper, e_oob } kind = e_normal;
};

class HuffmanTable {
public:
    HuffmanTable() = default;
    // Assigns the prefix codes; throws when the lines do not form a usable code.
    explicit HuffmanTable(std::vector<HuffmanLine> lines);

    // False for the out-of-band value (and for a code that matches no line, which only
    // damaged data has; the caller treats both as the end of what it decodes).
    bool Decode(BitReader& bits, std::int32_t& value) const;
    bool Empty() const { return m_lines.empty(); }
    const std::vector<HuffmanLine>& Lines() const { return m_lines; }
    const std::vector<std::uint32_t>& Codes() const { return m_codes; }

private:
    std::vector<HuffmanLine> m_lines;
    std::vector<std::uint32_t> m_codes;
    // Lines sorted by prefix length, for decoding one length at a time.
    std::vector<std::uint32_t> m_order;
    int m_max_len = 0;
};

// Standard table B.n, 1 <= n <= 15.
const HuffmanTable& StandardTable(int n);

// A table from the data of a table segment; throws when it is malformed.
HuffmanTable ReadTableSegment(Common::ByteView data);

// The symbol-ID code of a Huffman-coded text region (run-length coded code lengths);
// throws when it is malformed.
HuffmanTable ReadSymbolIdTable(BitReader& bits, std::uint32_t num_symbols);

}  // namespace qvx::Filters::JBIG2
