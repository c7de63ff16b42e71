#include "render/ImageDecode.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/ResourceCache.h"
#include "pdf/Resources.h"
#include "pdf/StreamData.h"
#include "render/ColourConvert.h"
#include "sdf/CharClass.h"

namespace qvx::Render {

namespace {

using Common::Limits::kMaxImagePixels;

// Pixels at most of an image surface sized by a mask finer than the image.
constexpr double kMaxFineMaskPixels = 1 << 22;

// The channels of a JPEG 2000 image as its header gives them, 0 when it cannot be read or
// a palette makes them depend on the decoding.
int JPXChannels(const SDF::Obj* stream)
{
    Filters::JPXInfo jpx = PDF::ReadJPXHeader(*stream);
    return jpx.IsValid() && !jpx.HasPalette() ? static_cast<int>(jpx.GetComponentCount()) : 0;
}

// The decoded data of an image stream, or of inline data through the filters its
// dictionary names.
std::optional<Common::Bytes> ImageData(const ImageSource& src, SDF::Obj* dict, std::uint64_t max_bytes)
{
    if (!src.info->is_inline || dict != src.info->dict) return PDF::ReadDecoded(dict, max_bytes);
    Common::ByteView data = src.inline_data;
    // JPEG data opens with its start marker: white space before it is the rest of the line
    // ending after ID (CR LF where one byte was expected), skipped as viewers skip it.
    const auto& filters = src.info->filters;
    if (!filters.empty() && filters.front() == "DCTDecode")
        while (!data.empty() && SDF::CharClass::IsWhite(data.front())) data = data.subspan(1);
    return PDF::ReadDecodedInline(*dict, data, max_bytes);
}

// Samples of bpc bits unpacked per row (rows start on byte boundaries).
class Samples {
public:
    Samples(const Common::Bytes& data, long width, int comps, int bpc)
        : m_data(data), m_row_bytes((static_cast<std::size_t>(width) * comps * bpc + 7) / 8), m_bpc(bpc) {}
    unsigned At(long row, std::size_t index) const
    {
        std::size_t base = static_cast<std::size_t>(row) * m_row_bytes;
        if (m_bpc == 8) {
            std::size_t k = base + index;
            return k < m_data.size() ? m_data[k] : 0;
        }
        if (m_bpc == 16) {
            std::size_t k = base + 2 * index;
            return k + 1 < m_data.size() ? (m_data[k] << 8 | m_data[k + 1]) : 0;
        }
        std::size_t bit = index * m_bpc;
        std::size_t k = base + bit / 8;
        if (k >= m_data.size()) return 0;
        return (m_data[k] >> (8 - m_bpc - bit % 8)) & ((1u << m_bpc) - 1);
    }
    std::size_t RowBytes() const { return m_row_bytes; }

private:
    const Common::Bytes& m_data;
    std::size_t m_row_bytes;
    int m_bpc;
};

bool ValidDepth(int bpc) { return bpc == 1 || bpc == 2 || bpc == 4 || bpc == 8 || bpc == 16; }

// A gray plane (soft mask or stencil Mask) resampled to width x height, 0..255.
std::vector<std::uint8_t> MaskPlane(const ImageSource& src, SDF::Obj* stream, long width, long height, bool stencil,
                                    std::uint64_t& pixels)
{
    PDF::ImageInfo mi = PDF::ImageInfo::Read(stream, false);
    int bpc = stencil ? 1 : mi.bits_per_component;
    if (mi.width <= 0 || mi.height <= 0 || !ValidDepth(bpc) ||
        static_cast<std::uint64_t>(mi.width) * mi.height > kMaxImagePixels)
        return {};
    auto data = ImageData(src, mi.dict, (static_cast<std::uint64_t>(mi.width) * bpc + 7) / 8 * mi.height);
    if (!data) return {};
    pixels += static_cast<std::uint64_t>(mi.width) * mi.height;
    double d0 = 0, d1 = 1;
    if (mi.decode && mi.decode->Size() >= 2) d0 = PDF::NumberAt(mi.decode, 0, 0), d1 = PDF::NumberAt(mi.decode, 1, 1);
    Samples s(*data, mi.width, 1, bpc);
    double maxv = (1 << bpc) - 1;
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(width) * height);
    for (long y = 0; y < height; ++y) {
        long sy = y * mi.height / height;
        for (long x = 0; x < width; ++x) {
            long sx = x * mi.width / width;
            double v = d0 + s.At(sy, sx) / maxv * (d1 - d0);
            // A stencil Mask paints where its (decoded) sample is 0.
            if (stencil) v = v >= 0.5 ? 0 : 1;
            plane[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 1.0) * 255 + 0.5);
        }
    }
    return plane;
}

