#pragma once
// The per-stream state of the element reader (private to its implementation files).

#include <utility>
#include <vector>

#include "pdf/ElementReader.h"

namespace qvx::PDF {

struct ElementReader::Frame {
    Common::Bytes data;                 // decoded content (empty when the caller holds it)
    ContentLexer lexer{Common::ByteView()};
    Resources resources;
    // Start offset of each content stream in the data (a page has several).
    std::vector<std::pair<std::size_t, SDF::Obj*>> streams;
    SDF::Obj* entered = nullptr;        // the stream entered (form, pattern, glyph, appearance)
    SDF::Obj* resources_owner = nullptr;  // what holds the entered stream's Resources
    std::size_t saved_base = 0;         // q stack size at entry
    GState entry_state;
    // The entered stream's own space at entry (its Matrix applied), in the walk's user space.
    Matrix space;
    Matrix tm, tlm;
    int depth = 0;                      // q nesting in this stream
    int compat = 0;                     // BX nesting
};

}  // namespace qvx::PDF
