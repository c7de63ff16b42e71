// Sources and compositing: colours, pattern sources, blend modes and soft masks.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/Shading.h"
#include "render/ColourConvert.h"
#include "render/ContentDrawer.h"
#include "render/FunctionEval.h"
#include "sdf/Obj.h"

namespace qvx::Render {

using PDF::GState;
using PDF::Matrix;

namespace {

cairo_operator_t BlendOperator(const std::string& mode)
{
    static const std::pair<const char*, cairo_operator_t> modes[] = {
        {"Multiply", CAIRO_OPERATOR_MULTIPLY}, {"Screen", CAIRO_OPERATOR_SCREEN},
        {"Overlay", CAIRO_OPERATOR_OVERLAY}, {"Darken", CAIRO_OPERATOR_DARKEN},
        {"Lighten", CAIRO_OPERATOR_LIGHTEN}, {"ColorDodge", CAIRO_OPERATOR_COLOR_DODGE},
        {"ColorBurn", CAIRO_OPERATOR_COLOR_BURN}, {"HardLight", CAIRO_OPERATOR_HARD_LIGHT},
        {"SoftLight", CAIRO_OPERATOR_SOFT_LIGHT}, {"Difference", CAIRO_OPERATOR_DIFFERENCE},
        {"Exclusion", CAIRO_OPERATOR_EXCLUSION}, {"Hue", CAIRO_OPERATOR_HSL_HUE},
        {"Saturation", CAIRO_OPERATOR_HSL_SATURATION}, {"Color", CAIRO_OPERATOR_HSL_COLOR},
        {"Luminosity", CAIRO_OPERATOR_HSL_LUMINOSITY}};
    for (auto& [name, op] : modes)
        if (mode == name) return op;
    return CAIRO_OPERATOR_OVER;
}

double Alpha(double a) { return std::isfinite(a) ? std::clamp(a, 0.0, 1.0) : 1; }

}  // namespace

RGB ContentDrawer::ColourOf(const PDF::ColorState& c)
{
    if (mp_inherited) return *mp_inherited;
    auto space = WithDefault(c.space, &m_reader.GetResources(), m_ctx.cache);
    return m_ctx.colours.ToRGB(space.get(), c.components.data(), static_cast<int>(c.components.size()));
}

bool ContentDrawer::SetSource(const GState& gs, bool fill)
{
    const PDF::ColorState& c = fill ? gs.fill : gs.stroke;
    double alpha = Alpha(fill ? gs.fill_alpha : gs.stroke_alpha);
    if (c.space && c.space->GetFamily() == PDF::ColorSpace::e_pattern && !mp_inherited) {
        PDF::Pattern p = PDF::Pattern::Read(c.pattern);
        cairo_pattern_t* source = nullptr;
        if (p.type == 2) {
            // A pattern's space is that of the stream using it.
            source = ShadingPattern(p.shading.obj, p.matrix.Then(m_reader.StreamSpace()), alpha);
        } else if (p.type == 1) {
            source = TilingPattern(gs, fill, alpha);
        }
        if (!source) return false;
        cairo_set_source(mp_cr, source);
        cairo_pattern_destroy(source);
        return true;
    }
    RGB rgb = ColourOf(c);
    cairo_set_source_rgba(mp_cr, rgb.r, rgb.g, rgb.b, alpha);
    return true;
}

void ContentDrawer::BeginPaint(const GState& gs)
{
    cairo_set_operator(mp_cr, BlendOperator(gs.blend_mode));
    if (gs.soft_mask) cairo_push_group(mp_cr);
}

void ContentDrawer::EndPaint(const GState& gs)
{
    if (gs.soft_mask) {
        cairo_pattern_t* p = cairo_pop_group(mp_cr);
        cairo_surface_t* mask = SoftMask(gs.soft_mask);
        cairo_save(mp_cr);
        // The group's pattern belongs to the space it was pushed in, the mask to the device.
        cairo_set_source(mp_cr, p);
        cairo_identity_matrix(mp_cr);
        if (mask) cairo_mask_surface(mp_cr, mask, 0, 0);
        cairo_restore(mp_cr);
        cairo_pattern_destroy(p);
    }
    cairo_set_operator(mp_cr, CAIRO_OPERATOR_OVER);
}

cairo_surface_t* ContentDrawer::SoftMask(SDF::Obj* smask)
{
    auto ctm = m_ctx.mask_ctm.find(smask);
    Matrix base = (ctm != m_ctx.mask_ctm.end() ? ctm->second : Matrix()).Then(m_base);
    RenderContext::MaskKey key{smask, {base.a, base.b, base.c, base.d, base.e, base.f}};
    auto it = m_ctx.masks.find(key);
    if (it != m_ctx.masks.end()) return it->second;
    m_ctx.masks[key] = nullptr;
    SDF::Obj* group = PDF::FindStream(smask, "G");
    cairo_surface_t* target = cairo_get_target(mp_cr);
    int w = cairo_image_surface_get_width(target), h = cairo_image_surface_get_height(target);
    if (!group || w <= 0 || h <= 0 || m_ctx.depth > Common::Limits::kMaxRenderNesting) return nullptr;
    bool luminosity = PDF::FindName(smask, "S") != "Alpha";
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    // Luminosity masks are drawn over the backdrop colour BC (black by default) in the
    // group's colour space.
    if (luminosity) {
        RGB bc;
        if (SDF::Obj* arr = PDF::FindArray(smask, "BC")) {
            double c[Common::Limits::kMaxColorComponents] = {};
            int n = static_cast<int>(std::min<std::size_t>(arr->Size(), Common::Limits::kMaxColorComponents));
            for (int i = 0; i < n; ++i) c[i] = PDF::NumberAt(arr, i, 0);
            std::shared_ptr<const PDF::ColorSpace> cs;
            if (SDF::Obj* g = PDF::FindDict(group, "Group")) {
                try {
                    cs = PDF::ColorSpace::Create(PDF::FindIn(g, "CS"));
                } catch (...) {
                }
            }
            bc = m_ctx.colours.ToRGB(cs ? cs.get() : PDF::ColorSpace::Device(n == 4 ? PDF::ColorSpace::e_device_cmyk : n == 3 ? PDF::ColorSpace::e_device_rgb : PDF::ColorSpace::e_device_gray).get(), c, n);
        }
        cairo_set_source_rgb(cr, bc.r, bc.g, bc.b);
        cairo_paint(cr);
    }
    {
        ++m_ctx.depth;
        ContentDrawer inner(cr, m_ctx, base);
        inner.DrawForm(group);
        --m_ctx.depth;
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    // The mask's values (luminosity or alpha) through the transfer function TR.
    std::unique_ptr<FunctionEval> tr = FunctionEval::Create(PDF::FindIn(smask, "TR"));
    std::uint8_t lut[256];
    for (int i = 0; i < 256; ++i) {
        double v = i / 255.0, o[Common::Limits::kMaxColorComponents + 1] = {v};
        if (tr && tr->Outputs() >= 1) tr->Eval(&v, 1, o);
        lut[i] = static_cast<std::uint8_t>(std::clamp(o[0], 0.0, 1.0) * 255 + 0.5);
    }
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    std::uint8_t* src = cairo_image_surface_get_data(surface);
    std::uint8_t* dst = cairo_image_surface_get_data(mask);
    int ss = cairo_image_surface_get_stride(surface), ds = cairo_image_surface_get_stride(mask);
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* s = reinterpret_cast<const std::uint32_t*>(src + static_cast<std::size_t>(y) * ss);
        std::uint8_t* d = dst + static_cast<std::size_t>(y) * ds;
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = s[x];
            int v;
            if (luminosity) {
                int r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
                v = (r * 77 + g * 151 + b * 28) >> 8;
            } else {
                v = p >> 24;
            }
            d[x] = lut[v];
        }
    }
    cairo_surface_mark_dirty(mask);
    cairo_surface_destroy(surface);
    m_ctx.masks[key] = mask;
    return mask;
}

