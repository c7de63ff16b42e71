#include "pdf/compliance/PageSize.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "pdf/ObjUtil.h"
#include "pdf/PageContent.h"
#include "pdf/PageTree.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

constexpr double kMinSide = 3, kMaxSide = 14400;

bool Outside(const Rect& box)
{
    auto outside = [](double d) { return !(d >= kMinSide && d <= kMaxSide); };
    return outside(box.Width()) || outside(box.Height());
}

// The factor nearest 1 that brings every side within the limits, or 0 when none does. The
// margins keep the sides within them once the boxes are written with fewer digits.
double FitFactor(const Rect& media, const Rect& crop)
{
    double least = kMaxSide, most = 0;
    for (const Rect& r : {media, crop}) {
        for (double d : {std::fabs(r.Width()), std::fabs(r.Height())}) {
            if (!std::isfinite(d) || d <= 0) return 0;
            least = std::min(least, d), most = std::max(most, d);
        }
    }
    const double lo = kMinSide / least * 1.0001, hi = kMaxSide / most * 0.9999;
    return lo <= hi ? std::clamp(1.0, lo, hi) : 0;
}

// A copy of a number array with every number (in nested arrays too) multiplied by k.
std::unique_ptr<Obj> Scaled(const Obj* array, double k, int depth = 0)
{
    auto out = SDF::Array::Create();
    for (std::size_t i = 0, n = array->Size(); i < n; ++i) {
        const Obj* v = Deref(array->GetAt(i));
        if (v && v->IsNumber()) out->PushBackNumber(v->GetNumber() * k);
        else if (v && v->IsArray() && depth < 2) out->PushBack(Scaled(v, k, depth + 1));
        else out->PushBackNull();
    }
    return out;
}

bool Degenerate(const Rect& r)
{
    const double w = std::fabs(r.Width()), h = std::fabs(r.Height());
    return !std::isfinite(w) || !std::isfinite(h) || w == 0 || h == 0;
}

void PutScaledRect(Obj* dict, std::string_view key, const Rect& r, double k)
{
    Obj* a = dict->PutArray(key);
    for (double v : {r.x1, r.y1, r.x2, r.y2}) a->PushBackNumber(v * k);
}

// A box with no area (a damaged number in it) shows no page at any scale: it reads as a
// missing one does, the media box as US Letter (or the crop box when that one is sound) and
// the crop box as the media box.
void ReplaceDegenerateBoxes(Obj* dict, const Rect& media, const Rect& crop)
{
    if (Degenerate(media)) PutScaledRect(dict, "MediaBox", Degenerate(crop) ? Rect{0, 0, 612, 792} : crop, 1);
    if (Degenerate(crop)) dict->Erase("CropBox");
}

// Every length an annotation states in the page's space; its appearance follows its Rect.
void ScaleAnnotation(Obj* annot, double k)
{
    for (std::string_view key : {"Rect", "QuadPoints", "InkList", "Vertices", "L", "CL", "RD", "Border"})
        if (Obj* a = FindArray(annot, key)) annot->Put(key, Scaled(a, k));
    if (Obj* bs = FindDict(annot, "BS"); bs && FindIn(bs, "W")) {
        std::unique_ptr<Obj> copy = bs->Clone();
        copy->PutNumber("W", FindNumber(bs, "W", 1) * k);
        annot->Put("BS", std::move(copy));
    }
}

void ScalePage(const Page& page, double k, std::unordered_set<const Obj*>& annots_done)
{
    Obj* dict = Deref(page.GetSDFObj());
    const Rect media = page.GetMediaBox(), crop = page.GetCropBox();
    TransformPageContent(page, Matrix{k, 0, 0, k, 0, 0});
    // Both boxes become the page's own: an inherited one would keep the old numbers.
    PutScaledRect(dict, "MediaBox", media, k);
    PutScaledRect(dict, "CropBox", crop, k);
    for (std::string_view key : {"BleedBox", "TrimBox", "ArtBox"})
        if (Rect r; ReadRect(FindIn(dict, key), r)) PutScaledRect(dict, key, r, k);
    const double unit = FindNumber(dict, "UserUnit", 1);
    dict->PutNumber("UserUnit", (unit > 0 && std::isfinite(unit) ? unit : 1) / k);
    if (Obj* annots = page.GetAnnots()) {
        for (std::size_t i = 0, n = annots->Size(); i < n; ++i) {
            Obj* a = Deref(annots->GetAt(i));
            if (a && a->IsDict() && annots_done.insert(a).second) ScaleAnnotation(a, k);
        }
    }
}

