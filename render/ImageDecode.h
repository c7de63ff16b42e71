#pragma once
// Image XObjects and inline images decoded into cairo surfaces: samples through the
// Decode array and the colour space into premultiplied ARGB, with SMask, Mask (stencil or
// colour key) and SMaskInData alpha; stencil masks (ImageMask) into A8.

#include "render/CairoApi.h"
#include <cstdint>

#include "common/Buffer.h"
#include "pdf/Image.h"

namespace qvx::PDF {
class ResourceCache;
class Resources;
}

namespace qvx::Render {

class ColourConvert;

struct ImageSource {
    const PDF::ImageInfo* info;
    Common::ByteView inline_data;        // the data of an inline image (still encoded)
    const PDF::Resources* resources;     // for named colour spaces of inline images
    PDF::ResourceCache* cache;
    ColourConvert* colours;
};

// The image as an ARGB32 surface (an A8 surface for a stencil mask), null when it cannot be
// read. pixels: added to with the samples decoded, for the work cap.
cairo_surface_t* DecodeImage(const ImageSource& src, std::uint64_t& pixels);

}  // namespace qvx::Render
