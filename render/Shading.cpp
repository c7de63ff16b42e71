// Shadings: the sh operator and shading patterns. Axial and radial shadings become cairo
// gradients, function-based ones an image, meshes cairo mesh patterns.

#include <algorithm>
#include <cmath>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/Shading.h"
#include "render/ColourConvert.h"
#include "render/ContentDrawer.h"
#include "render/FunctionEval.h"
#include "render/MeshReader.h"
#include "sdf/Obj.h"

namespace qvx::Render {

using PDF::Matrix;

namespace {

// Colours of a shading: its function (if any) applied to t, then the colour space.
struct ShadingColours {
    std::shared_ptr<const PDF::ColorSpace> space;
    std::unique_ptr<FunctionEval> function;
    ColourConvert& colours;

    RGB At(const double* in, int nin)
    {
        double out[Common::Limits::kMaxColorComponents + 1] = {};
        int n = space ? space->GetComponentCount() : 1;
        if (function) {
            if (function->Outputs() > Common::Limits::kMaxColorComponents) return {};
            function->Eval(in, nin, out);
            n = function->Outputs();
        } else {
            for (int i = 0; i < std::min(nin, Common::Limits::kMaxColorComponents); ++i) out[i] = in[i];
            n = nin;
        }
        return colours.ToRGB(space.get(), out, n);
    }
};

std::vector<double> Numbers(SDF::Obj* arr, std::size_t n, std::vector<double> def)
{
    if (!arr || arr->Size() < n) return def;
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = PDF::NumberAt(arr, i, def.size() > i ? def[i] : 0);
    return v;
}

double Alpha(double a) { return std::isfinite(a) ? std::clamp(a, 0.0, 1.0) : 1; }

// A function-based shading sampled into an image over its Domain, once per shading, colour
// space and alpha for the page (kept in the context, up to a number of them; the samples
// count against its cap like image pixels); inner: image pixels to shading space.
cairo_pattern_t* FunctionShading(SDF::Obj* sh, ShadingColours& sc, double alpha, Matrix& inner, RenderContext& ctx)
{
    auto& samples = ctx.sampled_shadings;
    if (!sc.function) return nullptr;
    std::vector<double> d = Numbers(PDF::FindArray(sh, "Domain"), 4, {0, 1, 0, 1});
    Matrix m;
    PDF::ReadMatrix(PDF::FindIn(sh, "Matrix"), m);
    const int n = 128;
    const auto a = static_cast<std::uint32_t>(alpha * 255 + 0.5);
    const RenderContext::SampledShadingKey key{sh, sc.space.get(), static_cast<int>(a)};
    auto kept = samples.find(key);
    cairo_surface_t* img = kept != samples.end() ? cairo_surface_reference(kept->second) : nullptr;
    if (!img) {
        img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, n, n);
        std::uint8_t* data = cairo_image_surface_get_data(img);
        int stride = cairo_image_surface_get_stride(img);
        for (int y = 0; y < n; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
            for (int x = 0; x < n; ++x) {
                double in[2] = {d[0] + (d[1] - d[0]) * (x + 0.5) / n, d[2] + (d[3] - d[2]) * (y + 0.5) / n};
                RGB c = sc.At(in, 2);
                auto ch = [alpha](double v) { return static_cast<std::uint32_t>(v * alpha * 255 + 0.5); };
                row[x] = (a << 24) | (ch(c.r) << 16) | (ch(c.g) << 8) | ch(c.b);
            }
        }
        cairo_surface_mark_dirty(img);
        ctx.image_pixels += static_cast<std::uint64_t>(n) * n;
        // A page of countless shadings keeps only the first ones' samples.
        if (samples.size() < Common::Limits::kMaxSampledShadings) samples.emplace(key, cairo_surface_reference(img));
    }
    cairo_pattern_t* p = cairo_pattern_create_for_surface(img);
    cairo_surface_destroy(img);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_NONE);
    cairo_pattern_set_filter(p, CAIRO_FILTER_BILINEAR);
    inner = Matrix{(d[1] - d[0]) / n, 0, 0, (d[3] - d[2]) / n, d[0], d[2]}.Then(m);
    return p;
}

}  // namespace

