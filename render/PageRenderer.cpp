#include "render/PageRenderer.h"

#include <algorithm>
#include "render/CairoApi.h"
#include <cmath>
#include <cstring>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>

#include "common/Exception.h"
#include "common/Limits.h"
#include "pdf/Annot.h"
#include "pdf/AnnotAppearance.h"
#include "pdf/AppearanceWriter.h"
#include "pdf/ICCProfile.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageContent.h"
#include "pdf/ResourceCache.h"
#include "render/ColourConvert.h"
#include "render/ContentDrawer.h"
#include "render/FontFaces.h"
#include "render/ImageCache.h"
#include "render/OptionalContent.h"
#include "sdf/Obj.h"

namespace qvx::Render {

using PDF::Matrix;
using PDF::Rect;

namespace {

// The box drawn: the MediaBox, as pdftoppm draws pages unless told to crop.
Rect VisibleBox(const PDF::Page& page)
{
    return page.GetMediaBox().Normalized();
}

int Pixels(double points, double dpi)
{
    double v = std::ceil(points * (dpi / 72.0));
    return static_cast<int>(std::clamp(v, 1.0, 1e7));
}


// Room for bytes in data, asked of the system in huge pages where it gives them on request:
// a page at 300 dpi is some 8000 small pages otherwise, each faulted in on its own.
void ReserveLarge(std::vector<std::uint8_t>& data, std::size_t bytes)
{
    data.reserve(bytes);
#ifdef MADV_HUGEPAGE
    const long size = sysconf(_SC_PAGESIZE);
    if (size <= 0) return;
    const auto page = static_cast<std::uintptr_t>(size), begin = reinterpret_cast<std::uintptr_t>(data.data());
    const std::uintptr_t first = (begin + page - 1) / page * page, last = (begin + bytes) / page * page;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

// Cairo's premultiplied ARGB32 rows (stride bytes apart) at the start of bitmap.data
// rewritten in place as the bitmap's own rows: RGB, or RGBA with straight alpha. Each pixel
// is written no further on than it was read, so nothing is overwritten before it is read.
void PackPixels(Bitmap& bm, int stride)
{
    std::uint8_t* data = bm.data.data();
    for (int y = 0; y < bm.height; ++y) {
        const std::uint8_t* row = data + static_cast<std::size_t>(y) * stride;
        std::uint8_t* out = data + static_cast<std::size_t>(y) * bm.width * bm.channels;
        if (bm.channels == 3) {
            for (int x = 0; x < bm.width; ++x, row += 4, out += 3) {
                std::uint32_t p;
                std::memcpy(&p, row, 4);
                out[0] = static_cast<std::uint8_t>(p >> 16), out[1] = static_cast<std::uint8_t>(p >> 8), out[2] = static_cast<std::uint8_t>(p);
            }
            continue;
        }
        for (int x = 0; x < bm.width; ++x, row += 4, out += 4) {
            std::uint32_t p;
            std::memcpy(&p, row, 4);
            std::uint32_t a = p >> 24, r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
            // Cairo keeps premultiplied alpha; the bitmap is straight.
            if (a && a < 255) r = (r * 255 + a / 2) / a, g = (g * 255 + a / 2) / a, b = (b * 255 + a / 2) / a;
            out[0] = static_cast<std::uint8_t>(std::min(r, 255u)), out[1] = static_cast<std::uint8_t>(std::min(g, 255u));
            out[2] = static_cast<std::uint8_t>(std::min(b, 255u)), out[3] = static_cast<std::uint8_t>(a);
        }
    }
    bm.data.resize(static_cast<std::size_t>(bm.width) * bm.height * bm.channels);
}

}  // namespace

Bitmap Snapshot::Crop(int x0, int y0, int x1, int y1) const
{
    Bitmap out;
    x0 = std::clamp(x0, 0, width), x1 = std::clamp(x1, x0, width);
    y0 = std::clamp(y0, 0, height), y1 = std::clamp(y1, y0, height);
    out.width = x1 - x0, out.height = y1 - y0, out.channels = 3;
    out.data.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    std::uint8_t* o = out.data.data();
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* row = data + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x0) * 4;
        for (int x = x0; x < x1; ++x, row += 4, o += 3) {
            std::uint32_t p;
            std::memcpy(&p, row, 4);
            // Premultiplied colour over white: what the paper adds where coverage is partial.
            const std::uint32_t white = 255 - (p >> 24);
            o[0] = static_cast<std::uint8_t>(((p >> 16) & 255) + white);
            o[1] = static_cast<std::uint8_t>(((p >> 8) & 255) + white);
            o[2] = static_cast<std::uint8_t>((p & 255) + white);
        }
    }
    return out;
}

