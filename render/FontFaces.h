#pragma once
// Cairo font faces for the fonts text is shown with: the embedded program opened with
// FreeType, or a system substitute (the URW base35 fonts for the standard 14, else the
// fontconfig match for the font's name and style), and the glyph each code draws.

#include "render/CairoApi.h"
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>

#include "pdf/Font.h"

namespace qvx::Render {

class FontFaces {
public:
    FontFaces();
    ~FontFaces();
    FontFaces(const FontFaces&) = delete;
    FontFaces& operator=(const FontFaces&) = delete;

    struct Face {
        cairo_font_face_t* face = nullptr;  // null: the font cannot be drawn
        void* ft = nullptr;                 // the FT_Face behind it
        bool substitute = false;            // a system font stands in for the font
        bool embedded_damaged = false;      // an embedded program FreeType cannot open
        double width_scale = 1;             // horizontal scale of a substitute's glyphs
        // Glyphs already looked up, by code: a substitute's lookup by glyph name scans the
        // names of the whole program.
        mutable std::unordered_map<std::uint64_t, unsigned> glyphs;
    };
    const Face& Get(const PDF::Font& font);
    // The glyph of a code in the face (0 when it has none).
    unsigned Glyph(const Face& face, const PDF::Font& font, const PDF::Font::CharCode& code);
    // A substitute's advance of a glyph in thousandths of an em (0 when unknown).
    double Advance(const Face& face, unsigned glyph);

private:
    Face Open(const PDF::Font& font);
    unsigned LookUpGlyph(const Face& face, const PDF::Font& font, const PDF::Font::CharCode& code);

    std::map<const PDF::Font*, Face> m_faces;
};

}  // namespace qvx::Render
