#pragma once
// The text a page shows, in content order, decoded through ToUnicode and the encodings:
// glyphs are grouped into words by their placement (a gap wider than a fraction of the
// font size, or a move off the line, starts a new word), words on one line are separated
// by spaces and lines by newlines. Text inside form XObjects is included, and then the
// text of the visible annotations' normal appearances.

#include <string>

#include "pdf/Page.h"
#include "pdf/ResourceCache.h"

namespace qvx::PDF {

struct TextStats {
    std::size_t glyphs = 0;     // glyphs shown
    std::size_t unmapped = 0;   // glyphs without a Unicode mapping (printable ASCII codes of
                                // simple fonts then stand for themselves, others are left out)
};

// UTF-8 text of the page. cache may be shared across pages.
std::string ExtractText(const Page& page, ResourceCache& cache, TextStats* stats = nullptr);

}  // namespace qvx::PDF