cairo_pattern_t* ContentDrawer::ShadingPattern(SDF::Obj* shading_obj, const Matrix& to_user, double alpha)
{
    PDF::Shading sh = PDF::Shading::Read(shading_obj);
    if (!sh.obj || !sh.type) return nullptr;
    ShadingColours sc{nullptr, FunctionEval::Create(PDF::FindIn(sh.obj, "Function")), m_ctx.colours};
    try {
        sc.space = m_ctx.cache.GetColorSpace(PDF::Deref(sh.color_space), &m_reader.GetResources());
    } catch (...) {
        return nullptr;
    }
    if (!sc.space) return nullptr;
    cairo_pattern_t* p = nullptr;
    Matrix inner;
    if (sh.type == 2 || sh.type == 3) {
        std::vector<double> coords = Numbers(PDF::FindArray(sh.obj, "Coords"), sh.type == 2 ? 4 : 6, {});
        if (coords.empty() || !sc.function) return nullptr;
        std::vector<double> domain = Numbers(PDF::FindArray(sh.obj, "Domain"), 2, {0, 1});
        SDF::Obj* ext = PDF::FindArray(sh.obj, "Extend");
        bool e0 = ext && ext->Size() > 0 && PDF::Deref(ext->GetAt(0)) && PDF::Deref(ext->GetAt(0))->IsBool() && PDF::Deref(ext->GetAt(0))->GetBool();
        bool e1 = ext && ext->Size() > 1 && PDF::Deref(ext->GetAt(1)) && PDF::Deref(ext->GetAt(1))->IsBool() && PDF::Deref(ext->GetAt(1))->GetBool();
        // Cairo pads both ends or neither. An axial shading extended at one end only runs
        // over a line three times as long: padded beyond it, transparent where not extended.
        bool mixed = e0 != e1 && sh.type == 2;
        double lo = 0, span = 1;
        if (mixed) {
            double dx = coords[2] - coords[0], dy = coords[3] - coords[1];
            p = cairo_pattern_create_linear(coords[0] - dx, coords[1] - dy, coords[2] + dx, coords[3] + dy);
            lo = 1.0 / 3, span = 1.0 / 3;
        } else if (sh.type == 2) {
            p = cairo_pattern_create_linear(coords[0], coords[1], coords[2], coords[3]);
        } else {
            p = cairo_pattern_create_radial(coords[0], coords[1], std::max(0.0, coords[2]), coords[3], coords[4], std::max(0.0, coords[5]));
        }
        const int stops = 256;
        for (int i = 0; i <= stops; ++i) {
            double t = domain[0] + (domain[1] - domain[0]) * i / stops;
            RGB c = sc.At(&t, 1);
            cairo_pattern_add_color_stop_rgba(p, lo + span * i / stops, c.r, c.g, c.b, alpha);
        }
        if (mixed) {
            RGB c = sc.At(e0 ? &domain[0] : &domain[1], 1);
            const double eps = 1e-6;
            if (e0) {
                cairo_pattern_add_color_stop_rgba(p, 0, c.r, c.g, c.b, alpha);
                cairo_pattern_add_color_stop_rgba(p, 2.0 / 3 + eps, 0, 0, 0, 0);
            } else {
                cairo_pattern_add_color_stop_rgba(p, 1.0 / 3 - eps, 0, 0, 0, 0);
                cairo_pattern_add_color_stop_rgba(p, 1, c.r, c.g, c.b, alpha);
            }
        }
        cairo_pattern_set_extend(p, e0 || e1 ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    } else if (sh.type == 1) {
        p = FunctionShading(sh.obj, sc, alpha, inner, m_ctx);
    } else {
        // Each patch is work of its own, like an operator: a mesh drawn again and again (in
        // a pattern cell, a nested form) counts against the page's cap every time.
        std::size_t patches = 0;
        p = MeshPattern(sh.obj, sh.type, sc.space.get(), sc.function.get(), alpha, m_ctx.colours, patches);
        m_ctx.operators += patches;
    }
    if (!p) return nullptr;
    // Shading space (inner, to_user, then the walk's base) to the device.
    if (!SetPatternMatrix(p, inner.Then(to_user).Then(m_base))) {
        cairo_pattern_destroy(p);
        return nullptr;
    }
    return p;
}

void ContentDrawer::DrawShading(const PDF::Element& e)
{
    const PDF::GState& gs = *e.gstate;
    if (!SetMatrix(gs.ctm)) return;
    cairo_pattern_t* p = ShadingPattern(e.obj, gs.ctm, Alpha(gs.fill_alpha));
    if (!p) return;
    // sh paints in the current user space: the pattern matrix is relative to the ctm.
    cairo_save(mp_cr);
    PDF::Shading sh = PDF::Shading::Read(e.obj);
    if (sh.has_bbox) {
        PDF::Rect b = sh.bbox.Normalized();
        cairo_rectangle(mp_cr, b.x1, b.y1, b.Width(), b.Height());
        cairo_clip(mp_cr);
    }
    BeginPaint(gs);
    Knockout(e_clip_area);
    cairo_set_source(mp_cr, p);
    cairo_paint(mp_cr);
    EndPaint(gs);
    cairo_restore(mp_cr);
    cairo_pattern_destroy(p);
}

}  // namespace qvx::Render
