// Text: glyphs placed by the text state and drawn from cairo font faces, Type 3 glyphs
// through their procedures, and the clipping render modes.

#include <algorithm>
#include <cmath>

#include "common/Limits.h"
#include "render/ColourConvert.h"
#include "render/ContentDrawer.h"
#include "pdf/ContentLexer.h"
#include "pdf/StreamData.h"
#include "render/FontFaces.h"

namespace qvx::Render {

using PDF::Element;
using PDF::GState;
using PDF::Matrix;

namespace {

bool Clips(int mode) { return mode >= 4 && mode <= 7; }
bool Fills(int mode) { return mode == 0 || mode == 2 || mode == 4 || mode == 6; }
bool Strokes(int mode) { return mode == 1 || mode == 2 || mode == 5 || mode == 6; }

// An em of more device pixels than FreeType sizes a font to, with room for the em's slant:
// cairo cannot scale a font to it (and loses the objects it made trying).
constexpr double kMaxEmPixels = 32768;

}  // namespace

bool ContentDrawer::ColouredGlyph(SDF::Obj* proc)
{
    auto it = m_ctx.coloured_glyphs.find(proc);
    if (it != m_ctx.coloured_glyphs.end()) return it->second;
    bool coloured = false;
    // d0 or d1 comes first in a glyph procedure; a few hundred bytes hold it.
    if (auto data = PDF::ReadDecoded(proc, 4096)) {
        PDF::ContentLexer lex(*data);
        PDF::Operation op;
        if (lex.Next(op)) coloured = op.op == PDF::Op::e_d0;
    }
    return m_ctx.coloured_glyphs[proc] = coloured;
}

void ContentDrawer::DrawText(const Element& e)
{
    const GState& gs = *e.gstate;
    if (!gs.font) return;
    const PDF::Font& font = *gs.font;
    int mode = gs.text_render_mode;
    if (Clips(mode)) m_text_clip_pending = true;
    if (font.GetKind() == PDF::Font::e_type3) {
        DrawType3(e, gs);
        return;
    }
    const FontFaces::Face& face = m_ctx.fonts.Get(font);
    if (!face.face) {
        m_ctx.complete = false;
        return;
    }
    double th = gs.horiz_scale / 100, tfs = gs.font_size;
    if (!std::isfinite(th) || !std::isfinite(tfs) || th * tfs == 0 || !SetMatrix(e.text_matrix.Then(gs.ctm))) return;
    bool vertical = font.GetWMode() == 1;
    // Glyphs are placed along x of text space from the text matrix at the start of the
    // string; cairo's glyph space runs downwards, hence the flipped font matrix.
    std::vector<cairo_glyph_t> glyphs;
    std::vector<PDF::Font::CharCode> codes;
    double x = 0, y = 0;
    for (const Element::Shown& s : e.strings) {
        double adj = -s.adjust_before / 1000 * tfs;
        if (vertical) y += adj;
        else x += adj * th;
        codes.clear();
        font.Decode(s.bytes, codes);
        for (const auto& c : codes) {
            double w = font.GetWidth(c) / 1000;
            unsigned g = m_ctx.fonts.Glyph(face, font, c);
            double gx = x, gy = y + gs.text_rise, w1 = 0;
            if (vertical) {
                // The glyph hangs from the point its position vector names, the vector
                // unscaled by Tz as pdftoppm and mupdf place it.
                double vx, vy;
                font.GetVerticalMetrics(c, w1, vx, vy);
                gx -= vx / 1000 * tfs, gy -= vy / 1000 * tfs;
            }
            glyphs.push_back({g, gx, gy});
            double spacing = gs.char_spacing + (PDF::Font::IsWordSpace(c) ? gs.word_spacing : 0);
            if (vertical) y += w1 / 1000 * tfs - spacing;
            else x += (w * tfs + spacing) * th;
        }
    }
    if (glyphs.empty()) return;
    cairo_matrix_t fm, ctm, em;
    cairo_matrix_init(&fm, tfs * th * face.width_scale, 0, 0, -tfs, 0, 0);
    cairo_get_matrix(mp_cr, &ctm);
    cairo_matrix_multiply(&em, &fm, &ctm);
    if (!(std::max({std::abs(em.xx), std::abs(em.xy), std::abs(em.yx), std::abs(em.yy)}) < kMaxEmPixels)) {
        // Left undrawn, and the drawing says so: a flattening must not take it for the page.
        if (Fills(mode) || Strokes(mode) || Clips(mode)) m_ctx.complete = false;
        return;
    }
    cairo_set_font_face(mp_cr, face.face);
    cairo_set_font_matrix(mp_cr, &fm);
    // Glyph y positions: text space runs up, and the flip is in the font matrix only.
    if (Fills(mode)) {
        BeginPaint(gs);
        if (SetSource(gs, true)) {
            // Glyphs filled with a colour sit on the pixel grid as pdftoppm puts them: the
            // origin's row rounded down, its column down to a quarter pixel. Pattern fills
            // paint through the exact outlines.
            std::vector<cairo_glyph_t> snapped = glyphs;
            if (!gs.fill.space || gs.fill.space->GetFamily() != PDF::ColorSpace::e_pattern) {
                for (cairo_glyph_t& g : snapped) {
                    cairo_user_to_device(mp_cr, &g.x, &g.y);
                    g.x = std::floor(g.x * 4) / 4, g.y = std::floor(g.y);
                }
                // Small glyphs are filled from the masks kept of them, unless their outlines
                // are wanted: for a clip, or for the area a knockout group clears first.
                if (!Clips(mode) && !m_knockout) {
                    cairo_matrix_t scale = em;
                    scale.x0 = scale.y0 = 0;
                    m_ctx.glyph_masks.Fill(mp_cr, face.face, scale, snapped);
                }
                for (cairo_glyph_t& g : snapped) cairo_device_to_user(mp_cr, &g.x, &g.y);
            }
            if (!snapped.empty()) {
                cairo_new_path(mp_cr);
                cairo_glyph_path(mp_cr, snapped.data(), static_cast<int>(snapped.size()));
                cairo_set_fill_rule(mp_cr, CAIRO_FILL_RULE_WINDING);
                Knockout(e_fill_area);
                cairo_fill(mp_cr);
            }
        }
        EndPaint(gs);
    }
    if (Strokes(mode)) {
        cairo_new_path(mp_cr);
        cairo_glyph_path(mp_cr, glyphs.data(), static_cast<int>(glyphs.size()));
        BeginPaint(gs);
        if (SetSource(gs, false)) {
            // Line widths are in user space, not text space.
            Matrix tm = e.text_matrix;
            double scale = std::sqrt(std::fabs(tm.a * tm.d - tm.b * tm.c));
            GState copy = gs;
            if (scale > 0) copy.line_width = gs.line_width / scale;
            Stroke(copy);
        }
        EndPaint(gs);
    }
    if (Clips(mode)) {
        cairo_new_path(mp_cr);
        cairo_glyph_path(mp_cr, glyphs.data(), static_cast<int>(glyphs.size()));
        cairo_identity_matrix(mp_cr);
        m_text_clip.push_back(cairo_copy_path(mp_cr));
    }
    cairo_new_path(mp_cr);
}

void ContentDrawer::ApplyTextClip()
{
    if (!m_text_clip_pending) return;
    cairo_identity_matrix(mp_cr);
    cairo_new_path(mp_cr);
    for (cairo_path_t* p : m_text_clip) {
        cairo_append_path(mp_cr, p);
        cairo_path_destroy(p);
    }
    m_text_clip.clear();
    m_text_clip_pending = false;
    // Clipping text with no glyphs leaves nothing visible.
    if (cairo_has_current_point(mp_cr) == 0) cairo_rectangle(mp_cr, 0, 0, 0, 0);
    cairo_set_fill_rule(mp_cr, CAIRO_FILL_RULE_WINDING);
    cairo_clip(mp_cr);
}

void ContentDrawer::DrawType3(const Element& e, const GState& gs)
{
    // The reader's element and state are reused by the glyph procedures: keep copies.
    std::shared_ptr<const PDF::Font> hold = gs.font;
    const PDF::Font& font = *hold;
    std::vector<std::pair<Common::Bytes, double>> strings;
    for (const Element::Shown& s : e.strings) strings.emplace_back(Common::Bytes(s.bytes.begin(), s.bytes.end()), s.adjust_before);
    double th = gs.horiz_scale / 100, tfs = gs.font_size;
    if (!std::isfinite(th) || !std::isfinite(tfs) || m_ctx.depth > Common::Limits::kMaxType3GlyphNesting) return;
    // The glyph procedures run inside the text: the state they start from is the text's.
    const GState outer = gs;
    RGB colour = ColourOf(outer.fill);
    std::vector<PDF::Font::CharCode> codes;
    Matrix tm = e.text_matrix;
    for (const auto& [bytes, adjust] : strings) {
        tm = Matrix{1, 0, 0, 1, -adjust / 1000 * tfs * th, 0}.Then(tm);
        codes.clear();
        font.Decode(bytes, codes);
        for (const auto& c : codes) {
            if (m_ctx.OverBudget()) return;
            if (Fills(outer.text_render_mode) || Strokes(outer.text_render_mode)) {
                cairo_save(mp_cr);
                if (m_reader.Type3GlyphBegin(c.code, tm)) {
                    ++m_ctx.depth;
                    // Glyphs declared with d1 are shapes only: they paint in the text's colour.
                    std::unique_ptr<RGB> keep = std::move(mp_inherited);
                    if (!ColouredGlyph(font.GetCharProc(c.code))) mp_inherited = std::make_unique<RGB>(colour);
                    ++m_glyphs;
                    Walk();
                    --m_glyphs;
                    mp_inherited = std::move(keep);
                    m_reader.End();
                    --m_ctx.depth;
                }
                cairo_restore(mp_cr);
            }
            double w = font.GetWidth(c) / 1000;
            double spacing = outer.char_spacing + (PDF::Font::IsWordSpace(c) ? outer.word_spacing : 0);
            tm = Matrix{1, 0, 0, 1, (w * tfs + spacing) * th, 0}.Then(tm);
        }
    }
}

}  // namespace qvx::Render
