#include "render/CairoApi.h"

#include "common/SharedLibrary.h"

namespace qvx::Render {

const CairoApi& Cairo()
{
    static const CairoApi api = [] {
        Common::SharedLibrary lib({"libcairo.so.2", "libcairo.so"});
        CairoApi a;
#define QVX_CAIRO_LOAD(name) a.fn_##name = reinterpret_cast<decltype(a.fn_##name)>(lib.Symbol(#name));
        QVX_CAIRO_FUNCTIONS(QVX_CAIRO_LOAD)
#undef QVX_CAIRO_LOAD
        return a;
    }();
    return api;
}

}  // namespace qvx::Render
