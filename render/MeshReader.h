#pragma once
// Mesh shadings (free-form and lattice triangles, Coons and tensor patches) read from their
// stream data into a cairo mesh pattern in shading space.

#include <cstddef>

#include "render/CairoApi.h"

namespace qvx::SDF {
class Obj;
}
namespace qvx::PDF {
class ColorSpace;
}

namespace qvx::Render {

class ColourConvert;
class FunctionEval;

// Null when the data holds no complete triangle or patch; patches: how many were read.
cairo_pattern_t* MeshPattern(SDF::Obj* shading, int type, const PDF::ColorSpace* cs, const FunctionEval* function,
                             double alpha, ColourConvert& colours, std::size_t& patches);

}  // namespace qvx::Render
