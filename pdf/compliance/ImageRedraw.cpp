#include "pdf/compliance/ImageRedraw.h"

#include <algorithm>
#include <cmath>

#include "pdf/ResourceCache.h"
#include "pdf/compliance/ColourRepair.h"
#include "render/ColourConvert.h"
#include "render/ImageOnWhite.h"
#include "sdf/Objects.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

namespace {

// An enlarged image has at most this many pixels on its longer side, and is enlarged only
// when its samples would show as blocks of at least this many pixels.
constexpr int kMaxSmoothedSide = 1024;
constexpr double kBlockPixels = 3;

// Bilinear enlargement by factor, sample centres kept where they were.
Render::Bitmap Enlarge(const Render::Bitmap& in, int factor)
{
    Render::Bitmap out;
    out.width = in.width * factor;
    out.height = in.height * factor;
    out.channels = 3;
    out.data.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    std::uint8_t* dst = out.data.data();
    for (int y = 0; y < out.height; ++y) {
        const double fy = std::clamp((y + 0.5) / factor - 0.5, 0.0, in.height - 1.0);
        const int y0 = static_cast<int>(fy), y1 = std::min(y0 + 1, in.height - 1);
        const double ty = fy - y0;
        for (int x = 0; x < out.width; ++x) {
            const double fx = std::clamp((x + 0.5) / factor - 0.5, 0.0, in.width - 1.0);
            const int x0 = static_cast<int>(fx), x1 = std::min(x0 + 1, in.width - 1);
            const double tx = fx - x0;
            for (int c = 0; c < 3; ++c) {
                const double top = in.Pixel(x0, y0)[c] * (1 - tx) + in.Pixel(x1, y0)[c] * tx;
                const double bottom = in.Pixel(x0, y1)[c] * (1 - tx) + in.Pixel(x1, y1)[c] * tx;
                *dst++ = static_cast<std::uint8_t>(std::lround(top * (1 - ty) + bottom * ty));
            }
        }
    }
    return out;
}

bool DrawAnew(PassContext& ctx, SDF::Obj* image, const ImagesToRedraw::Redraw& how, Render::ColourConvert& colours)
{
    std::optional<Render::Bitmap> drawn;
    try {
        drawn = Render::DrawImageOnWhite(image, ctx.caches.Get<ResourceCache>(), colours);
    } catch (const std::exception&) {
        return false;
    }
    if (!drawn || drawn->channels != 3) return false;
    const int side = std::max(drawn->width, drawn->height);
    const int factor = std::min(static_cast<int>(how.magnified / kBlockPixels), kMaxSmoothedSide / std::max(side, 1));
    if (factor >= 2) *drawn = Enlarge(*drawn, factor);
    else if (!how.soft_mask) return false;
    for (const char* key : {"Decode", "DecodeParms", "Filter", "Intent", "Mask"}) image->Erase(key);
    image->PutNumber("Width", drawn->width);
    image->PutNumber("Height", drawn->height);
    image->PutNumber("BitsPerComponent", 8);
    image->Put("ColorSpace", ProfileSpace(ctx, ColorSpace::e_device_rgb));
    image->SetStreamData(SDF::FlateBytes(drawn->data));
    image->PutName("Filter", "FlateDecode");
    return true;
}

}  // namespace

void ImagesToRedraw::Smoothed(SDF::Obj* image, double pixels_per_sample)
{
    Redraw& r = Entry(image);
    r.magnified = std::max(r.magnified, pixels_per_sample);
}

ImagesToRedraw::Redraw& ImagesToRedraw::Entry(SDF::Obj* image)
{
    auto [it, fresh] = m_index.emplace(image, m_list.size());
    if (fresh) m_list.push_back({image, {}});
    return m_list[it->second].second;
}

void RedrawImages(PassContext& ctx)
{
    const std::vector<std::pair<SDF::Obj*, ImagesToRedraw::Redraw>> images = ctx.caches.Get<ImagesToRedraw>().List();
    ctx.caches.Drop<ImagesToRedraw>();
    if (images.empty()) return;
    Render::ColourConvert colours(Render::CmykIntent(ctx.doc));
    bool changed = false;
    for (const auto& [image, how] : images) {
        if (ctx.Stopped()) break;
        // A masked image cannot be drawn over white without changing what shows around it,
        // unless its soft mask goes anyway.
        const bool masked = image->FindObj("Mask") || image->FindObj("SMask") || image->FindObj("SMaskInData");
        if (how.soft_mask || !masked) changed |= DrawAnew(ctx, image, how, colours);
        if (!how.soft_mask) continue;
        image->Erase("SMask");
        image->Erase("SMaskInData");
        changed = true;
    }
    // The cache may hold what it read of the images before they changed.
    if (changed) ctx.caches.Drop<ResourceCache>();
}

}  // namespace qvx::PDF
