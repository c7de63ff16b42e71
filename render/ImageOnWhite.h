#pragma once
// An image XObject as it shows on a white page: its samples through its colour space into
// sRGB, with its soft mask (SMask, SMaskInData) or mask applied against white. For repairs
// that must take a soft mask away yet keep the image's look where it lies on the page's
// white.

#include <optional>

#include "render/PageRenderer.h"

namespace qvx::PDF {
class ResourceCache;
}

namespace qvx::Render {

class ColourConvert;

// Null when the image cannot be read, is a stencil mask, or is larger than the renderer
// decodes. colours: the document's, made with its CMYK intent (CmykIntent), kept across
// images so that each profile is read once.
std::optional<Bitmap> DrawImageOnWhite(SDF::Obj* image, PDF::ResourceCache& cache, ColourConvert& colours);

}  // namespace qvx::Render
