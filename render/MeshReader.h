#pragma once
// Mesh shadings (free-form and lattice triangles, Coons and tensor patches) read from their
// stream data into a cairo mesh pattern in shading space.

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

// Null when the data holds no complete triangle or patch.
cairo_pattern_t* MeshPattern(SDF::Obj* shading, int type, const PDF::ColorSpace* cs, const FunctionEval* function,
                             double alpha, ColourConvert& colours);

}  // namespace qvx::Render
