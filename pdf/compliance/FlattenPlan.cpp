#include "pdf/compliance/FlattenPlan.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/Exception.h"
#include "common/Limits.h"
#include "pdf/ElementReader.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageContent.h"
#include "pdf/StreamData.h"
#include "pdf/TextLayout.h"
#include "pdf/compliance/ContentWalk.h"
#include "pdf/compliance/TransparencyUse.h"

namespace qvx::PDF {

namespace {

// Rectangles one image group keeps apart before they become their union.
constexpr std::size_t kMaxRectsPerGroup = 8;
// Text elements of the forms taken out that are kept as invisible text.
constexpr std::size_t kMaxTextRuns = 100000;
// Opaque areas remembered while a group is open; past it the group is closed.
constexpr std::size_t kMaxOpaqueAreas = 512;
// Stroke and glyph margins, in default user space units, beyond the computed extent.
constexpr double kMargin = 1;

constexpr double kInf = std::numeric_limits<double>::infinity();

Rect EmptyRect() { return {kInf, kInf, -kInf, -kInf}; }
bool IsEmpty(const Rect& r) { return !(r.x1 <= r.x2 && r.y1 <= r.y2); }

void Include(Rect& r, double x, double y)
{
    r = {std::min(r.x1, x), std::min(r.y1, y), std::max(r.x2, x), std::max(r.y2, y)};
}

Rect Union(const Rect& a, const Rect& b)
{
    if (IsEmpty(a)) return b;
    if (IsEmpty(b)) return a;
    return {std::min(a.x1, b.x1), std::min(a.y1, b.y1), std::max(a.x2, b.x2), std::max(a.y2, b.y2)};
}

Rect Intersect(const Rect& a, const Rect& b)
{
    return {std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
}

bool Overlap(const Rect& a, const Rect& b) { return !IsEmpty(Intersect(a, b)); }

Rect Grown(const Rect& r, double by) { return IsEmpty(r) ? r : Rect{r.x1 - by, r.y1 - by, r.x2 + by, r.y2 + by}; }

// How far one unit of user space reaches on the page, on average.
double Scale(const Matrix& m) { return std::sqrt(std::fabs(m.a * m.d - m.b * m.c)); }

bool Invert(const Matrix& m, Matrix& out)
{
    double det = m.a * m.d - m.b * m.c;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
    out = {m.d / det, -m.b / det, -m.c / det, m.a / det, (m.c * m.f - m.d * m.e) / det, (m.b * m.e - m.a * m.f) / det};
    return true;
}

bool IsPathConstruction(Op op)
{
    return op == Op::e_m || op == Op::e_l || op == Op::e_c || op == Op::e_v || op == Op::e_y || op == Op::e_h ||
           op == Op::e_re;
}

bool IsPathPainting(Op op)
{
    switch (op) {
    case Op::e_S: case Op::e_s: case Op::e_f: case Op::e_F: case Op::e_fstar: case Op::e_B: case Op::e_Bstar:
    case Op::e_b: case Op::e_bstar: case Op::e_n: return true;
    default: return false;
    }
}

bool Paints(const Element& el)
{
    switch (el.kind) {
    case Element::e_path:
    case Element::e_text: {
        PaintUse p = PaintsWith(el);
        return p.fill || p.stroke;
    }
    case Element::e_image:
    case Element::e_inline_image:
    case Element::e_shading:
    case Element::e_form: return true;
    default: return false;
    }
}

std::string_view Text(Common::ByteView data, std::size_t from, std::size_t to)
{
    return {reinterpret_cast<const char*>(data.data()) + from, to - from};
}

// The strings of a text element as a TJ array, adjustments included.
std::string ShownArray(const Element& el)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "[";
    for (const Element::Shown& s : el.strings) {
        if (s.adjust_before != 0) out += ContentNumber(s.adjust_before) + " ";
        out += '<';
        for (std::uint8_t b : s.bytes) out += {kHex[b >> 4], kHex[b & 15]};
        out += "> ";
    }
    if (el.adjust_after != 0) out += ContentNumber(el.adjust_after);
    out += "]";
    return out;
}

}  // namespace

// Reads the page's top-level operations (forms are entered only to test them) and builds
// the plan as it goes.
class FlattenPlan::Reader {
public:
    Reader(FlattenPlan& plan, ResourceCache& cache, const Page& page)
        : m_plan(plan), m_cache(cache), m_reader(cache), m_walk(cache, {true, true}), m_page(Intersect(page.GetMediaBox(), page.GetCropBox()))
    {
        m_clip = m_page;
        m_reader.SetOperatorHook([this](const Operation& op) {
            if (m_reader.NestingDepth() == 1) OnOperation(op);
        });
        m_reader.Begin(Common::ByteView(m_plan.m_content), page.GetResourceDict());
    }

