#pragma once
// The symbol dictionary decoding procedure: new symbols in height classes, each coded as a
// generic region, a refinement or aggregate of known symbols, or (Huffman) as one
// collective bitmap per height class; then the list of exported symbols.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "filters/JBIG2ArithDecoder.h"
#include "filters/JBIG2Bitmap.h"
#include "filters/JBIG2Huffman.h"

namespace qvx::Filters::JBIG2 {

using Symbol = std::shared_ptr<const Bitmap>;

// The coding contexts a dictionary may leave to the next one.
struct SymbolDictContexts {
    Contexts gb, gr;
};

struct SymbolDict {
    std::vector<Symbol> exported;
    std::shared_ptr<SymbolDictContexts> contexts;  // set when the segment retains them
};

// The segment data after the header; `inputs` are the exported symbols of the referred-to
// dictionaries, `tables` the referred-to table segments (in order), `previous` the
// contexts of the last referred-to dictionary (for "bitmap coding context used").
SymbolDict DecodeSymbolDict(Common::ByteView data, std::span<const Symbol> inputs,
                            std::span<const HuffmanTable* const> tables, const SymbolDictContexts* previous,
                            WorkBudget& budget);

}  // namespace qvx::Filters::JBIG2
