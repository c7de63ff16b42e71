#include "render/GlyphMasks.h"

#include <algorithm>
#include <cmath>

namespace qvx::Render {

namespace {

// What one kept mask or strike costs besides its pixels: cairo's surface, the maps' nodes.
constexpr std::uint64_t kEntryBytes = 512;
// Coverage of a whole pixel added up from masks: each rounds its own share, so a little
// over 255 is rounding.
constexpr int kWholePixel = 258;

std::uint64_t MaskBytes(int stride, int height)
{
    return static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height) + kEntryBytes;
}

}  // namespace

void SetOutlineFontOptions(cairo_t* cr)
{
    cairo_font_options_t* fo = cairo_font_options_create();
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, fo);
    cairo_font_options_destroy(fo);
}

GlyphMasks::GlyphMasks(std::uint64_t max_bytes) : m_max_bytes(max_bytes) {}

GlyphMasks::~GlyphMasks()
{
    for (auto& [key, strike] : m_strikes)
        for (auto& [glyph, mask] : strike.glyphs)
            if (mask.surface) cairo_surface_destroy(mask.surface);
    if (mp_probe) cairo_destroy(mp_probe);
    if (mp_probe_surface) cairo_surface_destroy(mp_probe_surface);
}

void GlyphMasks::Fill(cairo_t* cr, cairo_font_face_t* face, const cairo_matrix_t& scale, std::vector<cairo_glyph_t>& glyphs)
{
    const double em = std::max(std::fabs(scale.xx) + std::fabs(scale.xy), std::fabs(scale.yx) + std::fabs(scale.yy));
    const double det = scale.xx * scale.yy - scale.xy * scale.yx;
    if (glyphs.empty() || !face || !(em <= Common::Limits::kMaxGlyphMaskEm) || !std::isnormal(det)) return;
    const StrikeKey key{face, {scale.xx, scale.yx, scale.xy, scale.yy}};
    auto [it, added] = m_strikes.try_emplace(key);
    if (added) m_bytes += kEntryBytes;
    Strike& strike = it->second;
    if (strike.overlapping >= 2 && strike.overlapping * 4 > strike.runs) return;

    cairo_save(cr);
    cairo_identity_matrix(cr);
    // Only the pixels the clip leaves are combined.
    double cx1, cy1, cx2, cy2;
    cairo_clip_extents(cr, &cx1, &cy1, &cx2, &cy2);
    const double far = 1e9;
    const int vx1 = static_cast<int>(std::floor(std::clamp(cx1, -far, far)));
    const int vy1 = static_cast<int>(std::floor(std::clamp(cy1, -far, far)));
    const int vx2 = static_cast<int>(std::ceil(std::clamp(cx2, -far, far)));
    const int vy2 = static_cast<int>(std::ceil(std::clamp(cy2, -far, far)));
    std::vector<cairo_glyph_t> rest;
    Run run;
    auto flush = [&] {
        if (run.placed.empty()) return;
        ++strike.runs;
        if (!Flush(cr, run, rest)) ++strike.overlapping;
    };
    for (const cairo_glyph_t& g : glyphs) {
        // Origins far off any bitmap go by their outlines, which cairo clips.
        if (!(std::fabs(g.x) < 1e7 && std::fabs(g.y) < 1e7) || g.index > 0xFFFFFFFFul) {
            rest.push_back(g);
            continue;
        }
        const double q = std::floor(g.x * 4);
        const int ox = static_cast<int>(std::floor(q / 4)), oy = static_cast<int>(std::floor(g.y));
        const Mask& m = Find(strike, key, static_cast<unsigned>(g.index), static_cast<int>(q - 4.0 * ox));
        if (m.outline) {
            rest.push_back(g);
            continue;
        }
        const int x = ox + m.x, y = oy + m.y;
        const int x1 = std::max(x, vx1), y1 = std::max(y, vy1), x2 = std::min(x + m.width, vx2), y2 = std::min(y + m.height, vy2);
        if (!m.surface || x1 >= x2 || y1 >= y2) continue;
        const std::uint64_t bytes = MaskBytes(cairo_image_surface_get_stride(m.surface), m.height);
        if (!run.placed.empty()) {
            const std::uint64_t w = std::max(run.x2, x2) - std::min(run.x1, x1), h = std::max(run.y2, y2) - std::min(run.y1, y1);
            if (w * h > Common::Limits::kMaxGlyphRunBytes || run.bytes + bytes > Common::Limits::kMaxGlyphRunBytes) flush();
        }
        if (run.placed.empty()) run.x1 = x1, run.y1 = y1, run.x2 = x2, run.y2 = y2;
        run.x1 = std::min(run.x1, x1), run.y1 = std::min(run.y1, y1), run.x2 = std::max(run.x2, x2), run.y2 = std::max(run.y2, y2);
        run.placed.push_back({m, x, y, g});
        cairo_surface_reference(m.surface);
        run.bytes += bytes;
    }
    flush();
    cairo_restore(cr);
    glyphs.swap(rest);
}

