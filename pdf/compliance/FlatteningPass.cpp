// Pass 0: before anything is checked, a conversion to PDF/A-1 with flattening rewrites every
// page that uses transparency, so that the later passes see the flattened pages.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "common/Exception.h"
#include "pdf/Annot.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/DriverPasses.h"
#include "pdf/compliance/FlattenPDF.h"
#include "pdf/compliance/Flattening.h"
#include "pdf/compliance/TransparencyUse.h"
#include "render/PageRenderer.h"

namespace qvx::PDF {

namespace {

constexpr int kJpegQuality = 85;
// What lies under soft-masked images is looked at this coarsely; a grey this light or
// lighter counts as white paper, a pixel the image changes by no more than this is one it
// leaves showing, and an image lies on white paper when no more than this share of its
// area (or of pixels) leaves darker content showing (a neighbour's edge, a thin rule):
// drawn on white it then changes less than a drawing of the area in pixels would.
constexpr double kPaperDpi = 36;
constexpr int kPaperWhite = 250;
constexpr int kUnchanged = 6;
constexpr double kPaperShare = 0.03;
constexpr double kPaperPixels = 16;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Whether the page's content draws each of its soft-masked images over white paper, where
// they let what lies below show. The image repairs then draw them on white, keeping their
// samples; one that shows other content through, or one in a pattern, is drawn by the
// flattener with what lies below it. The page is drawn up to each image (or the form
// holding it) and past it, and the two compared.
bool MaskedImagesLieOnWhite(PassContext& ctx, ResourceCache& cache, const Page& page)
{
    struct Placed {
        std::size_t offset;
        Rect area;
    };
    std::vector<Placed> images;
    std::size_t offset = 0, top = 0;
    ElementReader reader(cache);
    reader.SetOperatorHook([&](const Operation& op) {
        if (reader.NestingDepth() == 1) offset = op.offset;
    });
    TransparencyWalk nested(cache, {true, false});
    reader.Begin(page);
    while (reader.NestingDepth() > 0) {
        const Element* el = reader.Next();
        if (!el) {
            reader.End();
            continue;
        }
        const bool outer = reader.NestingDepth() == 1;
        if (el->Is(Element::e_form)) {
            if (outer) top = offset;
            reader.FormBegin();
        } else if (el->Is(Element::e_image) && (FindStream(el->obj, "SMask") || FindNumber(el->obj, "SMaskInData", 0) != 0)) {
            images.push_back({outer ? offset : top, Transformed({0, 0, 1, 1}, el->gstate->ctm)});
        } else if ((el->Is(Element::e_path) || el->Is(Element::e_text)) && nested.ElementUses(reader, *el)) {
            return false;
        }
    }
    if (images.empty()) return true;
    Render::RenderOptions options;
    options.dpi = kPaperDpi;
    options.annotations = false;
    Rect all{kInf, kInf, -kInf, -kInf};
    for (const Placed& p : images) {
        all = {std::min(all.x1, p.area.x1), std::min(all.y1, p.area.y1), std::max(all.x2, p.area.x2), std::max(all.y2, p.area.y2)};
        // Before the image (or its form) and after it; images of one form share them.
        if (options.stops.empty() || options.stops.back() != p.offset + 1) {
            options.stops.push_back(p.offset);
            options.stops.push_back(p.offset + 1);
        }
    }
    if (!(all.x1 < all.x2 && all.y1 < all.y2)) return true;
    options.region = all;
    bool white = true;
    Render::Bitmap before;
    options.at_stop = [&](std::size_t i, const Render::Snapshot& drawing) {
        if (i % 2 == 0) {
            before = drawing.Crop(0, 0, drawing.width, drawing.height);
            return;
        }
        const double ppu = drawing.width / all.Width();
        for (const Placed& p : images) {
            if (p.offset + 1 != options.stops[i]) continue;
            const int x0 = static_cast<int>((p.area.x1 - all.x1) * ppu), y0 = static_cast<int>((all.y2 - p.area.y2) * ppu);
            Render::Bitmap now = drawing.Crop(x0, y0, static_cast<int>(std::ceil((p.area.x2 - all.x1) * ppu)),
                                              static_cast<int>(std::ceil((all.y2 - p.area.y1) * ppu)));
            // Where the image left what lay below it showing, drawing it on white would
            // turn that white: it must have been white already.
            std::size_t exposed = 0;
            for (int y = 0; y < now.height && y0 + y < before.height; ++y) {
                for (int x = 0; x < now.width && x0 + x < before.width; ++x) {
                    const std::uint8_t *a = now.Pixel(x, y), *b = before.Pixel(x0 + x, y0 + y);
                    bool same = true, paper = true;
                    for (int c = 0; c < 3; ++c) {
                        same = same && std::abs(a[c] - b[c]) <= kUnchanged;
                        paper = paper && b[c] >= kPaperWhite;
                    }
                    exposed += same && !paper;
                }
            }
            white = white && exposed <= std::max(kPaperShare * now.width * now.height, kPaperPixels);
        }
    };
    return Render::RenderPage(ctx.doc, page, options).complete && white;
}

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
            if (!TransparencyWalk(shared.cache, {false, true}).PageUses(page) &&
                (!TransparencyWalk(shared.cache, {true, true}).PageUses(page) || MaskedImagesLieOnWhite(ctx, shared.cache, page)))
                continue;
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
