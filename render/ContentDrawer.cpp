#include "render/ContentDrawer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "render/ColourConvert.h"
#include "render/OptionalContent.h"
#include "sdf/Obj.h"
#include "sdf/SDFDoc.h"
#include "sdf/Stream.h"
#include "sdf/StreamLength.h"

namespace qvx::Render {

using PDF::Element;
using PDF::GState;
using PDF::Matrix;
using PDF::Op;

namespace {

// Unfiltered content whose Length stops short of its endstream is read on to it, as viewers
// read it.
void ReadToEndstream(SDF::Obj* stream)
{
    auto* s = stream ? dynamic_cast<SDF::FileStream*>(stream->Resolve()) : nullptr;
    if (SDF::SDFDoc* doc = s ? s->GetDoc() : nullptr) SDF::ReadToEndstream(doc->GetImpl(), *s);
}

}  // namespace

RenderContext::~RenderContext()
{
    for (auto& [key, surface] : masks)
        if (surface) cairo_surface_destroy(surface);
    for (auto& [key, surface] : sampled_shadings) cairo_surface_destroy(surface);
}

bool RenderContext::OverBudget() const
{
    return operators > Common::Limits::kMaxRenderOperators || image_pixels > Common::Limits::kMaxRenderImagePixels;
}

ContentDrawer::ContentDrawer(cairo_t* cr, RenderContext& ctx, const Matrix& base)
    : mp_cr(cr), m_ctx(ctx), m_base(base), m_reader(ctx.cache, this)
{
    m_reader.SetOperatorHook([this](const PDF::Operation& op) { OnOperator(op); });
    SetOutlineFontOptions(mp_cr);
}

ContentDrawer::~ContentDrawer()
{
    for (cairo_path_t* p : m_text_clip) cairo_path_destroy(p);
}

void ContentDrawer::OnIssue(const PDF::ContentIssue& issue)
{
    switch (issue.kind) {
    case PDF::ContentIssue::e_unknown_operator: case PDF::ContentIssue::e_inherited_resource:
    case PDF::ContentIssue::e_unbalanced_restore:
        break;
    default:
        if (!issue.in_compatibility) m_ctx.complete = false;
    }
}

void ContentDrawer::SetInheritedColour(const RGB& rgb)
{
    mp_inherited = std::make_unique<RGB>(rgb);
}

void ContentDrawer::DrawPage(const PDF::Page& page, const std::vector<std::size_t>& stops,
                             const std::function<void(std::size_t)>& at_stop)
{
    for (SDF::Obj* s : page.GetContentStreams()) ReadToEndstream(s);
    // A clip the content leaves set at its end must not reach the annotations drawn next.
    cairo_save(mp_cr);
    m_reader.Begin(page);
    if (at_stop) mp_stops = &stops, mp_at_stop = &at_stop, m_next_stop = 0;
    Walk();
    ReachStops(std::numeric_limits<std::size_t>::max());
    mp_stops = nullptr, mp_at_stop = nullptr;
    m_reader.End();
    cairo_restore(mp_cr);
}

void ContentDrawer::ReachStops(std::size_t offset)
{
    if (!mp_stops || m_next_stop >= mp_stops->size() || (*mp_stops)[m_next_stop] > offset) return;
    cairo_surface_flush(cairo_get_target(mp_cr));
    for (; m_next_stop < mp_stops->size() && (*mp_stops)[m_next_stop] <= offset; ++m_next_stop) (*mp_at_stop)(m_next_stop);
}

void ContentDrawer::DrawForm(SDF::Obj* stream, bool own_matrix)
{
    SDF::Obj* s = PDF::Deref(stream);
    if (!s || !s->IsStream()) return;
    m_reader.Begin(s, nullptr);
    if (own_matrix) {
        // A stream started on its own runs in its own space; its Matrix goes into the base.
        Matrix m;
        PDF::ReadMatrix(PDF::FindIn(s, "Matrix"), m);
        m_base = m.Then(m_base);
    }
    cairo_save(mp_cr);
    PDF::Rect bbox;
    if (PDF::ReadRect(PDF::FindIn(s, "BBox"), bbox) && SetMatrix(Matrix())) {
        bbox = bbox.Normalized();
        cairo_new_path(mp_cr);
        cairo_rectangle(mp_cr, bbox.x1, bbox.y1, bbox.Width(), bbox.Height());
        cairo_clip(mp_cr);
    }
    Walk();
    cairo_restore(mp_cr);
    m_reader.End();
}

void ContentDrawer::DrawContent(const std::string& content)
{
    m_reader.Begin(Common::AsBytes(content), nullptr);
    Walk();
    m_reader.End();
}

bool ContentDrawer::SetMatrix(const Matrix& user)
{
    Matrix m = user.Then(m_base);
    double det = m.a * m.d - m.b * m.c;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12 || !std::isfinite(m.e) || !std::isfinite(m.f) ||
        std::fabs(m.e) > 1e9 || std::fabs(m.f) > 1e9)
        return false;
    cairo_matrix_t cm;
    cairo_matrix_init(&cm, m.a, m.b, m.c, m.d, m.e, m.f);
    cairo_set_matrix(mp_cr, &cm);
    return true;
}

