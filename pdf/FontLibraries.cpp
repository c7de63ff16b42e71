#include "pdf/FontLibraries.h"

#include "common/SharedLibrary.h"

namespace qvx::PDF {

#define QVX_FONT_LIB_LOAD(name) a.fn_##name = reinterpret_cast<decltype(a.fn_##name)>(lib.Symbol(#name));

const FontconfigApi& Fontconfig()
{
    static const FontconfigApi api = [] {
        Common::SharedLibrary lib({"libfontconfig.so.1", "libfontconfig.so"});
        FontconfigApi a;
        QVX_FONTCONFIG_FUNCTIONS(QVX_FONT_LIB_LOAD)
        return a;
    }();
    return api;
}

const HarfBuzzApi& HarfBuzz()
{
    // The subsetter's library brings the shaping library it is built on; its symbols are
    // found through it.
    static const HarfBuzzApi api = [] {
        Common::SharedLibrary lib({"libharfbuzz-subset.so.0", "libharfbuzz-subset.so"});
        HarfBuzzApi a;
        QVX_HARFBUZZ_FUNCTIONS(QVX_FONT_LIB_LOAD)
        return a;
    }();
    return api;
}

#undef QVX_FONT_LIB_LOAD

}  // namespace qvx::PDF