    void Run()
    {
        while (m_reader.NestingDepth() > 0) {
            const Element* el = m_reader.Next();
            if (!el) {
                m_reader.End();
                continue;
            }
            if (m_reader.NestingDepth() == 1) OnElement(*el);
        }
        for (Group& g : m_plan.m_groups) {
            if (g.at == kPending) g.at = m_plan.m_content.size();
            g.stop = std::max(g.stop, g.at);
        }
        for (Edit& e : m_plan.m_edits)
            if (e.kind == Edit::e_images) e.from = e.to = m_plan.m_groups[e.value].at;
    }

private:
    static constexpr std::size_t kPending = std::numeric_limits<std::size_t>::max();

    void OnOperation(const Operation& op)
    {
        const Common::Bytes& data = m_plan.m_content;
        std::size_t from = m_prev_end, to = std::min(op.offset + op.keyword.size(), data.size());
        if (op.op == Op::e_BI) to = InlineImageEnd(op);
        m_prev_end = to;
        m_op_from = from;
        m_op_to = to;
        const GState& gs = m_reader.GetGState();
        if (IsPathConstruction(op.op)) {
            if (!m_in_path) {
                m_in_path = true;
                m_path_from = from;
                m_path = EmptyRect();
            }
            AddPathPoints(op, gs.ctm);
        } else if (IsPathPainting(op.op)) {
            m_last_path = m_in_path ? m_path : EmptyRect();
            m_last_path_from = m_in_path ? m_path_from : from;
            m_in_path = false;
        } else if (op.op == Op::e_BT) {
            m_in_text = true;
            m_text_clip = false;
        } else if (op.op == Op::e_ET) {
            m_in_text = false;
            if (m_await_et && m_group >= 0) m_plan.m_groups[m_group].at = to;
            m_await_et = false;
            if (m_text_clip) m_context = ++m_contexts;
        } else if (op.op == Op::e_gs && BlendsWithBackdrop(gs)) {
            // From here on only elements that are taken out draw in this state.
            m_plan.m_edits.push_back({Edit::e_reset, to, to});
        }
    }

    std::size_t InlineImageEnd(const Operation& op) const
    {
        const Common::Bytes& data = m_plan.m_content;
        std::size_t at = op.offset;
        if (!op.inline_data.empty() && op.inline_data.data() >= data.data() &&
            op.inline_data.data() + op.inline_data.size() <= data.data() + data.size())
            at = static_cast<std::size_t>(op.inline_data.data() - data.data()) + op.inline_data.size();
        std::string_view rest = Text(data, at, data.size());
        std::size_t ei = rest.find("EI");
        return ei == std::string_view::npos ? data.size() : at + ei + 2;
    }

    void AddPathPoints(const Operation& op, const Matrix& ctm)
    {
        std::size_t n = op.Size();
        for (std::size_t i = 0; i < n; ++i)
            if (!op[i].IsNumber()) return;
        auto add = [&](double x, double y) {
            ctm.Apply(x, y);
            Include(m_path, x, y);
        };
        if (op.op == Op::e_re && n == 4) {
            double x = op[0].number, y = op[1].number, w = op[2].number, h = op[3].number;
            add(x, y), add(x + w, y), add(x, y + h), add(x + w, y + h);
            return;
        }
        for (std::size_t i = 0; i + 1 < n; i += 2) add(op[i].number, op[i + 1].number);
    }