void ContentDrawer::Walk()
{
    int saves = 0;
    while (const Element* e = m_reader.Next()) {
        // Stops are the page's own: forms and glyphs walked inside it have none.
        if (m_reader.NestingDepth() == 1) ReachStops(m_op_offset);
        if (m_ctx.OverBudget()) {
            m_ctx.complete = false;
            break;
        }
        if (e->kind == Element::e_marked_content_begin) {
            bool hide = e->name == "OC" && !m_ctx.oc.Visible(e->obj);
            m_marked.push_back(hide);
            m_hidden += hide;
            continue;
        }
        if (e->kind == Element::e_marked_content_end) {
            if (!m_marked.empty()) {
                m_hidden -= m_marked.back();
                m_marked.pop_back();
            }
            continue;
        }
        bool drawing = e->kind != Element::e_save && e->kind != Element::e_restore;
        if (drawing && m_hidden > 0) {
            // Hidden content paints nothing; its path is dropped.
            if (e->kind == Element::e_path) m_path.clear();
            continue;
        }
        // XObjects marked as optional content.
        if ((e->kind == Element::e_form || e->kind == Element::e_image) && !m_ctx.oc.Visible(PDF::FindIn(e->obj, "OC")))
            continue;
        switch (e->kind) {
        case Element::e_save:
            cairo_save(mp_cr);
            ++saves;
            break;
        case Element::e_restore:
            if (saves > 0) {
                cairo_restore(mp_cr);
                --saves;
            }
            break;
        case Element::e_path: DrawPath(*e); break;
        case Element::e_text: DrawText(*e); break;
        case Element::e_image: case Element::e_inline_image: DrawImage(*e); break;
        case Element::e_shading: DrawShading(*e); break;
        case Element::e_form: EnterForm(*e); break;
        case Element::e_xobject: m_ctx.complete = false; break;
        default: break;
        }
    }
    for (; saves > 0; --saves) cairo_restore(mp_cr);
}

