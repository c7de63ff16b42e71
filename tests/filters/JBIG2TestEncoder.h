#pragma once
// A small JBIG2 encoder for the tests: the arithmetic coder, integer coding, generic and
// refinement regions, symbol dictionaries and text regions (arithmetic and Huffman),
// pattern dictionaries and halftone regions, and the segment framing. It makes the
// streams that the decoder is checked on, against jbig2dec, since no JBIG2 encoder is
// packaged. Context layouts restate the decoder's pixel by pixel.

#include <cstdint>
#include <optional>
#include <vector>

#include "common/Buffer.h"
#include "filters/JBIG2Bitmap.h"
#include "filters/JBIG2Huffman.h"

namespace qvx::Test::JBIG2 {

using Common::Byte;
using Common::Bytes;
using Filters::JBIG2::Bitmap;

class MQEncoder {
public:
    MQEncoder();
    void Encode(std::vector<std::uint8_t>& cx, std::size_t index, int bit);
    // Ends the data with the 0xFF 0xAC marker.
    Bytes Finish();

private:
    void ByteOut();
    void Renorm();
    std::uint32_t m_a = 0x8000, m_c = 0;
    int m_ct = 12;
    Bytes m_out{0};  // starts with the byte before the first
};

// The IAxx integer coder (nullopt codes out-of-band).
class IntEncoder {
public:
    void Encode(MQEncoder& mq, std::optional<std::int32_t> v);

private:
    std::vector<std::uint8_t> m_cx = std::vector<std::uint8_t>(512);
};

class IdEncoder {
public:
    explicit IdEncoder(unsigned len) : m_len(len), m_cx(std::size_t(2) << len) {}
    void Encode(MQEncoder& mq, std::uint32_t id);

private:
    unsigned m_len;
    std::vector<std::uint8_t> m_cx;
};

// Writes bits most significant first; values with a Huffman table of the decoder.
class BitWriter {
public:
    void Put(std::uint32_t value, unsigned n);
    // The value must be representable by a line of the table (nullopt: out-of-band).
    void Put(const Filters::JBIG2::HuffmanTable& t, std::optional<std::int32_t> v);
    void Align();
    void Append(const Bytes& b);
    Bytes Take();

private:
    Bytes m_out;
    unsigned m_bits = 0;
};

struct GenericOptions {
    int gb_template = 0;
    bool tpgdon = false;
    int at[8] = {3, -1, -3, -1, 2, -2, -2, -2};
};
// Codes a bitmap with an encoder whose contexts (one vector per template) the caller keeps.
void EncodeGeneric(MQEncoder& mq, std::vector<std::uint8_t>& cx, const Bitmap& bm, const GenericOptions& o);
Bytes EncodeGeneric(const Bitmap& bm, const GenericOptions& o);

struct RefineOptions {
    int gr_template = 0;
    bool tpgron = false;
    int at[4] = {-1, -1, -1, -1};
    std::int32_t dx = 0, dy = 0;
};
void EncodeRefinement(MQEncoder& mq, std::vector<std::uint8_t>& cx, const Bitmap& bm, const Bitmap& ref,
                      const RefineOptions& o);

// Group 4 data of a bitmap (1 = black), without end-of-block code.
Bytes EncodeMMR(const Bitmap& bm);

struct Instance {
    std::uint32_t id;
    std::int32_t x, y;                // top-left corner of what is drawn
    const Bitmap* refined = nullptr;  // drawn as this refinement of the symbol
    std::int32_t rdx = 0, rdy = 0;
};

struct TextOptions {
    bool huffman = false;
    int log_strips = 0;
    int ref_corner = 1;
    bool transposed = false;
    int op = 0;
    int ds_offset = 0;
    int r_template = 0;
    bool refine = false;
    // Huffman: user tables (from table segments) for the S and T deltas.
    const Filters::JBIG2::HuffmanTable* user_ds = nullptr;
    const Filters::JBIG2::HuffmanTable* user_dt = nullptr;
};

// The data of a text region segment after the region information.
Bytes EncodeTextRegion(const std::vector<const Bitmap*>& symbols,
                       const std::vector<Instance>& instances, const TextOptions& o);

struct DictOptions {
    bool huffman = false;
    int gb_template = 0;
    bool mmr_collective = false;  // Huffman: each height class as Group 4 data instead of raw
};
// The data of a symbol dictionary segment exporting all its symbols (no input symbols).
// Symbols must come sorted by height (and, for Huffman, by width within a height).
Bytes EncodeSymbolDict(const std::vector<Bitmap>& symbols, const DictOptions& o);

// A symbol made from known ones: one part is a refinement of that symbol (drawn as
// `bitmap`), more parts an aggregate of them placed at their corners.
struct AggSymbol {
    Bitmap bitmap;
    std::vector<Instance> parts;
};
// The data of an arithmetic symbol dictionary with refinement/aggregate coding over the
// input symbols, exporting only its new symbols (sorted by height).
Bytes EncodeRefAggDict(const std::vector<const Bitmap*>& inputs, const std::vector<AggSymbol>& symbols,
                       int r_template);

// The data of a pattern dictionary segment; patterns all of the same size.
Bytes EncodePatternDict(const std::vector<Bitmap>& patterns, bool mmr, int gb_template);
// The data of a halftone region after its region information.
Bytes EncodeHalftone(const std::vector<std::vector<std::uint32_t>>& grey, unsigned bpp, int gb_template,
                     bool mmr, int op, std::int32_t gx, std::int32_t gy, std::uint16_t rx, std::uint16_t ry);

// The data of a table segment: lines of (prefix length, range length) from `low`, then the
// lower range, upper range and (when oob_prefix > 0) out-of-band prefix lengths.
Bytes TableSegment(unsigned ps, unsigned rs, std::int32_t low, const std::vector<std::pair<int, int>>& lines,
                   int lower_prefix, int upper_prefix, int oob_prefix);

// Segment framing.
Bytes RegionInfo(std::uint32_t w, std::uint32_t h, std::int32_t x, std::int32_t y, int op);
Bytes PageInfo(std::uint32_t w, std::uint32_t h, int default_pixel = 0, bool striped = false,
               std::uint16_t max_stripe = 0);
void AddSegment(Bytes& stream, std::uint32_t number, int type, std::uint32_t page,
                const std::vector<std::uint32_t>& refs, const Bytes& data);
void PutU32(Bytes& b, std::uint32_t v);
void PutU16(Bytes& b, std::uint16_t v);

// A test picture: strokes and blobs, reproducible by seed.
Bitmap Picture(std::uint32_t w, std::uint32_t h, unsigned seed, int density = 6);

}  // namespace qvx::Test::JBIG2