    void OnElement(const Element& el)
    {
        if (el.Is(Element::e_save)) {
            m_saved.push_back({m_context, m_clip});
            return;
        }
        if (el.Is(Element::e_restore)) {
            if (!m_saved.empty()) {
                std::tie(m_context, m_clip) = m_saved.back();
                m_saved.pop_back();
            }
            return;
        }
        if (Paints(el)) {
            Rect area = Intersect(Intersect(AreaOf(el), m_clip), m_page);
            // The test reads on through what el draws, which reuses the reader's element.
            Element kept = el;
            GState state = *el.gstate;
            kept.gstate = &state;
            if (m_walk.ElementUses(m_reader, el)) TakeOut(kept, area);
            else if (m_group >= 0 && !IsEmpty(area)) RememberOpaque(area);
            Clips(kept);
        } else {
            Clips(el);
        }
    }

    void Clips(const Element& el)
    {
        if (el.Is(Element::e_path) && el.clip) {
            m_clip = Intersect(m_clip, m_last_path);
            m_context = ++m_contexts;
        }
        if (el.Is(Element::e_text) && el.gstate->text_render_mode >= 4) m_text_clip = true;
    }

    // Opaque content over the open group's images would be in them and drawn over them
    // again: the group ends before it.
    void RememberOpaque(const Rect& area)
    {
        const std::vector<Rect>& rects = m_plan.m_groups[m_group].rects;
        if (m_opaque.size() >= kMaxOpaqueAreas || std::any_of(rects.begin(), rects.end(), [&](const Rect& r) { return Overlap(r, area); })) {
            m_group = -1;
            return;
        }
        m_opaque.push_back(area);
    }

    void TakeOut(const Element& el, const Rect& area)
    {
        Edit edit{Edit::e_remove, m_op_from, m_op_to};
        if (el.Is(Element::e_form)) edit.value = KeepText(el);
        if (el.Is(Element::e_path)) edit.kind = Edit::e_no_paint;
        if (el.Is(Element::e_text)) edit = {Edit::e_invisible, m_op_from, m_op_to, el.gstate->text_render_mode};
        m_plan.m_edits.push_back(edit);
        if (IsEmpty(area)) return;
        // The images grow by the element's area (and merge): opaque content drawn since the
        // group opened must stay outside them.
        std::vector<Rect> rects;
        if (m_group >= 0 && m_group_context == m_context) {
            rects = m_plan.m_groups[m_group].rects;
            AddRect(rects, area);
        }
        bool joins = !rects.empty() && std::none_of(m_opaque.begin(), m_opaque.end(), [&](const Rect& o) {
            return std::any_of(rects.begin(), rects.end(), [&](const Rect& r) { return Overlap(r, o); });
        });
        if (!joins) {
            Open(el);
            rects.clear();
            AddRect(rects, area);
        }
        Group& g = m_plan.m_groups[m_group];
        g.rects = std::move(rects);
        g.stop = m_op_to;
    }

    // The visible text of a form taken out, to be shown invisibly in its place: the form is
    // read again on its own, from its own origin, with its nested forms.
    int KeepText(const Element& el)
    {
        FormText text;
        if (!ReadMatrix(FindIn(el.obj, "Matrix"), text.matrix)) text.matrix = Matrix();
        ElementReader reader(m_cache);
        reader.Begin(el.obj, m_reader.GetResources().GetDict());
        while (reader.NestingDepth() > 0) {
            const Element* t = reader.Next();
            if (!t) {
                reader.End();
                continue;
            }
            if (t->Is(Element::e_form)) reader.FormBegin();
            const GState& gs = *t->gstate;
            if (!t->Is(Element::e_text) || !gs.font_dict || !(PaintsWith(*t).fill || PaintsWith(*t).stroke)) continue;
            if (m_runs >= kMaxTextRuns) break;
            ++m_runs;
            auto font = std::find(m_plan.m_fonts.begin(), m_plan.m_fonts.end(), gs.font_dict);
            if (font == m_plan.m_fonts.end()) font = m_plan.m_fonts.insert(font, gs.font_dict);
            text.runs.push_back({gs.ctm, static_cast<std::size_t>(font - m_plan.m_fonts.begin()), gs.font_size,
                                 gs.char_spacing, gs.word_spacing, gs.horiz_scale, gs.text_rise, t->text_matrix,
                                 ShownArray(*t)});
        }
        if (text.runs.empty()) return -1;
        m_plan.m_texts.push_back(std::move(text));
        return static_cast<int>(m_plan.m_texts.size() - 1);
    }

