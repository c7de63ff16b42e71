#pragma once
// Advance widths (1/1000 em) of the standard 14 fonts by glyph name, sorted by name bytes.

#include <cstddef>

namespace qvx::PDF::Std14Data {
struct Width {
    const char* name;
    int width;
};
struct Font {
    const char* name;
    const Width* widths;
    std::size_t count;
};
extern const Font kFonts[];
extern const std::size_t kFontCount;
}  // namespace qvx::PDF::Std14Data