// Scales the position a destination gives on a page scaled by k: [page /XYZ left top zoom],
// /FitH top, /FitV left, /FitR left bottom right top (and the bounding-box kinds).
void ScaleDestination(Obj* dest, const std::unordered_map<const Obj*, double>& scaled)
{
    if (dest->Size() < 2) return;
    const Obj* page = Deref(dest->GetAt(0));
    const Obj* kind = Deref(dest->GetAt(1));
    auto it = page ? scaled.find(page) : scaled.end();
    if (it == scaled.end() || !kind || !kind->IsName()) return;
    const std::string_view k = kind->GetName();
    const std::size_t count = k == "XYZ" ? 2 : k == "FitR" ? 4 : (k == "FitH" || k == "FitV" || k == "FitBH" || k == "FitBV") ? 1 : 0;
    for (std::size_t i = 2; i < 2 + count && i < dest->Size(); ++i) {
        Obj* v = dest->GetAt(i);
        if (v && !v->IsIndirect() && v->IsNumber()) v->SetNumber(v->GetNumber() * it->second);
    }
}

// Every destination held in obj, in its direct arrays and dictionaries.
void ScaleDestinationsIn(Obj* obj, const std::unordered_map<const Obj*, double>& scaled, int depth = 0)
{
    if (!obj || depth > 16) return;
    if (obj->IsArray()) {
        ScaleDestination(obj, scaled);
        for (std::size_t i = 0, n = obj->Size(); i < n; ++i)
            if (Obj* v = obj->GetAt(i); v && !v->IsIndirect()) ScaleDestinationsIn(v, scaled, depth + 1);
    } else if (obj->IsDict() || obj->IsStream()) {
        for (auto it = obj->DictBegin(); it != obj->DictEnd(); ++it)
            if (Obj* v = it.Value(); v && !v->IsIndirect()) ScaleDestinationsIn(v, scaled, depth + 1);
    }
}

}  // namespace

void CheckPageSize(PassContext& ctx, const Page& page)
{
    for (const Rect& box : {page.GetMediaBox(), page.GetCropBox()})
        if (Outside(box)) ctx.Report(SDF::e_PDFA1135, page.GetSDFObj());
}

void FitPageSizes(PassContext& ctx)
{
    if (!ctx.Checks() || !SDF::InForce(SDF::e_PDFA1135, ctx.state.level)) return;
    // A page listed twice is mended once: its boxes are replaced by then, and the second
    // place would read the ones replaced.
    std::unordered_set<const Obj*> mended;
    for (const Page& page : ctx.Pages().Pages()) {
        Obj* dict = Deref(page.GetSDFObj());
        if (!dict || mended.contains(dict)) continue;
        const Rect media = page.GetMediaBox(), crop = page.GetCropBox();
        if (!Degenerate(media) && !Degenerate(crop)) continue;
        CheckPageSize(ctx, page);
        ReplaceDegenerateBoxes(dict, media, crop);
        mended.insert(dict);
    }
    if (!mended.empty()) ctx.caches.Drop<PageTree>();
    std::unordered_map<const Obj*, double> scaled;
    std::unordered_set<const Obj*> annots_done;
    for (const Page& page : ctx.Pages().Pages()) {
        Obj* dict = Deref(page.GetSDFObj());
        if (!dict || scaled.contains(dict)) continue;
        const Rect media = page.GetMediaBox(), crop = page.GetCropBox();
        if (!Outside(media) && !Outside(crop)) continue;
        const double k = FitFactor(media, crop);
        if (k == 0 || !scaled.emplace(dict, k).second) continue;
        CheckPageSize(ctx, page);
        ScalePage(page, k, annots_done);
    }
    if (scaled.empty()) return;
    // Links, outline items and named destinations go on showing the same place.
    for (std::uint32_t i = 1; i < ctx.doc.XRefSize() && !ctx.Stopped(); ++i) ScaleDestinationsIn(Deref(ctx.doc.GetObj(i)), scaled);
    // The tree read the boxes the pages had.
    ctx.caches.Drop<PageTree>();
}

}  // namespace qvx::PDF
