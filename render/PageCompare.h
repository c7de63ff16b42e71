#pragma once
// How far the pages of one version of a document look from another's: both drawn by the
// page renderer at a low resolution and compared pixel by pixel. Conversion uses it to tell
// which pages of a copy changed their look.
//
//     Render::LookResult r = Render::CompareLook(original, copy, {});
//     for (const Render::PageLook& p : r.changed) ...   // p.page from 1, p.psnr in dB

#include <cstdint>
#include <vector>

#include "common/Buffer.h"
#include "render/PageRenderer.h"
#include "sdf/SDFDoc.h"

namespace qvx::Render {

struct LookOptions {
    double dpi = 36;          // low: enough to see a lost image, colour or annotation, cheap to draw
    double threshold = 30;    // dB; a page below it has changed its look
    // A CMYK profile that draws as DeviceCMYK without an output intent is drawn (conversion
    // builds one): a default CMYK space made of it changes nothing on the page.
    const Common::Bytes* formula_cmyk = nullptr;
};

struct PageLook {
    std::uint32_t page = 0;   // from 1
    double psnr = 0;          // dB; 0 when the page is missing from one side or its size changed
};

struct LookResult {
    std::uint32_t compared = 0;      // pages on both sides, compared
    std::uint32_t drawn = 0;         // of them, pages whose drawing inputs differ, so drawn
    std::uint32_t undrawn = 0;       // pages one side could not draw at all
    std::vector<PageLook> changed;   // pages below the threshold, ascending
};

// Peak signal-to-noise ratio of two RGB bitmaps in dB: infinity when they are equal, 0 when
// their sizes differ.
double PSNR(const Bitmap& a, const Bitmap& b);

// Draws every page of both documents and lists the pages whose look differs. DeviceCMYK in
// `original` is drawn with the copy's CMYK output intent when the original names none, so a
// printing condition the copy gained does not count as a change.
LookResult CompareLook(SDF::SDFDoc& original, SDF::SDFDoc& copy, const LookOptions& options);

}  // namespace qvx::Render
