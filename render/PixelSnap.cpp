// Rectangles and straight lines that run along the pixel grid are drawn with whole-pixel
// edges, as pdftoppm's stroke adjustment draws them: thin rules stay one crisp pixel wide
// instead of two grey ones.

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "render/ContentDrawer.h"

namespace qvx::Render {

using PDF::GState;
using PDF::Matrix;

namespace {

constexpr double kAligned = 1e-3;  // device pixels two coordinates may differ by and count as equal

struct Point {
    double x, y;
};

// A span rounded to pixel edges, at least one pixel wide.
void Snap(double& lo, double& hi)
{
    if (lo > hi) std::swap(lo, hi);
    double a = std::floor(lo + 0.5), b = std::floor(hi + 0.5);
    if (a == b) b = a + 1;
    lo = a, hi = b;
}

bool Same(double a, double b) { return std::fabs(a - b) < kAligned; }

}  // namespace

std::optional<std::array<double, 4>> ContentDrawer::DeviceRectangle(const Matrix& ctm) const
{
    // One subpath of four corners: m l l l, closed or not, or with a fifth point back at the start.
    std::vector<Point> pts;
    for (std::size_t i = 0; i < m_path.size(); ++i) {
        const Segment& s = m_path[i];
        if ((s.kind == Segment::e_move) != (i == 0) || s.kind == Segment::e_curve) return std::nullopt;
        if (s.kind == Segment::e_close) {
            if (i + 1 != m_path.size()) return std::nullopt;
            continue;
        }
        pts.push_back({s.p[0], s.p[1]});
    }
    if (pts.size() == 5 && Same(pts[4].x, pts[0].x) && Same(pts[4].y, pts[0].y)) pts.pop_back();
    if (pts.size() != 4) return std::nullopt;
    Matrix m = ctm.Then(m_base);
    for (Point& p : pts) m.Apply(p.x, p.y);
    bool across = Same(pts[0].x, pts[1].x) && Same(pts[1].y, pts[2].y) && Same(pts[2].x, pts[3].x) && Same(pts[3].y, pts[0].y);
    bool along = Same(pts[0].y, pts[1].y) && Same(pts[1].x, pts[2].x) && Same(pts[2].y, pts[3].y) && Same(pts[3].x, pts[0].x);
    if (!across && !along) return std::nullopt;
    return std::array<double, 4>{pts[0].x, pts[0].y, pts[2].x, pts[2].y};
}

void ContentDrawer::SnapRectangleClip(const Matrix& ctm)
{
    // pdftoppm clips to such a rectangle by whole pixel rows, each row the rectangle enters
    // kept whole, and across by the exact edges.
    std::optional<std::array<double, 4>> r = DeviceRectangle(ctm);
    if (!r) return;
    auto [x0, y0, x1, y1] = *r;
    if (y0 > y1) std::swap(y0, y1);
    if (Same(y0, y1) || Same(x0, x1)) return;
    // Edges within a hair of a pixel boundary stay on it.
    y0 = std::floor(y0 + kAligned), y1 = std::ceil(y1 - kAligned);
    ReplacePath({{std::min(x0, x1), y0, std::max(x0, x1), y1}});
}

bool ContentDrawer::SnapRectangleFill(const Matrix& ctm, double& coverage)
{
    coverage = 1;
    std::optional<std::array<double, 4>> r = DeviceRectangle(ctm);
    if (!r) return false;
    auto [x0, y0, x1, y1] = *r;
    bool flat_x = Same(x0, x1), flat_y = Same(y0, y1);
    if (flat_x && flat_y) return false;
    // A rule filled as a rectangle of no height (or width) still shows, as the faint line
    // pdftoppm's anti-aliasing leaves of it: an eighth of the colour on its pixel row.
    if (flat_x || flat_y) coverage = 0.125;
    if (flat_x) x0 = std::floor(x0), x1 = x0 + 1;
    else Snap(x0, x1);
    if (flat_y) y0 = std::floor(y0), y1 = y0 + 1;
    else Snap(y0, y1);
    ReplacePath({{x0, y0, x1, y1}});
    return true;
}

bool ContentDrawer::AlongPixelGrid(const Matrix& ctm) const
{
    const Matrix m = ctm.Then(m_base);
    Point last{0, 0}, start{0, 0};
    bool any = false;
    for (const Segment& s : m_path) {
        if (s.kind == Segment::e_curve) return false;
        Point p = start;
        if (s.kind != Segment::e_close) {
            p = {s.p[0], s.p[1]};
            m.Apply(p.x, p.y);
        }
        if (s.kind == Segment::e_move) start = p;
        else if (!Same(p.x, last.x) && !Same(p.y, last.y)) return false;
        else any = true;
        last = p;
    }
    return any;
}

bool ContentDrawer::SnapLineStroke(const GState& gs)
{
    if (!gs.dash.empty() || gs.line_cap == 1 || gs.line_join == 1 || !std::isfinite(gs.line_width)) return false;
    Matrix m = gs.ctm.Then(m_base);
    // Only transforms that keep the axes: the line's width then has one size across each.
    double wx, wy;
    if (std::fabs(m.b) < 1e-9 && std::fabs(m.c) < 1e-9) wx = std::fabs(m.a), wy = std::fabs(m.d);
    else if (std::fabs(m.a) < 1e-9 && std::fabs(m.d) < 1e-9) wx = std::fabs(m.c), wy = std::fabs(m.b);
    else return false;
    double hw_x = gs.line_width * wx / 2, hw_y = gs.line_width * wy / 2;  // half widths across vertical and horizontal lines
    std::vector<std::array<double, 4>> rects;
    // Each subpath: its points in device space and whether it is closed.
    std::size_t i = 0;
    while (i < m_path.size()) {
        if (m_path[i].kind != Segment::e_move) return false;
        std::vector<Point> pts{{m_path[i].p[0], m_path[i].p[1]}};
        bool closed = false;
        for (++i; i < m_path.size() && m_path[i].kind != Segment::e_move; ++i) {
            if (m_path[i].kind == Segment::e_curve) return false;
            if (m_path[i].kind == Segment::e_close) closed = true;
            else if (!closed) pts.push_back({m_path[i].p[0], m_path[i].p[1]});
        }
        for (Point& p : pts) m.Apply(p.x, p.y);
        if (closed) pts.push_back(pts.front());
        std::size_t n = pts.size();
        for (std::size_t k = 0; k + 1 < n; ++k) {
            Point a = pts[k], b = pts[k + 1];
            bool horizontal = Same(a.y, b.y), vertical = Same(a.x, b.x);
            if (horizontal && vertical) continue;  // no length
            if (!horizontal && !vertical) return false;
            // Ends that join another segment reach over the joint; free ends as the cap says.
            bool joined_a = k > 0 || closed, joined_b = k + 2 < n || closed;
            double cap = gs.line_cap == 2 ? 1 : 0;
            double hw = horizontal ? hw_y : hw_x, along = horizontal ? hw_x : hw_y;
            double lo = horizontal ? std::min(a.x, b.x) : std::min(a.y, b.y);
            double hi = horizontal ? std::max(a.x, b.x) : std::max(a.y, b.y);
            bool lo_joined = (horizontal ? a.x <= b.x : a.y <= b.y) ? joined_a : joined_b;
            bool hi_joined = (horizontal ? a.x <= b.x : a.y <= b.y) ? joined_b : joined_a;
            lo -= (lo_joined ? 1 : cap) * along;
            hi += (hi_joined ? 1 : cap) * along;
            double c = horizontal ? a.y : a.x, c0 = c - hw, c1 = c + hw;
            Snap(lo, hi);
            if (hw > 0) Snap(c0, c1);
            else c0 = std::floor(c), c1 = c0 + 1;  // a hairline: the pixel the line runs through
            rects.push_back(horizontal ? std::array<double, 4>{lo, c0, hi, c1} : std::array<double, 4>{c0, lo, c1, hi});
        }
    }
    if (rects.empty()) return false;
    ReplacePath(rects);
    return true;
}

void ContentDrawer::ReplacePath(const std::vector<std::array<double, 4>>& device_rects)
{
    // Built in device space; cairo keeps a path in device space once built, so the user
    // space the source is set in stays as it was.
    cairo_matrix_t user;
    cairo_get_matrix(mp_cr, &user);
    cairo_identity_matrix(mp_cr);
    cairo_new_path(mp_cr);
    for (const auto& r : device_rects) cairo_rectangle(mp_cr, r[0], r[1], r[2] - r[0], r[3] - r[1]);
    cairo_set_matrix(mp_cr, &user);
    cairo_set_fill_rule(mp_cr, CAIRO_FILL_RULE_WINDING);
}

}  // namespace qvx::Render