cairo_pattern_t* ContentDrawer::TilingPattern(const GState& gs, bool fill, double alpha)
{
    const PDF::ColorState& colour = fill ? gs.fill : gs.stroke;
    PDF::Pattern p = PDF::Pattern::Read(colour.pattern);
    double xs = std::fabs(p.x_step), ys = std::fabs(p.y_step);
    if (p.type != 1 || !std::isfinite(xs) || !std::isfinite(ys) || xs < 1e-6 || ys < 1e-6 ||
        m_ctx.depth > Common::Limits::kMaxRenderNesting)
        return nullptr;
    // One cell drawn at device resolution into a surface that cairo repeats: pattern space
    // scaled so that a step is a whole number of pixels.
    Matrix to_device = p.matrix.Then(m_reader.StreamSpace()).Then(m_base);
    double sx = std::hypot(to_device.a, to_device.b), sy = std::hypot(to_device.c, to_device.d);
    double w = std::max(1.0, std::ceil(xs * sx - 0.01)), h = std::max(1.0, std::ceil(ys * sy - 0.01));
    double cap = static_cast<double>(Common::Limits::kMaxPatternCellPixels);
    if (w * h > cap) {
        double f = std::sqrt(cap / (w * h));
        w = std::max(1.0, std::floor(w * f)), h = std::max(1.0, std::floor(h * f));
    }
    double kx = w / xs, ky = h / ys;
    PDF::Rect bbox = p.bbox.Normalized();
    Matrix cell{kx, 0, 0, -ky, -bbox.x1 * kx, (bbox.y1 + ys) * ky};
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(w), static_cast<int>(h));
    cairo_t* cr = cairo_create(surface);
    {
        ++m_ctx.depth;
        // The parts of the BBox beyond one step show in the cells before it: a BBox five
        // steps wide is drawn six times into the cell. Each drawing counts against the
        // page's work cap; past 16 steps each way the rest of a BBox is left out.
        auto copies = [](double extent, double step) {
            double n = std::ceil(extent / step - 1e-6) - 1;   // NaN for a BBox of no number
            return !(n > 0) ? 0 : static_cast<int>(std::min(n, 15.0));
        };
        int nx = copies(bbox.Width(), xs), ny = copies(bbox.Height(), ys);
        for (int dy = -ny; dy <= 0; ++dy) {
            for (int dx = -nx; dx <= 0; ++dx) {
                ContentDrawer inner(cr, m_ctx, Matrix{1, 0, 0, 1, dx * xs, dy * ys}.Then(cell));
                if (p.paint_type == 2) {
                    const PDF::ColorSpace* base = colour.space ? colour.space->GetBase() : nullptr;
                    inner.SetInheritedColour(m_ctx.colours.ToRGB(base, colour.components.data(), static_cast<int>(colour.components.size())));
                } else if (mp_inherited) {
                    inner.SetInheritedColour(*mp_inherited);
                }
                inner.DrawForm(p.obj, false);
            }
        }
        --m_ctx.depth;
    }
    // The constant alpha of the painting applies to the pattern's cells as a whole.
    if (alpha < 1) {
        cairo_set_operator(cr, CAIRO_OPERATOR_DEST_IN);
        cairo_set_source_rgba(cr, 0, 0, 0, alpha);
        cairo_paint(cr);
    }
    cairo_destroy(cr);
    cairo_pattern_t* pat = cairo_pattern_create_for_surface(surface);
    cairo_surface_destroy(surface);
    cairo_pattern_set_extend(pat, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pat, CAIRO_FILTER_NEAREST);
    // Surface pixels to pattern space to the device, then relative to the current user space.
    Matrix inv_cell{1 / kx, 0, 0, -1 / ky, bbox.x1, bbox.y1 + ys};
    if (!SetPatternMatrix(pat, inv_cell.Then(to_device))) {
        cairo_pattern_destroy(pat);
        return nullptr;
    }
    return pat;
}

bool ContentDrawer::SetPatternMatrix(cairo_pattern_t* pattern, const Matrix& to_device)
{
    cairo_matrix_t pm, cur;
    cairo_matrix_init(&pm, to_device.a, to_device.b, to_device.c, to_device.d, to_device.e, to_device.f);
    cairo_get_matrix(mp_cr, &cur);
    if (cairo_matrix_invert(&cur) != CAIRO_STATUS_SUCCESS) return false;
    cairo_matrix_multiply(&pm, &pm, &cur);  // pattern space -> user space
    if (cairo_matrix_invert(&pm) != CAIRO_STATUS_SUCCESS) return false;
    cairo_pattern_set_matrix(pattern, &pm);
    return true;
}

}  // namespace qvx::Render
