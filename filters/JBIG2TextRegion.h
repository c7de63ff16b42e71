#pragma once
// The text region decoding procedure: symbol instances placed strip by strip, each symbol
// optionally refined, coded with the arithmetic coder or with Huffman tables. Symbol
// dictionaries use it too, to build aggregate symbols.

#include <cstdint>
#include <span>

#include "filters/JBIG2ArithDecoder.h"
#include "filters/JBIG2Bitmap.h"
#include "filters/JBIG2Huffman.h"

namespace qvx::Filters::JBIG2 {

struct TextParams {
    std::uint32_t width = 0, height = 0;
    bool huffman = false, refine = false;
    int log_strips = 0;
    int ref_corner = 1;  // 0 bottom-left, 1 top-left, 2 bottom-right, 3 top-right
    bool transposed = false;
    ComposeOp op = e_or;
    bool default_pixel = false;
    int ds_offset = 0;
    int r_template = 0;
    std::int8_t r_at[4] = {-1, -1, -1, -1};
    std::uint32_t num_instances = 0;
};

// The arithmetic decoding state; a symbol dictionary keeps one across its aggregates.
struct TextArithState {
    TextArithState(unsigned sym_code_len, int r_template)
        : id(sym_code_len), gr(r_template ? 1u << 10 : 1u << 13)
    {
    }
    IntDecoder dt, fs, ds, it, ri, rdw, rdh, rdx, rdy;
    IdDecoder id;
    Contexts gr;
};

struct TextHuffmanTables {
    const HuffmanTable *fs = nullptr, *ds = nullptr, *dt = nullptr, *rdw = nullptr, *rdh = nullptr,
                       *rdx = nullptr, *rdy = nullptr, *rsize = nullptr;
    const HuffmanTable* sym_id = nullptr;  // null: fixed-length codes of sym_code_len bits
    unsigned sym_code_len = 0;
};

// Exactly one of the two codings is set.
struct TextCoder {
    ArithDecoder* arith = nullptr;
    TextArithState* state = nullptr;
    BitReader* bits = nullptr;
    TextHuffmanTables tables;
};

Bitmap DecodeTextRegion(const TextParams& p, std::span<const Bitmap* const> symbols, TextCoder& coder,
                        WorkBudget& budget);

// The refinement of a symbol in Huffman-coded data: its own arithmetic-coded block of
// `size` bytes at the reader's (byte-aligned) position, which the reader then skips.
Bitmap DecodeHuffmanRefinement(BitReader& bits, std::uint32_t size, const struct RefinementParams& p,
                               WorkBudget& budget);

}  // namespace qvx::Filters::JBIG2
