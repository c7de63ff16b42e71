#include "render/CairoApi.h"

namespace qvx::Render {

const CairoApi& Cairo() { QVX_SHARED_LIBRARY_TABLE(CairoApi, QVX_CAIRO_FUNCTIONS, "libcairo.so.2", "libcairo.so"); }

}  // namespace qvx::Render
