#include "pdf/FontLibraries.h"

namespace qvx::PDF {

const FontconfigApi& Fontconfig()
{
    QVX_SHARED_LIBRARY_TABLE(FontconfigApi, QVX_FONTCONFIG_FUNCTIONS, "libfontconfig.so.1", "libfontconfig.so");
}

// The subsetter's library brings the shaping library it is built on; its symbols are found
// through it.
const HarfBuzzApi& HarfBuzz()
{
    QVX_SHARED_LIBRARY_TABLE(HarfBuzzApi, QVX_HARFBUZZ_FUNCTIONS, "libharfbuzz-subset.so.0", "libharfbuzz-subset.so");
}

}  // namespace qvx::PDF
