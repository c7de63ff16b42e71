#pragma once
// Small TrueType programs for tests: the tables a reader needs (head, hhea, maxp, hmtx, loca,
// glyf), glyph 0 empty, glyph 1 a square, and one composite glyph after it drawing the glyph
// it names. The damage a test wants is asked for by option.

#include <cstdint>
#include <map>
#include <string>

namespace qvx::Test {

struct TrueTypeOptions {
    unsigned component = 1;       // the glyph the composite glyph (glyph 2) draws
    bool short_maxp = false;      // maxp version 0.5, six bytes (as for CFF outlines)
    int loca_format = 0;          // head's indexToLocFormat: 0 (short) and 1 (long) are defined
    bool empty_glyphs = false;    // no outlines at all: a glyf table of one byte (as Ghostscript writes)
};

namespace ttf_detail {

inline std::string U16(unsigned v) { return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
inline std::string U32(std::uint32_t v) { return U16(v >> 16) + U16(v & 0xFFFF); }

}  // namespace ttf_detail

inline std::string MakeTrueType(const TrueTypeOptions& o = {})
{
    using namespace ttf_detail;
    // A square 500 units wide: one contour of four on-curve points.
    std::string square = U16(1) + U16(0) + U16(0) + U16(500) + U16(500) + U16(3) + U16(0) +
                         std::string(4, '\x01') + U16(0) + U16(500) + U16(0) + U16(static_cast<unsigned>(-500) & 0xFFFF) +
                         U16(0) + U16(0) + U16(500) + U16(0);
    // Composite: ARG_1_AND_2_ARE_WORDS | ARGS_ARE_XY_VALUES, offset (0, 0).
    std::string composite = U16(0xFFFF) + U16(0) + U16(0) + U16(500) + U16(500) + U16(0x0003) + U16(o.component) +
                            U16(0) + U16(0);
    for (std::string* g : {&square, &composite})
        if (g->size() % 2) *g += '\0';
    std::string glyf = o.empty_glyphs ? std::string(1, '\0') : square + composite;
    std::string loca = o.empty_glyphs ? std::string(8, '\0')
                                      : U16(0) + U16(0) + U16(static_cast<unsigned>(square.size() / 2)) +
                                            U16(static_cast<unsigned>(glyf.size() / 2));
    const unsigned glyphs = 3;
    std::string head = U32(0x00010000) + U32(0x00010000) + U32(0) + U32(0x5F0F3CF5) + U16(0) + U16(1000) +
                       std::string(16, '\0') + U16(0) + U16(0) + U16(500) + U16(500) + U16(0) + U16(8) + U16(2) +
                       U16(static_cast<unsigned>(o.loca_format)) + U16(0);
    std::string hhea = U32(0x00010000) + U16(800) + U16(static_cast<unsigned>(-200) & 0xFFFF) + U16(0) + U16(500) +
                       U16(0) + U16(0) + U16(500) + U16(1) + U16(0) + U16(0) + std::string(8, '\0') + U16(0) + U16(glyphs);
    std::string maxp = o.short_maxp ? U32(0x00005000) + U16(glyphs)
                                    : U32(0x00010000) + U16(glyphs) + U16(4) + U16(1) + U16(4) + U16(1) + U16(2) +
                                          std::string(12, '\0') + U16(1) + U16(1);
    std::string hmtx;
    for (unsigned g = 0; g < glyphs; ++g) hmtx += U16(500) + U16(0);
    std::map<std::string, std::string> tables = {{"glyf", glyf}, {"head", head}, {"hhea", hhea},
                                                 {"hmtx", hmtx}, {"loca", loca}, {"maxp", maxp}};
    std::string out = U32(0x00010000) + U16(static_cast<unsigned>(tables.size())) + U16(64) + U16(2) + U16(32);
    std::size_t offset = 12 + 16 * tables.size();
    std::string data;
    for (auto& [tag, bytes] : tables) {
        out += tag + U32(0) + U32(static_cast<std::uint32_t>(offset + data.size())) + U32(static_cast<std::uint32_t>(bytes.size()));
        data += bytes;
        while (data.size() % 4) data += '\0';
    }
    return out + data;
}

}  // namespace qvx::Test
