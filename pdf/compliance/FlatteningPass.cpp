// Pass 0: before anything is checked, a conversion to PDF/A-1 with flattening rewrites every
// page that uses transparency, so that the later passes see the flattened pages.
#include "common/Exception.h"
#include "pdf/Annot.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/DriverPasses.h"
#include "pdf/compliance/FlattenPDF.h"
#include "pdf/compliance/Flattening.h"
#include "pdf/compliance/TransparencyUse.h"

namespace qvx::PDF {

namespace {

constexpr int kJpegQuality = 85;

}  // namespace

void FlattenAnnotsWithTransparency(PassContext& ctx, Page& page)
{
    ResourceCache& cache = ctx.caches.Get<ResourceCache>();
    for (std::size_t i = Annot::Count(page); i-- > 0;) {
        try {
            Annot annot = Annot::At(page, i);
            SDF::Obj* appearance = annot.GetAppearance();
            if (!appearance || !TransparencyWalk(cache).Stream(appearance, page.GetResourceDict())) continue;
            if (annot.HasFlag(Annot::e_hidden)) page.GetAnnots()->EraseAt(i);
            else annot.Flatten(page);
        } catch (const Common::Exception&) {
            // The annotation stays as it is; the checks deal with it.
        }
    }
}

void RunFlatteningPrePass(PassContext& ctx)
{
    const SDF::CheckState& s = ctx.state;
    if (!s.convert || !s.flatten || SDF::CheckState::PartOf(s.level) != 1) return;
    FlattenShared shared{ctx.caches.Get<ResourceCache>()};
    bool changed = false;
    for (Page page : ctx.Pages().Pages()) {
        try {
            // Glyphs of Type 3 fonts are drawn content too; left to the key removals, a
            // soft-masked glyph would paint its whole box.
            if (!TransparencyWalk(shared.cache, {false, true}).PageUses(page)) continue;
        } catch (const Common::Exception&) {
            continue;
        }
        changed = true;
        FlattenAnnotsWithTransparency(ctx, page);
        try {
            FlattenPDF flattener(ctx.doc, shared);
            flattener.SetDpi(s.dpi);
            flattener.SetJpegQuality(kJpegQuality);
            flattener.Begin(page);
            while (!flattener.Step()) {
            }
        } catch (const Common::Exception&) {
            // The page keeps its transparency; the page pass removes what it can.
        }
        if (ctx.Stopped()) break;
    }
    // Pages that were given Resources of their own are read again.
    if (changed) ctx.caches.Get<PageTree>(ctx.doc) = PageTree(ctx.doc);
}

}  // namespace qvx::PDF
