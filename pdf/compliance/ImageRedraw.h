#pragma once
// Images that conversion draws anew, so that they keep their look once a key they depend
// on has to go.
// - PDF/A-1 has no soft masks. Taken off alone, the parts of an image its mask hid show
//   again (often black or noise); so the image is first drawn over white with its mask
//   applied, which keeps its look wherever it lies on the page's white.
// - No level allows Interpolate. A small image drawn large (a colour ramp, a logo) then
//   shows its pixels as blocks where viewers had smoothed them; so it is first enlarged
//   with that smoothing, up to what its largest use on a page shows.

#include <map>
#include <vector>

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// Collected by the page checks and handled after the page walk, when no reader holds the
// images' old entries any more.
class ImagesToRedraw {
public:
    // The image loses its soft mask (SMask, SMaskInData).
    void WithoutSoftMask(SDF::Obj* image) { Entry(image).soft_mask = true; }
    // The image loses Interpolate; drawn with pixels per image sample as given (at the
    // resolution that counts as drawn large).
    void Smoothed(SDF::Obj* image, double pixels_per_sample);

    struct Redraw {
        bool soft_mask = false;
        double magnified = 0;
    };
    const std::vector<std::pair<SDF::Obj*, Redraw>>& List() const { return m_list; }

private:
    Redraw& Entry(SDF::Obj* image);

    std::vector<std::pair<SDF::Obj*, Redraw>> m_list;
    std::map<const SDF::Obj*, std::size_t> m_index;
};

// Each collected image drawn anew where it can be read (8-bit ICC-based sRGB, Flate); then
// the soft masks go (SMask, SMaskInData, and Mask with a redrawn image).
void RedrawImages(PassContext& ctx);

}  // namespace qvx::PDF
