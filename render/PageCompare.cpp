#include "render/PageCompare.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "pdf/ObjUtil.h"
#include "pdf/PageTree.h"
#include "render/Fingerprint.h"
#include "render/ImageCache.h"

namespace qvx::Render {

namespace {

std::optional<RenderResult> Draw(SDF::SDFDoc& doc, const PDF::PageTree& pages, std::size_t i, const RenderOptions& options)
{
    try {
        return RenderPage(doc, pages.GetPage(i), options);
    } catch (...) {
        // A page that cannot be drawn at all is counted, not compared.
        return std::nullopt;
    }
}

// The size of the page's unit of space in points (UserUnit, 1 when missing or unusable).
double UnitOf(const PDF::Page& page)
{
    double u = PDF::FindNumber(PDF::Deref(page.GetSDFObj()), "UserUnit", 1);
    return u > 0 && std::isfinite(u) ? u : 1;
}

// The top left w x h pixels of b.
Bitmap Cropped(const Bitmap& b, int w, int h)
{
    Bitmap out{w, h, b.channels, {}};
    const std::size_t row = static_cast<std::size_t>(w) * b.channels;
    out.data.reserve(row * h);
    for (int y = 0; y < h; ++y) out.data.insert(out.data.end(), b.Pixel(0, y), b.Pixel(0, y) + row);
    return out;
}

// A page restated in other units is drawn at its own resolution, and the boxes written with
// fewer digits may round to one pixel more or less: such drawings are compared where both are.
double PSNROfDrawings(Bitmap a, Bitmap b)
{
    const int w = std::min(a.width, b.width), h = std::min(a.height, b.height);
    if ((a.width != b.width || a.height != b.height) && std::abs(a.width - b.width) <= 1 &&
        std::abs(a.height - b.height) <= 1 && w > 0 && h > 0 && a.channels == b.channels) {
        a = Cropped(a, w, h);
        b = Cropped(b, w, h);
    }
    return PSNR(a, b);
}

// The page's fingerprint, with its inherited attributes; empty when too large.
std::string PageFingerprint(const PDF::Page& page, const Common::Bytes* cmyk, Fingerprint::Memo& memo)
{
    Fingerprint f(cmyk, &memo);
    if (!f.Add(page.GetSDFObj()) || !f.Add(page.GetResourceDict())) return {};
    PDF::Rect media = page.GetMediaBox(), crop = page.GetCropBox();
    for (double v : {media.x1, media.y1, media.x2, media.y2, crop.x1, crop.y1, crop.x2, crop.y2})
        f.Number(v);
    f.Number(page.GetRotation());
    return f.Text();
}

// The document-wide entries that change how every page draws: optional content and the
// form's defaults; empty when too large or unreadable.
std::string DocumentFingerprint(SDF::SDFDoc& doc, Fingerprint::Memo& memo)
{
    Fingerprint f(nullptr, &memo);
    try {
        SDF::Obj* root = doc.GetRoot();
        if (!f.Add(root ? root->FindObj("OCProperties") : nullptr)) return {};
        SDF::Obj* form = PDF::Deref(root ? root->FindObj("AcroForm") : nullptr);
        if (form && form->IsDict())
            for (const char* key : {"NeedAppearances", "DA", "DR", "Q"})
                if (!f.Add(form->FindObj(key))) return {};
    } catch (...) {
        return {};
    }
    return f.Text();
}

}  // namespace

double PSNR(const Bitmap& a, const Bitmap& b)
{
    if (a.width != b.width || a.height != b.height || a.channels != 3 || b.channels != 3) return 0;
    if (a.data.size() != b.data.size()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.data.size(); ++i) {
        double d = static_cast<double>(a.data[i]) - b.data[i];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    double mse = sum / static_cast<double>(a.data.size());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

LookResult CompareLook(SDF::SDFDoc& original, SDF::SDFDoc& copy, const LookOptions& options)
{
    LookResult result;
    PDF::PageTree before(original), after(copy);
    RenderOptions copy_options;
    copy_options.dpi = options.dpi;
    RenderOptions original_options = copy_options;
    original_options.cmyk = CmykIntent(copy);
    const Common::Bytes* cmyk = original_options.cmyk ? &original_options.cmyk->GetBytes() : options.formula_cmyk;
    Fingerprint::Memo memo;
    // With the document-wide entries changed, any page may look different.
    std::string document = DocumentFingerprint(copy, memo);
    bool same_document = !document.empty() && document == DocumentFingerprint(original, memo);
    std::size_t n = std::max(before.Count(), after.Count());
    for (std::size_t i = 0; i < n; ++i) {
        auto page = static_cast<std::uint32_t>(i + 1);
        if (i >= before.Count() || i >= after.Count()) {
            result.changed.push_back({page, 0});
            continue;
        }
        // A page whose drawing inputs did not change cannot have changed its look.
        std::string print = same_document ? PageFingerprint(after.GetPage(i), cmyk, memo) : "";
        if (!print.empty() && print == PageFingerprint(before.GetPage(i), cmyk, memo)) {
            ++result.compared;
            continue;
        }
        // The images both versions share are decoded once.
        ImageCache images;
        original_options.images = copy_options.images = &images;
        std::optional<RenderResult> a = Draw(original, before, i, original_options);
        // A copy that states the page in other units (UserUnit) shows it at the same size.
        RenderOptions page_options = copy_options;
        if (a) page_options.dpi = a->dpi * UnitOf(after.GetPage(i)) / UnitOf(before.GetPage(i));
        std::optional<RenderResult> b = Draw(copy, after, i, page_options);
        if (!a || !b) {
            ++result.undrawn;
            continue;
        }
        ++result.compared;
        ++result.drawn;
        double psnr = PSNROfDrawings(std::move(a->bitmap), std::move(b->bitmap));
        if (psnr < options.threshold) result.changed.push_back({page, psnr});
    }
    return result;
}

}  // namespace qvx::Render