void ContentDrawer::OnOperator(const PDF::Operation& op)
{
    ++m_ctx.operators;
    m_op_offset = op.offset;
    double v[6];
    auto numbers = [&](std::size_t n) {
        if (op.Size() < n) return false;
        for (std::size_t i = 0; i < n; ++i) {
            const PDF::Operand& o = op[op.Size() - n + i];
            if (!o.IsNumber() || !std::isfinite(o.number)) return false;
            v[i] = o.number;
        }
        return true;
    };
    if (m_path.size() > Common::Limits::kMaxRenderPathSegments) {
        m_path.clear();
        m_ctx.complete = false;
    }
    switch (op.op) {
    case Op::e_m:
        if (numbers(2)) m_path.push_back({Segment::e_move, {v[0], v[1]}}), m_cx = v[0], m_cy = v[1];
        break;
    case Op::e_l:
        if (numbers(2)) m_path.push_back({Segment::e_line, {v[0], v[1]}}), m_cx = v[0], m_cy = v[1];
        break;
    case Op::e_c:
        if (numbers(6)) m_path.push_back({Segment::e_curve, {v[0], v[1], v[2], v[3], v[4], v[5]}}), m_cx = v[4], m_cy = v[5];
        break;
    case Op::e_v:
        if (numbers(4)) m_path.push_back({Segment::e_curve, {m_cx, m_cy, v[0], v[1], v[2], v[3]}}), m_cx = v[2], m_cy = v[3];
        break;
    case Op::e_y:
        if (numbers(4)) m_path.push_back({Segment::e_curve, {v[0], v[1], v[2], v[3], v[2], v[3]}}), m_cx = v[2], m_cy = v[3];
        break;
    case Op::e_re:
        if (numbers(4)) {
            m_path.push_back({Segment::e_move, {v[0], v[1]}});
            m_path.push_back({Segment::e_line, {v[0] + v[2], v[1]}});
            m_path.push_back({Segment::e_line, {v[0] + v[2], v[1] + v[3]}});
            m_path.push_back({Segment::e_line, {v[0], v[1] + v[3]}});
            m_path.push_back({Segment::e_close, {}});
            m_cx = v[0], m_cy = v[1];
        }
        break;
    case Op::e_h: m_path.push_back({Segment::e_close, {}}); break;
    case Op::e_s: case Op::e_b: case Op::e_bstar:
        // The closing painting operators close the last subpath before painting it.
        if (!m_path.empty()) m_path.push_back({Segment::e_close, {}});
        break;
    case Op::e_W: m_clip_even_odd = false; break;
    case Op::e_Wstar: m_clip_even_odd = true; break;
    case Op::e_gs:
        if (SDF::Obj* m = m_reader.GetGState().soft_mask) m_ctx.mask_ctm[m] = m_reader.GetGState().ctm;
        break;
    case Op::e_ET: ApplyTextClip(); break;
    default: break;
    }
}

void ContentDrawer::AppendPath()
{
    cairo_new_path(mp_cr);
    for (const Segment& s : m_path) {
        switch (s.kind) {
        case Segment::e_move: cairo_move_to(mp_cr, s.p[0], s.p[1]); break;
        case Segment::e_line: cairo_line_to(mp_cr, s.p[0], s.p[1]); break;
        case Segment::e_curve: cairo_curve_to(mp_cr, s.p[0], s.p[1], s.p[2], s.p[3], s.p[4], s.p[5]); break;
        case Segment::e_close: cairo_close_path(mp_cr); break;
        }
    }
}