    // A new group drawn right after the element (after its text object for text; before
    // its path when the path also clips, as the clip did not apply to the element).
    void Open(const Element& el)
    {
        m_group = static_cast<int>(m_plan.m_groups.size());
        m_group_context = m_context;
        m_opaque.clear();
        Group g;
        g.ctm = el.gstate->ctm;
        g.at = m_op_to;
        if (el.Is(Element::e_path) && el.clip) g.at = m_last_path_from;
        m_await_et = m_in_text;
        if (m_in_text) g.at = kPending;
        m_plan.m_groups.push_back(g);
        m_plan.m_edits.push_back({Edit::e_images, 0, 0, m_group});
    }

    static void AddRect(std::vector<Rect>& rects, Rect r)
    {
        // Overlapping rectangles become one, repeatedly, so the images never overlap.
        for (bool merged = true; merged;) {
            merged = false;
            for (std::size_t i = 0; i < rects.size(); ++i) {
                if (!Overlap(Grown(rects[i], kMargin), r)) continue;
                r = Union(r, rects[i]);
                rects.erase(rects.begin() + static_cast<long>(i));
                merged = true;
                break;
            }
        }
        rects.push_back(r);
        if (rects.size() > kMaxRectsPerGroup) {
            Rect all = EmptyRect();
            for (const Rect& x : rects) all = Union(all, x);
            rects = {all};
        }
    }

    // What an element can touch, in default user space; the whole page when unknown.
    Rect AreaOf(const Element& el) const
    {
        const GState& gs = *el.gstate;
        switch (el.kind) {
        case Element::e_path: {
            if (IsEmpty(m_last_path)) return m_page;
            double w = el.stroke ? std::max(gs.line_width, 1.0) * Scale(gs.ctm) * 2 : 0;
            return Grown(m_last_path, w + kMargin);
        }
        case Element::e_text: return TextArea(el);
        case Element::e_image:
        case Element::e_inline_image: return Grown(Transformed({0, 0, 1, 1}, gs.ctm), kMargin);
        case Element::e_form: {
            Rect bbox;
            if (!ReadRect(FindIn(el.obj, "BBox"), bbox)) return m_page;
            Matrix m;
            if (SDF::Obj* mo = FindIn(el.obj, "Matrix")) ReadMatrix(mo, m);
            return Grown(Transformed(bbox.Normalized(), m.Then(gs.ctm)), kMargin);
        }
        case Element::e_shading: {
            Rect bbox;
            if (!ReadRect(FindIn(el.obj, "BBox"), bbox)) return m_page;
            return Grown(Transformed(bbox.Normalized(), gs.ctm), kMargin);
        }
        default: return m_page;
        }
    }

    // Each glyph from a little left of its origin to a little right of the next one, from
    // below the descender to above the ascender.
    Rect TextArea(const Element& el) const
    {
        Rect r = EmptyRect();
        LayoutText(el, [&](const PlacedGlyph& g) {
            const Matrix& t = g.trm;
            for (double gy : {-0.4, 1.25}) {
                double x = -0.25, y = gy;
                t.Apply(x, y);
                Include(r, x, y);
                double dx = 0.25 * t.a + gy * t.c, dy = 0.25 * t.b + gy * t.d;
                Include(r, g.end_x + dx, g.end_y + dy);
            }
        });
        if (IsEmpty(r)) return m_page;
        const GState& gs = *el.gstate;
        double w = PaintsWith(el).stroke ? std::max(gs.line_width, 1.0) * Scale(gs.ctm) * 2 : 0;
        return Grown(r, w + kMargin);
    }

    FlattenPlan& m_plan;
    ResourceCache& m_cache;
    ElementReader m_reader;
    TransparencyWalk m_walk;
    Rect m_page;
    Rect m_clip;

    std::size_t m_prev_end = 0, m_op_from = 0, m_op_to = 0;
    bool m_in_path = false;
    std::size_t m_path_from = 0, m_last_path_from = 0;
    Rect m_path = EmptyRect(), m_last_path = EmptyRect();
    bool m_in_text = false, m_text_clip = false, m_await_et = false;

