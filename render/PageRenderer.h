#pragma once
// Pages drawn into bitmaps through cairo, as pdftoppm draws them.
//
// The page is its MediaBox, as pdftoppm draws it by default (its -cropbox option aside).
//
//     Render::RenderOptions opt;
//     opt.dpi = 150;
//     Render::RenderResult r = Render::RenderPage(doc, page, opt);
//     // r.bitmap.data: r.bitmap.height rows of width * channels bytes
//
// Damaged content, missing resources and unreadable fonts or images are skipped: what can
// be drawn is drawn and `complete` says whether anything was left out.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "pdf/Geometry.h"
#include "pdf/ICCProfile.h"
#include "pdf/Page.h"
#include "sdf/SDFDoc.h"

namespace qvx::Render {

class ImageCache;

struct Bitmap {                        // rows top to bottom
    int width = 0, height = 0;
    int channels = 3;                  // 3: RGB; 4: RGBA, straight (not premultiplied) alpha
    std::vector<std::uint8_t> data;    // width * channels bytes per row, no padding

    const std::uint8_t* Pixel(int x, int y) const { return data.data() + (static_cast<std::size_t>(y) * width + x) * channels; }
};

// The drawing while it is under way (cairo's premultiplied ARGB32 rows, stride bytes
// apart), as it would come out if drawing stopped there.
struct Snapshot {
    const std::uint8_t* data = nullptr;
    int width = 0, height = 0, stride = 0;

    // Pixels x0 <= x < x1, y0 <= y < y1 (clamped to the drawing), RGB on white paper.
    Bitmap Crop(int x0, int y0, int x1, int y1) const;
};

struct RenderOptions {
    double dpi = 72;
    bool annotations = true;           // draw the normal appearances of visible annotations
    bool alpha = false;                // RGBA over a transparent backdrop instead of RGB over white
    // When set: draw only this rectangle of default user space (unrotated, ignoring the page
    // boxes and Rotate), y up as in PDF; the bitmap's top-left pixel is (region.x1, region.y2).
    std::optional<PDF::Rect> region;
    // The profile DeviceCMYK colours are printed with when the document names none in its
    // output intents (null: a fixed formula). Lets two versions of a file be drawn alike.
    std::shared_ptr<const PDF::ICCProfile> cmyk;
    // Decoded images shared with other drawings (null: each drawing decodes its own).
    ImageCache* images = nullptr;
    // Offsets in the page's content (its streams joined as the element reader joins them),
    // ascending: at_stop(i, drawing) is called when the drawing reaches the first element of
    // the page's own content at or after stops[i], or the content's end; annotations come
    // after every stop.
    std::vector<std::size_t> stops;
    std::function<void(std::size_t, const Snapshot&)> at_stop;
};

struct RenderResult {
    Bitmap bitmap;
    double dpi = 72;                   // the resolution actually used (lower when the size cap was reached)
    bool capped = false;               // resolution lowered to stay under the bitmap size cap
    bool complete = true;              // false when something could not be drawn (damaged content, work cap)
};

// The profile DeviceCMYK colours of doc are printed with: the first four-component
// destination profile among its output intents, null when it has none.
std::shared_ptr<const PDF::ICCProfile> CmykIntent(SDF::SDFDoc& doc);

// Draws one page as pdftoppm does (its MediaBox turned by Rotate), or options.region.
RenderResult RenderPage(SDF::SDFDoc& doc, const PDF::Page& page, const RenderOptions& options);

// The pixel size pdftoppm gives a page at a resolution (MediaBox, Rotate applied).
void PagePixelSize(const PDF::Page& page, double dpi, int& width, int& height);

}  // namespace qvx::Render