void ContentDrawer::DrawPath(const Element& e)
{
    const GState& gs = *e.gstate;
    if (!m_path.empty() && SetMatrix(gs.ctm)) {
        if (e.fill) {
            AppendPath();
            cairo_set_fill_rule(mp_cr, e.even_odd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
            double coverage = 1;
            SnapRectangleFill(gs.ctm, coverage);
            BeginPaint(gs);
            if (SetSource(gs, true)) {
                Knockout(e_fill_area);
                if (coverage < 1) {
                    cairo_save(mp_cr);
                    cairo_clip(mp_cr);
                    cairo_paint_with_alpha(mp_cr, coverage);
                    cairo_restore(mp_cr);
                } else {
                    cairo_fill(mp_cr);
                }
            }
            EndPaint(gs);
        }
        if (e.stroke) {
            AppendPath();
            bool snapped = SnapLineStroke(gs);
            BeginPaint(gs);
            if (SetSource(gs, false)) {
                if (snapped) {
                    Knockout(e_fill_area);
                    cairo_fill(mp_cr);
                } else {
                    Stroke(gs, true);
                }
            }
            EndPaint(gs);
        }
        if (e.clip) {
            SetMatrix(gs.ctm);
            AppendPath();
            cairo_set_fill_rule(mp_cr, m_clip_even_odd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
            SnapRectangleClip(gs.ctm);
            cairo_clip(mp_cr);
        }
    } else if (e.clip) {
        // A clip by an empty or degenerate path leaves nothing visible.
        cairo_reset_clip(mp_cr);
        cairo_identity_matrix(mp_cr);
        cairo_new_path(mp_cr);
        cairo_rectangle(mp_cr, 0, 0, 0, 0);
        cairo_clip(mp_cr);
    }
    cairo_new_path(mp_cr);
    m_path.clear();
}

void ContentDrawer::Stroke(const GState& gs, bool current_path)
{
    static const cairo_line_cap_t caps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_SQUARE};
    static const cairo_line_join_t joins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL};
    cairo_set_line_cap(mp_cr, caps[std::clamp(gs.line_cap, 0, 2)]);
    cairo_set_line_join(mp_cr, joins[std::clamp(gs.line_join, 0, 2)]);
    cairo_set_miter_limit(mp_cr, std::max(1.0, gs.miter_limit));
    cairo_set_dash(mp_cr, gs.dash.data(), static_cast<int>(gs.dash.size()), gs.dash_phase);
    // A line of width 0, and one thinner than a pixel whose segments all run along the
    // pixel grid, is drawn one pixel wide, as pdftoppm's stroke adjustment draws it; other
    // thin lines keep their width and draw fainter, as there. The width is in the space cairo
    // draws in (text space for glyph outlines, which are never along the grid).
    cairo_matrix_t m;
    cairo_get_matrix(mp_cr, &m);
    double scale = std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
    double w = gs.line_width;
    if (!std::isfinite(w) || w <= 0 || (w * scale < 1 && current_path && AlongPixelGrid(gs.ctm))) w = 1 / scale;
    cairo_set_line_width(mp_cr, w);
    Knockout(e_stroke_area);
    cairo_stroke(mp_cr);
}

void ContentDrawer::EnterForm(const Element& e)
{
    SDF::Obj* form = e.obj;
    ReadToEndstream(form);
    if (!form || !m_reader.FormBegin()) return;
    cairo_save(mp_cr);
    const GState gs = *e.gstate;  // the reader's state moves on inside the form
    PDF::Rect bbox;
    if (PDF::ReadRect(PDF::FindIn(form, "BBox"), bbox) && SetMatrix(m_reader.GetGState().ctm)) {
        bbox = bbox.Normalized();
        cairo_new_path(mp_cr);
        cairo_rectangle(mp_cr, bbox.x1, bbox.y1, bbox.Width(), bbox.Height());
        cairo_clip(mp_cr);
    }
    SDF::Obj* group = PDF::FindDict(form, "Group");
    if (group && PDF::FindName(group, "S") == "Transparency") DrawGroup(group, gs);
    else Walk();
    cairo_restore(mp_cr);
    m_reader.End();
}

