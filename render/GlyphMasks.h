#pragma once
// Filled glyphs at small sizes drawn from coverage masks kept for the page: scan-converting a
// glyph's outline each time it is shown costs far more than adding up the coverage it had
// the first time. A mask is kept per face, glyph, map of glyph space to the device (its 2x2
// part) and quarter pixel of the origin's column; filled text has its origin's row on a
// whole pixel, so the masks give the pixels the outlines would, to rounding. A clip edge
// inside a pixel weighs the coverage of that pixel instead of cutting the outline.

#include <array>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "common/Limits.h"
#include "render/CairoApi.h"

namespace qvx::Render {

// Glyph outlines as they are: no hinting, no metrics rounded to pixels.
void SetOutlineFontOptions(cairo_t* cr);

class GlyphMasks {
public:
    explicit GlyphMasks(std::uint64_t max_bytes = Common::Limits::kMaxGlyphMaskBytes);
    ~GlyphMasks();
    GlyphMasks(const GlyphMasks&) = delete;
    GlyphMasks& operator=(const GlyphMasks&) = delete;

    // Fills glyphs of face with the source, operator and clip of cr as one shape. glyphs:
    // origins in device space, x on quarter pixels and y on whole pixels; scale: glyph space
    // to the device, without translation. Glyphs without a mask (a size or shape too large
    // for one, or ink overlapping another glyph's) stay in glyphs, for the caller to fill
    // by their outlines; the others leave.
    void Fill(cairo_t* cr, cairo_font_face_t* face, const cairo_matrix_t& scale, std::vector<cairo_glyph_t>& glyphs);
    // Bytes held by the masks kept (at most the bound given).
    std::uint64_t Bytes() const { return m_bytes; }

private:
    struct Mask {
        cairo_surface_t* surface = nullptr;  // null: the glyph covers no pixel
        int x = 0, y = 0;                    // its corner from the origin's whole pixel
        int width = 0, height = 0;
        bool outline = false;                // too large: filled by its outline
    };
    // Glyphs of one face at one scale, by glyph and quarter pixel.
    struct Strike {
        std::unordered_map<std::uint64_t, Mask> glyphs;
        // Runs of the strike combined, and those whose glyphs overlapped: a face that joins
        // its glyphs is filled by its outlines without trying its masks each time.
        unsigned runs = 0, overlapping = 0;
    };
    using StrikeKey = std::pair<cairo_font_face_t*, std::array<double, 4>>;
    // Masks placed on the device for one combined mask: their corners and its bounds.
    struct Run {
        struct Placed {
            Mask mask;  // with a reference of the run's own to its surface
            int x, y;   // its corner on the device
            cairo_glyph_t glyph;
        };
        std::vector<Placed> placed;
        int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        std::uint64_t bytes = 0;  // of the masks placed
    };

    const Mask& Find(Strike& strike, const StrikeKey& key, unsigned glyph, int quarter);
    Mask Draw(const StrikeKey& key, unsigned glyph, int quarter);
    // Adds the masks' coverage into one A8 mask of the run's bounds and paints through it;
    // glyphs whose ink overlaps go to outlines instead (see the .cpp).
    // False when they overlapped.
    bool Flush(cairo_t* cr, Run& run, std::vector<cairo_glyph_t>& outlines);
    // Forgets every mask, and every strike but keep.
    void Clear(const StrikeKey& keep);

    std::uint64_t m_max_bytes;
    std::uint64_t m_bytes = 0;
    std::map<StrikeKey, Strike> m_strikes;
    cairo_surface_t* mp_probe_surface = nullptr;
    cairo_t* mp_probe = nullptr;  // where outlines are measured
};

}  // namespace qvx::Render
