// Pass 13: every page in order. The present marks are cleared first, so that afterwards they
// show what the pages reported. An exception in one page's checks records 12 against the
// page and the pass goes on with the next. The page-level checks of the colour, font and
// catalog groups join the page size here.
#include <cmath>
#include <exception>

#include "pdf/compliance/DriverPasses.h"
#include "pdf/compliance/PageList.h"

namespace qvx::PDF {

namespace {

// A box whose width or height lies outside 3 to 14400 units (a box that is not four
// numbers has no size to test).
bool OutsidePageSizeLimits(const SDF::Obj* box)
{
    if (!box || !box->IsArray() || box->Size() != 4) return false;
    double v[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const SDF::Obj* n = box->GetAt(i);
        if (!n->IsNumber()) return false;
        v[i] = n->GetNumber();
    }
    auto outside = [](double d) { return !(d >= 3 && d <= 14400); };
    return outside(std::fabs(v[2] - v[0])) || outside(std::fabs(v[3] - v[1]));
}

// PDF/A-2 and -3.
void CheckPageSize(PassContext& ctx, const RunPage& page)
{
    if (!ctx.Checks() || (ctx.Part() != 2 && ctx.Part() != 3)) return;
    for (const SDF::Obj* box : {page.media_box, page.crop_box})
        if (OutsidePageSizeLimits(box)) ctx.Report(1135, page.dict);
}

}  // namespace

void RunPagePass(PassContext& ctx)
{
    if (!ctx.Checks() && !ctx.state.is_pdfua) return;
    ctx.state.errors.ClearPresent();
    for (const RunPage& page : RunPages(ctx)) {
        if (ctx.Stopped()) return;
        try {
            CheckPageSize(ctx, page);
        } catch (const std::exception&) {
            ctx.Report(12, page.dict);
        }
    }
}

}  // namespace qvx::PDF