void ContentDrawer::DrawGroup(SDF::Obj* group, const GState& gs)
{
    // Pushed in device space: the group's pattern then maps to the device as it is.
    cairo_identity_matrix(mp_cr);
    // A non-isolated group starts from what lies under it and is then put back in its place,
    // in proportion to its alpha and soft mask. Under a blend mode, or inside a knockout
    // group (whose own backdrop it would restore everywhere), it is drawn as isolated.
    bool normal = gs.blend_mode == "Normal" || gs.blend_mode == "Compatible";
    bool over_backdrop = !PDF::FindBool(group, "I", false) && normal && !m_knockout;
    bool knockout = PDF::FindBool(group, "K", false);
    cairo_pattern_t* backdrop = nullptr;
    if (over_backdrop && knockout) {
        // Each object of a knockout group composites against this same backdrop: keep a copy.
        cairo_surface_t* under = cairo_get_group_target(mp_cr);
        cairo_push_group(mp_cr);
        cairo_set_source_surface(mp_cr, under, 0, 0);
        PaintUnder();
        backdrop = cairo_pop_group(mp_cr);
    }
    cairo_surface_t* under = cairo_get_group_target(mp_cr);
    cairo_push_group(mp_cr);
    if (backdrop) {
        cairo_set_source(mp_cr, backdrop);
        PaintUnder();
    } else if (over_backdrop) {
        cairo_set_source_surface(mp_cr, under, 0, 0);
        PaintUnder();
    }
    cairo_set_operator(mp_cr, CAIRO_OPERATOR_OVER);
    bool outer_knockout = m_knockout;
    cairo_pattern_t* outer_backdrop = mp_knockout_backdrop;
    m_knockout = knockout;
    mp_knockout_backdrop = backdrop;
    m_reader.ResetTransparency();
    Walk();
    m_knockout = outer_knockout;
    mp_knockout_backdrop = outer_backdrop;
    cairo_pattern_t* p = cairo_pop_group(mp_cr);
    double alpha = std::isfinite(gs.fill_alpha) ? std::clamp(gs.fill_alpha, 0.0, 1.0) : 1;
    if (over_backdrop) {
        cairo_surface_t* mask = gs.soft_mask ? SoftMask(gs.soft_mask) : nullptr;
        cairo_set_operator(mp_cr, CAIRO_OPERATOR_SOURCE);
        if (mask && alpha < 1) {
            cairo_push_group_with_content(mp_cr, CAIRO_CONTENT_ALPHA);
            cairo_set_source_surface(mp_cr, mask, 0, 0);
            cairo_paint_with_alpha(mp_cr, alpha);
            cairo_pattern_t* m = cairo_pop_group(mp_cr);
            cairo_set_source(mp_cr, p);
            cairo_mask(mp_cr, m);
            cairo_pattern_destroy(m);
        } else if (mask) {
            cairo_set_source(mp_cr, p);
            cairo_mask_surface(mp_cr, mask, 0, 0);
        } else if (!gs.soft_mask) {
            cairo_set_source(mp_cr, p);
            cairo_paint_with_alpha(mp_cr, alpha);
        }
        cairo_set_operator(mp_cr, CAIRO_OPERATOR_OVER);
    } else {
        // The group is composited as one object with the alpha, blend mode and soft mask in force.
        // Inside a knockout group it first takes out what lies under its shape, even when drawn
        // fully transparent (a clear shape that lets the group's backdrop through).
        Knockout(e_clip_area, p);
        BeginPaint(gs);
        cairo_set_source(mp_cr, p);
        cairo_paint_with_alpha(mp_cr, alpha);
        EndPaint(gs);
    }
    cairo_pattern_destroy(p);
    if (backdrop) cairo_pattern_destroy(backdrop);
}

void ContentDrawer::PaintUnder()
{
    // Unclipped: a copy cut at the clip's soft edge would come back through that edge a second
    // time when the group is put in place, and an empty group would then draw the clip's outline.
    cairo_save(mp_cr);
    cairo_reset_clip(mp_cr);
    cairo_set_operator(mp_cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(mp_cr);
    cairo_restore(mp_cr);
}

void ContentDrawer::Knockout(KnockoutArea area, cairo_pattern_t* mask)
{
    if (!m_knockout) return;
    // The object's area first returns to the group's backdrop (clear when isolated).
    cairo_save(mp_cr);
    if (mp_knockout_backdrop) {
        // The backdrop is in device space, the path in user space.
        cairo_matrix_t m;
        cairo_get_matrix(mp_cr, &m);
        cairo_pattern_set_matrix(mp_knockout_backdrop, &m);
        cairo_set_source(mp_cr, mp_knockout_backdrop);
        cairo_set_operator(mp_cr, CAIRO_OPERATOR_SOURCE);
    } else {
        // Cleared by an opaque source taken out of it (cairo's clear leaves strokes as they are).
        cairo_set_source_rgb(mp_cr, 0, 0, 0);
        cairo_set_operator(mp_cr, CAIRO_OPERATOR_DEST_OUT);
    }
    if (mask) cairo_mask(mp_cr, mask);
    else if (area == e_clip_area) cairo_paint(mp_cr);
    else if (area == e_stroke_area) cairo_stroke_preserve(mp_cr);
    else cairo_fill_preserve(mp_cr);
    cairo_restore(mp_cr);
}

}  // namespace qvx::Render