cairo_surface_t* StencilSurface(const Common::Bytes& data, const PDF::ImageInfo& info)
{
    bool invert = info.decode && info.decode->Size() >= 1 && PDF::NumberAt(info.decode, 0, 0) >= 0.5;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, static_cast<int>(info.width), static_cast<int>(info.height));
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    std::uint8_t* out = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    Samples smp(data, info.width, 1, 1);
    for (long y = 0; y < info.height; ++y) {
        std::uint8_t* row = out + static_cast<std::size_t>(y) * stride;
        for (long x = 0; x < info.width; ++x) {
            bool bit = smp.At(y, x);
            // Sample 0 paints, unless Decode is [1 0].
            row[x] = (bit == invert) ? 255 : 0;
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

}  // namespace

cairo_surface_t* DecodeImage(const ImageSource& src, std::uint64_t& pixels)
{
    const PDF::ImageInfo& info = *src.info;
    if (!info.dict || info.width <= 0 || info.height <= 0 || info.width > 1 << 24 || info.height > 1 << 24 ||
        static_cast<std::uint64_t>(info.width) * info.height > kMaxImagePixels)
        return nullptr;
    pixels += static_cast<std::uint64_t>(info.width) * info.height;
    bool jpx = std::find(info.filters.begin(), info.filters.end(), "JPXDecode") != info.filters.end();
    if (info.image_mask) {
        auto data = ImageData(src, info.dict, (static_cast<std::uint64_t>(info.width) + 7) / 8 * info.height);
        return data ? StencilSurface(*data, info) : nullptr;
    }
    std::shared_ptr<const PDF::ColorSpace> cs;
    try {
        if (SDF::Obj* c = PDF::Deref(info.color_space)) cs = WithDefault(src.cache->GetColorSpace(c, src.resources), src.resources, *src.cache);
    } catch (...) {
        return nullptr;
    }
    if (cs && cs->GetFamily() == PDF::ColorSpace::e_pattern) return nullptr;
    int bpc = info.bits_per_component;
    int comps = cs ? cs->GetComponentCount() : 0;
    std::uint64_t pixel_count = static_cast<std::uint64_t>(info.width) * info.height;
    std::optional<Common::Bytes> data;
    if (jpx) {
        // JPEG 2000 data carries its own depth and components; the decoded size tells them.
        data = ImageData(src, info.dict, pixel_count * 4 * 2);
        if (!data || data->empty()) return nullptr;
        std::uint64_t per_pixel = data->size() / pixel_count;
        if (!comps || info.smask_in_data) {
            int n = per_pixel >= 8 ? static_cast<int>(per_pixel / 2) : static_cast<int>(per_pixel);
            if (!comps) comps = n == 4 ? 4 : n >= 3 ? 3 : 1;
        }
        // Samples below a byte (an Indexed image's 4-bit indices) come packed in rows at
        // the image's own BitsPerComponent.
        int declared = info.bits_per_component;
        bool packed = declared > 0 && declared < 8 &&
                      data->size() == (static_cast<std::uint64_t>(info.width) * comps * declared + 7) / 8 * info.height;
        // The header's channel count tells 16-bit samples from 8-bit ones with an extra
        // channel (grey and opacity), which the size alone does not.
        const int channels = info.is_inline ? 0 : JPXChannels(info.dict);
        const bool wide = channels > 0 && per_pixel % static_cast<std::uint64_t>(channels) == 0
                              ? per_pixel / static_cast<std::uint64_t>(channels) >= 2
                              : per_pixel >= 2u * comps;
        bpc = packed ? declared : wide ? 16 : 8;
        if (!cs) cs = PDF::ColorSpace::Device(comps == 4 ? PDF::ColorSpace::e_device_cmyk : comps == 3 ? PDF::ColorSpace::e_device_rgb : PDF::ColorSpace::e_device_gray);
    }
    if (!cs || comps < 1 || comps > Common::Limits::kMaxColorComponents || !ValidDepth(bpc)) return nullptr;
    if (!jpx) {
        data = ImageData(src, info.dict, (static_cast<std::uint64_t>(info.width) * comps * bpc + 7) / 8 * info.height);
        if (!data || data->empty()) return nullptr;
    }
    // Each component through Decode, as a table of every sample value.
    bool indexed = cs->GetFamily() == PDF::ColorSpace::e_indexed;
    int maxv = (1 << bpc) - 1;
    std::vector<float> table;
    int levels = bpc == 16 ? 256 : maxv + 1;
    int shift = bpc == 16 ? 8 : 0;
    table.resize(static_cast<std::size_t>(levels) * comps);
    for (int c = 0; c < comps; ++c) {
        double d0 = 0, d1 = indexed ? maxv : 1;
        if (cs->GetFamily() == PDF::ColorSpace::e_lab) {
            static const double lo[3] = {0, -100, -100}, hi[3] = {100, 100, 100};
            d0 = lo[std::min(c, 2)], d1 = hi[std::min(c, 2)];
            if (SDF::Obj* range = PDF::FindArray(PDF::Deref(cs->GetSDFObj()->GetAt(1)), "Range"); range && c > 0)
                d0 = PDF::NumberAt(range, 2 * c - 2, d0), d1 = PDF::NumberAt(range, 2 * c - 1, d1);
        }
        if (info.decode && info.decode->Size() >= 2u * comps)
            d0 = PDF::NumberAt(info.decode, 2 * c, d0), d1 = PDF::NumberAt(info.decode, 2 * c + 1, d1);
        for (int v = 0; v < levels; ++v) {
            double s = bpc == 16 ? v / 255.0 : static_cast<double>(v) / maxv;
            table[static_cast<std::size_t>(v) * comps + c] = static_cast<float>(d0 + s * (d1 - d0));
        }
    }
    // Colour-key masking compares raw samples with the ranges of the Mask array.
    std::vector<int> key;
    if (SDF::Obj* m = PDF::Deref(info.mask); m && m->IsArray() && m->Size() >= 2u * comps)
        for (int i = 0; i < 2 * comps; ++i) key.push_back(static_cast<int>(PDF::NumberAt(m, i, 0)));
    // A mask finer than the image sizes the surface (up to a cap), the image's samples
    // repeated over it, so that the mask's detail is kept.
    SDF::Obj* mask = info.smask ? PDF::Deref(info.smask) : PDF::Deref(info.mask);
    if (mask && !mask->IsStream()) mask = nullptr;
    long ow = info.width, oh = info.height;
    if (mask) {
        PDF::ImageInfo mi = PDF::ImageInfo::Read(mask, false);
        ow = std::max(ow, mi.width), oh = std::max(oh, mi.height);
        double over = static_cast<double>(ow) * oh / kMaxFineMaskPixels;
        if (over > 1) {
            ow = std::max(info.width, static_cast<long>(ow / std::sqrt(over)));
            oh = std::max(info.height, static_cast<long>(oh / std::sqrt(over)));
        }
    }
    std::vector<std::uint8_t> alpha;
    if (mask) alpha = MaskPlane(src, mask, ow, oh, !info.smask, pixels);
    if (alpha.empty()) ow = info.width, oh = info.height;

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(ow), static_cast<int>(oh));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    std::uint8_t* out = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    // JPEG 2000 data may hold more channels than the colour space takes: the first extra one
    // is the alpha when SMaskInData asks for it; otherwise readers skip them.
    int stored = comps;
    if (jpx && bpc >= 8 && data->size() / pixel_count > static_cast<std::size_t>(comps) * (bpc / 8))
        stored = static_cast<int>(data->size() / pixel_count / static_cast<std::size_t>(bpc / 8));
    const bool opacity = stored > comps && info.smask_in_data;
    Samples smp(*data, info.width, stored, bpc);
    // Gray and RGB samples that the colour conversion passes through become their bytes
    // here, by a table of every sample value, instead of a conversion per pixel.
    const bool through = src.colours->PassesThrough(cs.get());
    std::vector<std::uint8_t> bytes;
    if (through)
        for (float v : table) bytes.push_back(ColourConvert::ToByte(v));
    std::vector<float> row_in(through ? 0 : static_cast<std::size_t>(ow) * comps);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(ow) * 3);
    std::vector<int> raw(comps);
    std::vector<long> column(static_cast<std::size_t>(ow));
    for (long x = 0; x < ow; ++x) column[static_cast<std::size_t>(x)] = x * info.width / ow;
    for (long y = 0; y < oh; ++y) {
        auto* dst = reinterpret_cast<std::uint32_t*>(out + static_cast<std::size_t>(y) * stride);
        long sy = y * info.height / oh;
        for (long x = 0; x < ow; ++x) {
            std::size_t sx = static_cast<std::size_t>(column[static_cast<std::size_t>(x)]);
            if (through) {
                for (int c = 0; c < comps; ++c) {
                    unsigned v = smp.At(sy, sx * stored + c);
                    raw[c] = static_cast<int>(v);
                    rgb[3 * static_cast<std::size_t>(x) + c] = bytes[static_cast<std::size_t>(v >> shift) * comps + c];
                }
                if (comps == 1) rgb[3 * x + 1] = rgb[3 * x + 2] = rgb[3 * x];
            } else {
                for (int c = 0; c < comps; ++c) {
                    unsigned v = smp.At(sy, sx * stored + c);
                    raw[c] = static_cast<int>(v);
                    row_in[static_cast<std::size_t>(x) * comps + c] = table[static_cast<std::size_t>(v >> shift) * comps + c];
                }
            }
            std::uint8_t a = 255;
            if (!alpha.empty()) a = alpha[static_cast<std::size_t>(y) * ow + x];
            if (opacity) a = static_cast<std::uint8_t>(smp.At(sy, sx * stored + comps) >> shift);
            if (!key.empty()) {
                bool inside = true;
                for (int c = 0; c < comps && inside; ++c) inside = raw[c] >= key[2 * c] && raw[c] <= key[2 * c + 1];
                if (inside) a = 0;
            }
            dst[x] = static_cast<std::uint32_t>(a) << 24;
        }
        if (!through) src.colours->RowToRGB(cs.get(), row_in.data(), static_cast<std::size_t>(ow), rgb.data());
        for (long x = 0; x < ow; ++x) {
            std::uint32_t a = dst[x] >> 24;
            auto pm = [a](std::uint32_t v) { return (v * a + 127) / 255; };
            dst[x] |= pm(rgb[3 * x]) << 16 | pm(rgb[3 * x + 1]) << 8 | pm(rgb[3 * x + 2]);
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

}  // namespace qvx::Render