namespace {

// Where an appearance goes: its BBox (through Matrix) fitted to the annotation's Rect.
bool AppearancePlacement(SDF::Obj* ap, const Rect& rect, Matrix& out)
{
    Rect bbox;
    if (!PDF::ReadRect(PDF::FindIn(ap, "BBox"), bbox)) return false;
    Matrix m;
    PDF::ReadMatrix(PDF::FindIn(ap, "Matrix"), m);
    double xs[4] = {bbox.x1, bbox.x2, bbox.x2, bbox.x1}, ys[4] = {bbox.y1, bbox.y1, bbox.y2, bbox.y2};
    double x1 = 1e300, y1 = 1e300, x2 = -1e300, y2 = -1e300;
    for (int i = 0; i < 4; ++i) {
        m.Apply(xs[i], ys[i]);
        x1 = std::min(x1, xs[i]), x2 = std::max(x2, xs[i]), y1 = std::min(y1, ys[i]), y2 = std::max(y2, ys[i]);
    }
    if (!(x2 - x1 > 1e-9) || !(y2 - y1 > 1e-9)) return false;
    double sx = rect.Width() / (x2 - x1), sy = rect.Height() / (y2 - y1);
    out = Matrix{sx, 0, 0, sy, rect.x1 - x1 * sx, rect.y1 - y1 * sy};
    return true;
}

// A link shows its border over its appearance, as pdftoppm and Acrobat draw it: the Rect
// stroked in the colour C (black when absent) with the width of BS or Border (1 when absent).
void DrawLinkBorder(cairo_t* cr, RenderContext& ctx, const PDF::Annot& link, const Rect& rect, const Matrix& base)
{
    SDF::Obj* dict = link.GetSDFObj();
    const double width = PDF::BorderWidth(link);
    if (!std::isfinite(width) || width <= 0) return;
    std::ostringstream content;
    content.imbue(std::locale::classic());
    content.precision(10);
    SDF::Obj* c = PDF::FindArray(dict, "C");
    std::size_t n = c ? c->Size() : 1;
    if (n == 0) return;  // transparent
    for (std::size_t i = 0; i < n && c; ++i) content << PDF::NumberAt(c, i, 0) << ' ';
    content << (!c ? "0 G " : n == 4 ? "K " : n == 3 ? "RG " : "G ");
    content << width << " w " << rect.x1 << ' ' << rect.y1 << ' ' << rect.Width() << ' ' << rect.Height() << " re S";
    ContentDrawer drawer(cr, ctx, base);
    drawer.DrawContent(content.str());
}

void DrawAnnotations(cairo_t* cr, RenderContext& ctx, const PDF::Page& page, const Matrix& base)
{
    std::size_t n = PDF::Annot::Count(page);
    for (std::size_t i = 0; i < n && !ctx.OverBudget(); ++i) {
        PDF::Annot a = PDF::Annot::At(page, i);
        if (!a.IsValid() || a.HasFlag(PDF::Annot::e_hidden) || a.HasFlag(PDF::Annot::e_no_view)) continue;
        if (a.GetType() == PDF::Annot::e_Popup || !ctx.oc.Visible(PDF::FindIn(a.GetSDFObj(), "OC"))) continue;
        SDF::Obj* ap = a.GetAppearance();
        std::optional<Rect> rect = a.GetRect();
        // Without an appearance of its own, as viewers draw it from its entries (a form
        // field from its value), in the rectangle the drawing needs where the annotation's
        // has no area. The drawing is added to the document unreferenced.
        if (!ap && !a.GetAppearanceDict()) {
            try {
                PDF::DrawnAppearance drawn = PDF::DrawAppearance(PDF::DocOf(page), a, true);
                // A check box or radio button draws the stream of the state it shows.
                ap = drawn.state.empty() ? drawn.normal : PDF::FindIn(drawn.normal, drawn.state);
                if (drawn.rect) rect = drawn.rect;
            } catch (const Common::Exception&) {
                ctx.complete = false;
            }
        }
        Matrix place;
        if (ap && rect && AppearancePlacement(ap, *rect, place)) {
            cairo_save(cr);
            ContentDrawer drawer(cr, ctx, place.Then(base));
            drawer.DrawForm(ap);
            cairo_restore(cr);
        }
        if (rect && a.GetType() == PDF::Annot::e_Link) DrawLinkBorder(cr, ctx, a, rect->Normalized(), base);
    }
}

}  // namespace

std::shared_ptr<const PDF::ICCProfile> CmykIntent(SDF::SDFDoc& doc)
{
    SDF::Obj* root = nullptr;
    try {
        root = doc.GetRoot();
    } catch (...) {
        return nullptr;
    }
    SDF::Obj* intents = PDF::FindArray(root, "OutputIntents");
    for (std::size_t i = 0; intents && i < std::min<std::size_t>(intents->Size(), 16); ++i) {
        SDF::Obj* profile = PDF::FindStream(PDF::Deref(intents->GetAt(i)), "DestOutputProfile");
        if (!profile) continue;
        auto p = PDF::ICCProfile::FromStream(profile);
        if (p && p->GetComponentCount() == 4) return p;
    }
    return nullptr;
}