    // Clip states: a new number for every clip, kept and restored with q and Q.
    int m_context = 0, m_contexts = 0;
    std::vector<std::pair<int, Rect>> m_saved;

    int m_group = -1, m_group_context = 0;
    std::vector<Rect> m_opaque;
    std::size_t m_runs = 0;
};

FlattenPlan::FlattenPlan(ResourceCache& cache, const Page& page)
{
    for (SDF::Obj* s : page.GetContentStreams()) {
        auto data = ReadDecoded(s, Common::Limits::kMaxContentBytes - m_content.size());
        QVX_CHECK(data, "A content stream of the page cannot be read");
        m_content.insert(m_content.end(), data->begin(), data->end());
        m_content.push_back('\n');
    }
    Reader(*this, cache, page).Run();
}

Rect FlattenPlan::Bounds() const
{
    Rect r = EmptyRect();
    for (const Group& g : m_groups)
        for (const Rect& x : g.rects) r = Union(r, x);
    return IsEmpty(r) ? Rect{} : r;
}

std::size_t FlattenPlan::ImageCount() const
{
    std::size_t n = 0;
    for (const Group& g : m_groups) n += g.rects.size();
    return n;
}

std::string FlattenPlan::InvisibleText(const FormText& text, const std::vector<std::string>& fonts) const
{
    std::string out = "\nq " + ContentMatrix(text.matrix) + " cm\n";
    for (const TextRun& r : text.runs) {
        out += "q " + ContentMatrix(r.ctm) + " cm BT /" + fonts.at(r.font) + " " + ContentNumber(r.size) + " Tf " +
               ContentNumber(r.char_spacing) + " Tc " + ContentNumber(r.word_spacing) + " Tw " +
               ContentNumber(r.horiz_scale) + " Tz " + ContentNumber(r.rise) + " Ts 3 Tr " + ContentMatrix(r.tm) +
               " Tm " + r.shown + " TJ ET Q\n";
    }
    return out + "Q\n";
}

Common::Bytes FlattenPlan::Rewrite(const std::string& reset, const std::vector<Placed>& images,
                                   const std::vector<std::string>& fonts) const
{
    std::vector<const Edit*> order;
    for (const Edit& e : m_edits) order.push_back(&e);
    // Insertions before a replacement that starts at the same place.
    std::stable_sort(order.begin(), order.end(), [](const Edit* a, const Edit* b) {
        return a->from != b->from ? a->from < b->from : (a->to == a->from) > (b->to == b->from);
    });
    std::vector<std::size_t> first_image(m_groups.size());
    for (std::size_t g = 0, n = 0; g < m_groups.size(); n += m_groups[g].rects.size(), ++g) first_image[g] = n;

    std::string out;
    out.reserve(m_content.size() + 64 * m_edits.size());
    std::size_t at = 0;
    for (const Edit* e : order) {
        if (e->from < at) continue;  // inside a span already replaced
        out.append(Text(m_content, at, e->from));
        switch (e->kind) {
        case Edit::e_reset: out += "\n/" + reset + " gs\n"; break;
        case Edit::e_images: {
            const Group& g = m_groups[e->value];
            Matrix inverse;
            QVX_CHECK(Invert(g.ctm, inverse), "The transform where an image goes cannot be inverted");
            for (std::size_t i = 0; i < g.rects.size(); ++i) {
                const Placed& p = images.at(first_image[e->value] + i);
                const Rect& r = p.rect;
                Matrix place = Matrix{r.Width(), 0, 0, r.Height(), r.x1, r.y1}.Then(inverse);
                out += "\nq " + ContentMatrix(place) + " cm /" + p.name + " Do Q\n";
            }
            break;
        }
        case Edit::e_remove: out += e->value >= 0 ? InvisibleText(m_texts[e->value], fonts) : "\n"; break;
        case Edit::e_no_paint: out += "\nn"; break;
        case Edit::e_invisible:
            out += (e->value >= 4 ? "\n7 Tr" : "\n3 Tr");
            out.append(Text(m_content, e->from, e->to));
            out += "\n" + std::to_string(e->value) + " Tr\n";
            break;
        }
        at = e->to;
    }
    out.append(Text(m_content, at, m_content.size()));
    return Common::Bytes(out.begin(), out.end());
}

}  // namespace qvx::PDF