const GlyphMasks::Mask& GlyphMasks::Find(Strike& strike, const StrikeKey& key, unsigned glyph, int quarter)
{
    const std::uint64_t id = static_cast<std::uint64_t>(glyph) << 2 | static_cast<unsigned>(quarter);
    auto it = strike.glyphs.find(id);
    if (it != strike.glyphs.end()) return it->second;
    Mask m = Draw(key, glyph, quarter);
    std::uint64_t bytes = m.surface ? MaskBytes(cairo_image_surface_get_stride(m.surface), m.height) : kEntryBytes;
    if (bytes + kEntryBytes > m_max_bytes && m.surface) {
        // Not kept even alone beside its strike.
        cairo_surface_destroy(m.surface);
        m = Mask{};
        m.outline = true;
        bytes = kEntryBytes;
    }
    if (m_bytes + bytes > m_max_bytes) Clear(key);
    m_bytes += bytes;
    return strike.glyphs.emplace(id, m).first->second;
}

GlyphMasks::Mask GlyphMasks::Draw(const StrikeKey& key, unsigned glyph, int quarter)
{
    if (!mp_probe) {
        mp_probe_surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
        mp_probe = cairo_create(mp_probe_surface);
        SetOutlineFontOptions(mp_probe);
    }
    const auto& s = key.second;
    cairo_matrix_t scale;
    cairo_matrix_init(&scale, s[0], s[1], s[2], s[3], 0, 0);
    const cairo_glyph_t g{glyph, quarter / 4.0, 0};
    cairo_set_font_face(mp_probe, key.first);
    cairo_set_font_matrix(mp_probe, &scale);
    cairo_new_path(mp_probe);
    cairo_glyph_path(mp_probe, &g, 1);
    double x1, y1, x2, y2;
    cairo_path_extents(mp_probe, &x1, &y1, &x2, &y2);
    cairo_new_path(mp_probe);
    Mask m;
    if (!(x2 > x1 && y2 > y1)) return m;
    // A glyph drawn far outside its em (a damaged program) is no small glyph.
    const double side = Common::Limits::kMaxGlyphMaskSide - 2;
    if (!(x2 - x1 < side && y2 - y1 < side)) {
        m.outline = true;
        return m;
    }
    m.x = static_cast<int>(std::floor(x1)), m.y = static_cast<int>(std::floor(y1));
    m.width = static_cast<int>(std::ceil(x2)) - m.x, m.height = static_cast<int>(std::ceil(y2)) - m.y;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, m.width, m.height);
    cairo_t* cr = cairo_create(surface);
    SetOutlineFontOptions(cr);
    cairo_set_font_face(cr, key.first);
    cairo_set_font_matrix(cr, &scale);
    // Whole pixels move the outline without changing its coverage of them.
    cairo_matrix_t to_mask;
    cairo_matrix_init_translate(&to_mask, -m.x, -m.y);
    cairo_set_matrix(cr, &to_mask);
    cairo_glyph_path(cr, &g, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        m.outline = true;
        return m;
    }
    m.surface = surface;
    return m;
}

bool GlyphMasks::Flush(cairo_t* cr, Run& run, std::vector<cairo_glyph_t>& outlines)
{
    cairo_surface_t* combined = cairo_image_surface_create(CAIRO_FORMAT_A8, run.x2 - run.x1, run.y2 - run.y1);
    // Glyphs side by side share the pixels of their edges, and their coverages add up as in
    // the fill of both outlines together. Glyphs whose ink overlaps (joined scripts, marks)
    // cover more than a whole pixel between them: their coverages overlap and do not add up.
    int most = 0;
    if (cairo_surface_status(combined) == CAIRO_STATUS_SUCCESS) {
        unsigned char* out = cairo_image_surface_get_data(combined);
        const int stride = cairo_image_surface_get_stride(combined);
        for (const Run::Placed& p : run.placed) {
            const unsigned char* in = cairo_image_surface_get_data(p.mask.surface);
            const int in_stride = cairo_image_surface_get_stride(p.mask.surface);
            const int x1 = std::max(p.x, run.x1), x2 = std::min(p.x + p.mask.width, run.x2);
            const int y1 = std::max(p.y, run.y1), y2 = std::min(p.y + p.mask.height, run.y2);
            for (int y = y1; y < y2; ++y) {
                const unsigned char* s = in + static_cast<std::ptrdiff_t>(y - p.y) * in_stride + (x1 - p.x);
                unsigned char* d = out + static_cast<std::ptrdiff_t>(y - run.y1) * stride + (x1 - run.x1);
                for (int i = 0; i < x2 - x1; ++i) {
                    const int v = d[i] + s[i];
                    most = std::max(most, v);
                    d[i] = static_cast<unsigned char>(std::min(v, 255));
                }
            }
        }
        if (most > kWholePixel) {
            for (const Run::Placed& p : run.placed) outlines.push_back(p.glyph);
        } else {
            cairo_surface_mark_dirty(combined);
            cairo_mask_surface(cr, combined, run.x1, run.y1);
        }
    }
    cairo_surface_destroy(combined);
    for (const Run::Placed& p : run.placed) cairo_surface_destroy(p.mask.surface);
    run.placed.clear();
    run.bytes = 0;
    return most <= kWholePixel;
}

void GlyphMasks::Clear(const StrikeKey& keep)
{
    for (auto it = m_strikes.begin(); it != m_strikes.end();) {
        for (auto& [glyph, mask] : it->second.glyphs)
            if (mask.surface) cairo_surface_destroy(mask.surface);
        if (it->first == keep) {
            it->second.glyphs = {};
            ++it;
        } else {
            it = m_strikes.erase(it);
        }
    }
    m_bytes = kEntryBytes;
}

}  // namespace qvx::Render