void PagePixelSize(const PDF::Page& page, double dpi, int& width, int& height)
{
    Rect box = VisibleBox(page);
    bool turned = page.GetRotation() % 180 != 0;
    width = Pixels(turned ? box.Height() : box.Width(), dpi);
    height = Pixels(turned ? box.Width() : box.Height(), dpi);
}

RenderResult RenderPage(SDF::SDFDoc& doc, const PDF::Page& page, const RenderOptions& options)
{
    RenderResult result;
    double dpi = std::isfinite(options.dpi) && options.dpi > 0 ? std::min(options.dpi, 1e5) : 72;
    Rect box = options.region ? options.region->Normalized() : VisibleBox(page);
    int rotation = options.region ? 0 : page.GetRotation();
    bool turned = rotation % 180 != 0;
    double wpt = std::max(turned ? box.Height() : box.Width(), 1e-3), hpt = std::max(turned ? box.Width() : box.Height(), 1e-3);
    // A bitmap over the caps (pixels in all, pixels on a side) is drawn at the resolution
    // that fits.
    const double max_pixels = static_cast<double>(Common::Limits::kMaxRenderPixels);
    const int max_side = Common::Limits::kMaxRenderSide;
    auto over = [&](double at) {
        return static_cast<double>(Pixels(wpt, at)) * Pixels(hpt, at) > max_pixels ||
               std::max(Pixels(wpt, at), Pixels(hpt, at)) > max_side;
    };
    if (over(dpi)) {
        double pixels = std::ceil(wpt * dpi / 72) * std::ceil(hpt * dpi / 72);
        double side = std::max(std::ceil(wpt * dpi / 72), std::ceil(hpt * dpi / 72));
        double f = std::min(std::sqrt(max_pixels / pixels), max_side / side);
        dpi = std::floor(dpi * f * 1000) / 1000;
        while (over(dpi)) dpi *= 0.99;
        result.capped = true;
    }
    result.dpi = dpi;
    int w = Pixels(wpt, dpi), h = Pixels(hpt, dpi);
    double s = dpi / 72;
    // Default user space to pixels: y flipped, the box's corner at the origin, then turned.
    Matrix base;
    switch (rotation) {
    case 90: base = Matrix{0, s, s, 0, -box.y1 * s, -box.x1 * s}; break;
    case 180: base = Matrix{-s, 0, 0, s, box.x2 * s, -box.y1 * s}; break;
    case 270: base = Matrix{0, -s, -s, 0, box.y2 * s, box.x2 * s}; break;
    default: base = Matrix{s, 0, 0, -s, -box.x1 * s, box.y2 * s}; break;
    }

    // The page is drawn straight into the bitmap's memory, laid out as cairo's ARGB32; its
    // pixels are then packed in place. It is drawn on a transparent backdrop and put on white
    // paper after: blend modes then leave colour alone where nothing lies under it.
    Bitmap& bm = result.bitmap;
    bm.width = w, bm.height = h, bm.channels = options.alpha ? 4 : 3;
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, w);
    ReserveLarge(bm.data, static_cast<std::size_t>(stride) * h);
    bm.data.assign(static_cast<std::size_t>(stride) * h, 0);
    cairo_surface_t* surface = cairo_image_surface_create_for_data(bm.data.data(), CAIRO_FORMAT_ARGB32, w, h, stride);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        // No memory for the drawing: an empty page, marked incomplete.
        cairo_surface_destroy(surface);
        bm.data.assign(static_cast<std::size_t>(w) * h * bm.channels, options.alpha ? 0 : 255);
        result.complete = false;
        return result;
    }
    cairo_t* cr = cairo_create(surface);
    PDF::ResourceCache cache;
    std::shared_ptr<const PDF::ICCProfile> intent = CmykIntent(doc);
    ColourConvert colours(intent ? intent : options.cmyk);
    FontFaces fonts;
    OptionalContent oc(doc);
    // An image drawn again on the page (a form placed many times) is decoded twice at most,
    // and counts once against the work cap, also when the caller keeps no cache across pages.
    ImageCache page_images(64ull << 20, ImageCache::e_one_document);
    {
        RenderContext ctx(cache, colours, fonts, oc);
        ctx.images = options.images ? options.images : &page_images;
        {
            ContentDrawer drawer(cr, ctx, base);
            std::function<void(std::size_t)> at_stop;
            if (options.at_stop)
                at_stop = [&](std::size_t i) { options.at_stop(i, Snapshot{bm.data.data(), w, h, stride}); };
            drawer.DrawPage(page, options.stops, at_stop);
        }
        if (options.annotations) DrawAnnotations(cr, ctx, page, base);
        result.complete = ctx.complete && !ctx.OverBudget();
    }
    if (!options.alpha) {
        cairo_identity_matrix(cr);
        cairo_reset_clip(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OVER);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    PackPixels(bm, stride);
    return result;
}

}  // namespace qvx::Render
