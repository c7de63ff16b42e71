// Pass 13: every page in order. The present marks are cleared first, so that afterwards they
// show what the pages reported. An exception in one page's checks records 12 against the
// page and the pass goes on with the next. The page-level checks of the colour, font and
// catalog groups join the page size here.
#include <exception>
#include <memory>
#include <vector>

#include "pdf/ObjUtil.h"
#include "pdf/compliance/AnnotationChecks.h"
#include "pdf/compliance/CatalogChecks.h"
#include "pdf/compliance/ColourChecks.h"
#include "pdf/compliance/ColourRepair.h"
#include "pdf/compliance/ContentRewrite.h"
#include "pdf/compliance/ContentWalk.h"
#include "pdf/compliance/DriverPasses.h"
#include "pdf/compliance/FontChecks.h"
#include "pdf/compliance/FontReplacement.h"
#include "pdf/compliance/OutputIntents.h"
#include "pdf/compliance/PageSize.h"
#include "pdf/compliance/PageTreeRepair.h"
#include "pdf/compliance/ImageRedraw.h"
#include "pdf/compliance/OutlineRepair.h"
#include "pdf/compliance/TreeLeaves.h"
#include "pdf/compliance/StreamTidy.h"

namespace qvx::PDF {

void RunPagePass(PassContext& ctx)
{
    if (!ctx.Checks() && !ctx.state.is_pdfua) return;
    ctx.state.errors.ClearPresent();
    if (ctx.state.convert) RecoverLostPages(ctx);
    if (ctx.state.convert) FitPageSizes(ctx);
    if (ctx.state.convert) GiveMissingResources(ctx);
    if (ctx.state.convert) KeepReadableContents(ctx);
    CheckOutputIntents(ctx, FindDict(ctx.doc.GetTrailer(), "Root"));
    CheckCatalogEntries(ctx);
    if (ctx.Stopped()) return;
    // The content checks of each group, one object each for the whole run (they may keep
    // what they learnt on earlier pages, e.g. fonts already checked).
    std::vector<std::unique_ptr<ContentCheck>> owned;
    owned.push_back(std::make_unique<ColourCheck>());
    owned.push_back(std::make_unique<AnnotationCheck>());
    owned.push_back(std::make_unique<FontCheck>());
    std::vector<ContentCheck*> checks;
    for (auto& c : owned) checks.push_back(c.get());
    for (const Page& page : ctx.Pages().Pages()) {
        if (ctx.Stopped()) return;
        try {
            CheckPageSize(ctx, page);
            WalkPageContent(ctx, page, checks);
        } catch (const std::exception&) {
            ctx.Report(SDF::e_PDFA12, page.GetSDFObj());
        }
    }
    if (!ctx.state.convert || ctx.Stopped()) return;
    // Only the font checks read forms nobody draws: flattening leaves forms it drew into a
    // page in the resources, whose transparency is gone with the flattening.
    ContentCheck* font_check = owned[2].get();
    WalkUndrawnForms(ctx, std::span(&font_check, 1));
    if (ctx.Stopped()) return;
    DefineMissingFonts(ctx);
    ReplaceMarkedFonts(ctx);
    if (ctx.Stopped()) return;
    RedrawImages(ctx);
    TidyUndrawnImages(ctx);
    ReplaceOutputIntentProfileSpaces(ctx);
    TidyStreams(ctx);
    RemoveTransferCurves(ctx);
    NameUnknownIntents(ctx);
    CleanContentStreams(ctx);
    RemoveInlineImageEntries(ctx);
    CopyInheritedResources(ctx);
    WriteNumbersWithinLimits(ctx);
    MoveDeepNestingIntoForms(ctx);
    // A converted file always leaves with an output intent.
    if (ctx.Checks()) AddSRGBOutputIntent(ctx);
    RewritePageTree(ctx);
    RepairOutlines(ctx);
    SplitLongTreeLeaves(ctx);
    FontRules::RepairLongWidths(ctx);
    FontRules::ForgetUnknownBaseEncodings(ctx);
}

}  // namespace qvx::PDF
