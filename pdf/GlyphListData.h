#pragma once
// The Adobe Glyph List with the Zapf Dingbats names, sorted by name bytes.

#include <cstddef>

namespace qvx::PDF::GlyphListData {
struct Entry {
    const char* name;
    char32_t cps[4];  // code points, 0-terminated when fewer than four
};
extern const Entry kEntries[];
extern const std::size_t kCount;
}  // namespace qvx::PDF::GlyphListData
