// The operators: graphics state, colour, text state, paths, XObjects and marked content.
#include <algorithm>
#include <cmath>

#include "common/Limits.h"
#include "pdf/ElementReader.h"
#include "pdf/ElementReaderFrame.h"
#include "pdf/ExtGState.h"
#include "pdf/ObjUtil.h"

namespace qvx::PDF {

using SDF::Obj;

Resources::Found ElementReader::FindResource(std::string_view category, std::string_view name)
{
    Resources::Found found = GetResources().Find(category, name);
    if (found.inherited && mp_observer) {
        ContentIssue issue = MakeIssue(ContentIssue::e_inherited_resource, name, category);
        issue.resource = found.entry;
        issue.resources_owner = m_frames.empty() ? nullptr : m_frames.back()->resources_owner;
        mp_observer->OnIssue(issue);
    }
    return found;
}

bool ElementReader::Numbers(std::size_t n, double* out)
{
    const auto& ops = m_op.Operands();
    if (ops.size() < n) {
        Issue(ContentIssue::e_bad_operands);
        return false;
    }
    std::size_t first = ops.size() - n;
    for (std::size_t i = 0; i < n; ++i) {
        const Operand& o = ops[first + i];
        if (!o.IsNumber() || !std::isfinite(o.number)) {
            Issue(ContentIssue::e_bad_operands);
            return false;
        }
        out[i] = o.number;
    }
    return true;
}

// A line cap or join style: its integer part, a value out of range held just outside the
// styles so that it stays one none of them.
static int LineStyle(double v) { return static_cast<int>(std::clamp(v, -1.0, 3.0)); }

// The last operand when it is of kind k, else null (and the operator is reported).
static const Operand* Last(const Operation& op, Operand::Kind k)
{
    if (op.Size() == 0 || op[op.Size() - 1].kind != k) return nullptr;
    return &op[op.Size() - 1];
}

void ElementReader::SetDevice(ColorState& cs, ColorSpace::Family f, std::size_t n)
{
    double v[4];
    if (!Numbers(n, v)) return;
    cs.space = ColorSpace::Device(f);
    cs.components.assign(v, v + n);
    cs.pattern = nullptr;
    m_dirty = true;
}

void ElementReader::SetColorSpace(ColorState& cs, const Operand& name)
{
    std::shared_ptr<const ColorSpace> space;
    try {
        std::string_view n = name.text;
        space = ColorSpace::FromFamilyName(n);
        if (!space) {
            Resources::Found found = FindResource("ColorSpace", n);
            if (!found) {
                Issue(ContentIssue::e_missing_resource, n, "ColorSpace");
                return;
            }
            space = m_cache.GetColorSpace(found.obj, &GetResources());
        }
    } catch (const std::exception&) {
        space = nullptr;
    }
    if (!space) {
        Issue(ContentIssue::e_bad_resource, name.text, "ColorSpace");
        return;
    }
    cs.space = space;
    cs.pattern = nullptr;
    cs.components.clear();
    switch (space->GetFamily()) {
    case ColorSpace::e_pattern: break;
    case ColorSpace::e_device_cmyk: cs.components = {0, 0, 0, 1}; break;
    case ColorSpace::e_separation:
    case ColorSpace::e_device_n: cs.components.assign(space->GetComponentCount(), 1.0); break;
    default: cs.components.assign(space->GetComponentCount(), 0.0); break;
    }
    m_dirty = true;
}

void ElementReader::SetColor(ColorState& cs, bool allow_pattern)
{
    const auto& ops = m_op.Operands();
    std::size_t n = ops.size();
    Obj* pattern = nullptr;
    if (allow_pattern && n > 0 && ops[n - 1].IsName()) {
        Resources::Found found = FindResource("Pattern", ops[n - 1].text);
        if (!found) Issue(ContentIssue::e_missing_resource, ops[n - 1].text, "Pattern");
        pattern = found.obj;
        --n;
    }
    std::vector<double> comps;
    comps.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!ops[i].IsNumber()) {
            Issue(ContentIssue::e_bad_operands);
            return;
        }
        comps.push_back(ops[i].number);
    }
    cs.components = std::move(comps);
    cs.pattern = pattern;
    m_dirty = true;
}

void ElementReader::ApplyExtGState(const Operand& name)
{
    Resources::Found found = FindResource("ExtGState", name.text);
    if (!found) {
        Issue(ContentIssue::e_missing_resource, name.text, "ExtGState");
        return;
    }
    if (!found.obj->IsDict()) {
        Issue(ContentIssue::e_bad_resource, name.text, "ExtGState");
        return;
    }
    ExtGState g = ExtGState::Read(found.obj);
    GState& s = m_gs;
    if (g.line_width) s.line_width = *g.line_width;
    if (g.line_cap) s.line_cap = *g.line_cap;
    if (g.line_join) s.line_join = *g.line_join;
    if (g.miter_limit) s.miter_limit = *g.miter_limit;
    if (g.dash) {
        SDF::Obj* lengths = g.dash->Size() ? Deref(g.dash->GetAt(0)) : nullptr;
        s.SetDash(lengths && lengths->IsArray() ? lengths : nullptr, NumberAt(g.dash, 1, 0));
    }
    if (g.rendering_intent) s.rendering_intent = *g.rendering_intent;
    if (g.stroke_adjust) s.stroke_adjust = *g.stroke_adjust;
    if (g.blend_mode) s.blend_mode = *g.blend_mode;
    if (g.soft_mask) s.soft_mask = IsNameOf(g.soft_mask, "None") ? nullptr : g.soft_mask;
    if (g.stroke_alpha) s.stroke_alpha = *g.stroke_alpha;
    if (g.fill_alpha) s.fill_alpha = *g.fill_alpha;
    if (g.alpha_is_shape) s.alpha_is_shape = *g.alpha_is_shape;
    if (g.stroke_overprint) s.stroke_overprint = *g.stroke_overprint;
    if (g.fill_overprint) s.fill_overprint = *g.fill_overprint;
    if (g.overprint_mode) s.overprint_mode = *g.overprint_mode;
    if (g.black_generation) s.black_generation = g.black_generation;
    if (g.undercolor_removal) s.undercolor_removal = g.undercolor_removal;
    if (g.transfer) s.transfer = g.transfer;
    if (g.halftone) s.halftone = g.halftone;
    if (g.flatness) s.flatness = *g.flatness;
    if (g.smoothness) s.smoothness = *g.smoothness;
    if (g.text_knockout) s.text_knockout = *g.text_knockout;
    if (g.font && g.font->Size() >= 2) {
        Obj* fd = Deref(g.font->GetAt(0));
        if (fd && fd->IsDict()) {
            s.font_dict = fd;
            s.font = m_cache.GetFont(fd);
            s.font_size = NumberAt(g.font, 1, s.font_size);
        }
    }
    s.ext_gstate = found.obj;
    m_dirty = true;
}

void ElementReader::SetFont()
{
    const auto& ops = m_op.Operands();
    if (ops.size() < 2 || !ops[ops.size() - 2].IsName() || !ops.back().IsNumber()) {
        Issue(ContentIssue::e_bad_operands);
        return;
    }
    const Operand& name = ops[ops.size() - 2];
    m_gs.font_size = ops.back().number;
    Resources::Found found = FindResource("Font", name.text);
    if (!found) {
        Issue(ContentIssue::e_missing_resource, name.text, "Font");
        m_gs.font = nullptr;
        m_gs.font_dict = nullptr;
    } else if (!found.obj->IsDict()) {
        Issue(ContentIssue::e_bad_resource, name.text, "Font");
        m_gs.font = nullptr;
        m_gs.font_dict = nullptr;
    } else {
        m_gs.font_dict = found.obj;
        m_gs.font = m_cache.GetFont(found.obj);
    }
    m_dirty = true;
}

void ElementReader::NextLine()
{
    m_tlm = Matrix{1, 0, 0, 1, 0, -m_gs.leading}.Then(m_tlm);
    m_tm = m_tlm;
}

bool ElementReader::ShowText()
{
    const auto& ops = m_op.Operands();
    m_el.text_matrix = m_tm;
    switch (m_op.op) {
    case Op::e_Tj:
    case Op::e_quote: {
        const Operand* s = Last(m_op, Operand::e_string);
        if (!s) {
            Issue(ContentIssue::e_bad_operands);
            return false;
        }
        if (m_op.op == Op::e_quote) {
            NextLine();
            m_el.text_matrix = m_tm;
        }
        m_el.strings.push_back({s->Bytes(), 0});
        break;
    }
    case Op::e_dquote: {
        double v[2];
        if (ops.size() < 3 || !ops.back().IsString() || !ops[ops.size() - 3].IsNumber() || !ops[ops.size() - 2].IsNumber()) {
            Issue(ContentIssue::e_bad_operands);
            return false;
        }
        v[0] = ops[ops.size() - 3].number;
        v[1] = ops[ops.size() - 2].number;
        m_gs.word_spacing = v[0];
        m_gs.char_spacing = v[1];
        m_dirty = true;
        NextLine();
        m_el.text_matrix = m_tm;
        m_el.strings.push_back({ops.back().Bytes(), 0});
        break;
    }
    default: {  // TJ
        const Operand* a = Last(m_op, Operand::e_array);
        if (!a) {
            Issue(ContentIssue::e_bad_operands);
            return false;
        }
        double adjust = 0;
        for (std::size_t i = 0, n = a->obj->Size(); i < n; ++i) {
            Obj* item = a->obj->GetAt(i);
            if (item->IsNumber()) {
                adjust += item->GetNumber();
            } else if (item->IsString()) {
                m_el.strings.push_back({item->GetBuffer(), adjust});
                adjust = 0;
            }
        }
        m_el.adjust_after = adjust;
        break;
    }
    }
    if (!m_gs.font) Issue(ContentIssue::e_bad_operands, "", "Font");
    m_el.kind = Element::e_text;
    return true;
}

bool ElementReader::DoXObject()
{
    const Operand* name = Last(m_op, Operand::e_name);
    if (!name) {
        Issue(ContentIssue::e_bad_operands);
        return false;
    }
    m_el.name = name->text;
    Resources::Found found = FindResource("XObject", name->text);
    m_el.kind = Element::e_xobject;
    if (!found) {
        Issue(ContentIssue::e_missing_resource, name->text, "XObject");
        return true;
    }
    m_el.obj = found.obj;
    if (!found.obj->IsStream()) {
        Issue(ContentIssue::e_bad_resource, name->text, "XObject");
        return true;
    }
    std::string_view subtype = FindName(found.obj, "Subtype");
    if (subtype == "Form") {
        m_el.kind = Element::e_form;
    } else if (subtype == "Image") {
        m_el.kind = Element::e_image;
        m_el.image = ImageInfo::Read(found.obj, false);
    }
    return true;
}

bool ElementReader::MarkedContent(bool begin, bool point)
{
    const auto& ops = m_op.Operands();
    bool with_props = m_op.op == Op::e_BDC || m_op.op == Op::e_DP;
    std::size_t need = with_props ? 2 : 1;
    if (ops.size() < need || !ops[ops.size() - need].IsName()) {
        Issue(ContentIssue::e_bad_operands);
        return false;
    }
    m_el.name = ops[ops.size() - need].text;
    if (with_props) {
        const Operand& p = ops.back();
        if (p.kind == Operand::e_dict) {
            m_el.obj = p.obj.get();
        } else if (p.IsName()) {
            Resources::Found found = FindResource("Properties", p.text);
            if (!found) Issue(ContentIssue::e_missing_resource, p.text, "Properties");
            m_el.obj = found.obj;
        } else {
            Issue(ContentIssue::e_bad_operands);
        }
    }
    m_el.kind = point ? Element::e_marked_content_point : begin ? Element::e_marked_content_begin : Element::e_marked_content_end;
    return true;
}

bool ElementReader::Dispatch()
{
    Frame& f = *m_frames.back();
    if (m_op.flags & (Operation::e_bad_token | Operation::e_unterminated | Operation::e_too_many)) {
        Issue(ContentIssue::e_syntax);
    }
    if (TakesOnlyNumbers(m_op.op) && m_op.Size() > static_cast<std::size_t>(OperandCount(m_op.op)))
        Issue(ContentIssue::e_extra_operands);
    double v[6];
    GState& s = m_gs;
    switch (m_op.op) {
    case Op::e_unknown: Issue(ContentIssue::e_unknown_operator, m_op.keyword); return false;
    case Op::e_w: if (Numbers(1, v)) { s.line_width = v[0]; m_dirty = true; } return false;
    case Op::e_J: if (Numbers(1, v)) { s.line_cap = LineStyle(v[0]); m_dirty = true; } return false;
    case Op::e_j: if (Numbers(1, v)) { s.line_join = LineStyle(v[0]); m_dirty = true; } return false;
    case Op::e_M: if (Numbers(1, v)) { s.miter_limit = v[0]; m_dirty = true; } return false;
    case Op::e_i: if (Numbers(1, v)) { s.flatness = v[0]; m_dirty = true; } return false;
    case Op::e_d: {
        if (m_op.Size() < 2 || m_op[m_op.Size() - 2].kind != Operand::e_array) {
            Issue(ContentIssue::e_bad_operands);
            return false;
        }
        const Operand& phase = m_op[m_op.Size() - 1];
        s.SetDash(m_op[m_op.Size() - 2].obj.get(), phase.IsNumber() ? phase.number : 0);
        m_dirty = true;
        return false;
    }
    case Op::e_ri:
        if (const Operand* n = Last(m_op, Operand::e_name)) {
            s.rendering_intent = n->text;
            m_dirty = true;
        } else {
            Issue(ContentIssue::e_bad_operands);
        }
        return false;
    case Op::e_gs:
        if (const Operand* n = Last(m_op, Operand::e_name)) ApplyExtGState(*n);
        else Issue(ContentIssue::e_bad_operands);
        return false;
    case Op::e_q:
        if (m_saved.size() < static_cast<std::size_t>(Common::Limits::kMaxSavedStates)) m_saved.push_back(m_gs);
        ++f.depth;
        m_el.kind = Element::e_save;
        return true;
    case Op::e_Q:
        if (f.depth == 0) {
            Issue(ContentIssue::e_unbalanced_restore);
            return false;
        }
        if (m_saved.size() > f.saved_base && m_saved.size() >= static_cast<std::size_t>(f.depth)) {
            m_gs = std::move(m_saved.back());
            m_saved.pop_back();
        }
        --f.depth;
        m_dirty = true;
        m_el.kind = Element::e_restore;
        return true;
    case Op::e_cm:
        if (Numbers(6, v)) {
            s.ctm = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]}.Then(s.ctm);
            m_dirty = true;
        }
        return false;
    case Op::e_m: case Op::e_l: Numbers(2, v); return false;
    case Op::e_c: Numbers(6, v); return false;
    case Op::e_v: case Op::e_y: case Op::e_re: Numbers(4, v); return false;
    case Op::e_h: return false;
    case Op::e_W: case Op::e_Wstar: m_pending_clip = true; return false;
    case Op::e_S: case Op::e_s:
    case Op::e_f: case Op::e_F: case Op::e_fstar:
    case Op::e_B: case Op::e_Bstar: case Op::e_b: case Op::e_bstar:
    case Op::e_n: {
        Op o = m_op.op;
        m_el.stroke = o == Op::e_S || o == Op::e_s || o == Op::e_B || o == Op::e_Bstar || o == Op::e_b || o == Op::e_bstar;
        m_el.fill = o == Op::e_f || o == Op::e_F || o == Op::e_fstar || o == Op::e_B || o == Op::e_Bstar || o == Op::e_b || o == Op::e_bstar;
        m_el.even_odd = o == Op::e_fstar || o == Op::e_Bstar || o == Op::e_bstar;
        m_el.clip = m_pending_clip;
        m_pending_clip = false;
        m_el.kind = Element::e_path;
        return true;
    }
    case Op::e_BT: m_tm = m_tlm = Matrix(); return false;
    case Op::e_ET: return false;
    case Op::e_Tc: if (Numbers(1, v)) { s.char_spacing = v[0]; m_dirty = true; } return false;
    case Op::e_Tw: if (Numbers(1, v)) { s.word_spacing = v[0]; m_dirty = true; } return false;
    case Op::e_Tz: if (Numbers(1, v)) { s.horiz_scale = v[0]; m_dirty = true; } return false;
    case Op::e_TL: if (Numbers(1, v)) { s.leading = v[0]; m_dirty = true; } return false;
    case Op::e_Ts: if (Numbers(1, v)) { s.text_rise = v[0]; m_dirty = true; } return false;
    case Op::e_Tr:
        // Modes beyond 0 to 7 stay beyond them, without leaving the int range.
        if (Numbers(1, v) && std::isfinite(v[0])) {
            s.text_render_mode = static_cast<int>(std::clamp(v[0], -1.0, 8.0));
            m_dirty = true;
        }
        return false;
    case Op::e_Tf: SetFont(); return false;
    case Op::e_Td:
    case Op::e_TD:
        if (Numbers(2, v)) {
            if (m_op.op == Op::e_TD) {
                s.leading = -v[1];
                m_dirty = true;
            }
            m_tlm = Matrix{1, 0, 0, 1, v[0], v[1]}.Then(m_tlm);
            m_tm = m_tlm;
        }
        return false;
    case Op::e_Tm:
        if (Numbers(6, v)) m_tm = m_tlm = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]};
        return false;
    case Op::e_Tstar: NextLine(); return false;
    case Op::e_Tj: case Op::e_TJ: case Op::e_quote: case Op::e_dquote: return ShowText();
    case Op::e_d0: if (Numbers(2, v)) m_glyph_width = v[0]; return false;
    case Op::e_d1: if (Numbers(6, v)) m_glyph_width = v[0]; return false;
    case Op::e_CS: case Op::e_cs:
        if (const Operand* n = Last(m_op, Operand::e_name)) SetColorSpace(m_op.op == Op::e_CS ? s.stroke : s.fill, *n);
        else Issue(ContentIssue::e_bad_operands);
        return false;
    case Op::e_SC: SetColor(s.stroke, false); return false;
    case Op::e_sc: SetColor(s.fill, false); return false;
    case Op::e_SCN: SetColor(s.stroke, true); return false;
    case Op::e_scn: SetColor(s.fill, true); return false;
    case Op::e_G: SetDevice(s.stroke, ColorSpace::e_device_gray, 1); return false;
    case Op::e_g: SetDevice(s.fill, ColorSpace::e_device_gray, 1); return false;
    case Op::e_RG: SetDevice(s.stroke, ColorSpace::e_device_rgb, 3); return false;
    case Op::e_rg: SetDevice(s.fill, ColorSpace::e_device_rgb, 3); return false;
    case Op::e_K: SetDevice(s.stroke, ColorSpace::e_device_cmyk, 4); return false;
    case Op::e_k: SetDevice(s.fill, ColorSpace::e_device_cmyk, 4); return false;
    case Op::e_sh: {
        const Operand* n = Last(m_op, Operand::e_name);
        if (!n) {
            Issue(ContentIssue::e_bad_operands);
            return false;
        }
        m_el.name = n->text;
        Resources::Found found = FindResource("Shading", n->text);
        if (!found) Issue(ContentIssue::e_missing_resource, n->text, "Shading");
        m_el.obj = found.obj;
        m_el.kind = Element::e_shading;
        return true;
    }
    case Op::e_Do: return DoXObject();
    case Op::e_BI: {
        if (m_op.flags & Operation::e_bad_inline_image) Issue(ContentIssue::e_syntax);
        m_el.obj = m_op.inline_dict;
        m_el.image = ImageInfo::Read(m_op.inline_dict, true);
        // A colour space named by something other than a family (the reader has expanded the
        // abbreviations) is a resource.
        if (SDF::Obj* cs = m_el.image.color_space;
            cs && cs->IsName() && !ColorSpace::FromFamilyName(cs->GetName()) && !FindResource("ColorSpace", cs->GetName()))
            Issue(ContentIssue::e_missing_resource, cs->GetName(), "ColorSpace");
        m_el.inline_data = m_op.inline_data;
        m_el.kind = Element::e_inline_image;
        return true;
    }
    // Image data markers outside an inline image: readers skip them like a faulty operator.
    case Op::e_ID: case Op::e_EI: Issue(ContentIssue::e_bad_operands); return false;
    case Op::e_MP: case Op::e_DP: return MarkedContent(false, true);
    case Op::e_BMC: case Op::e_BDC: return MarkedContent(true, false);
    case Op::e_EMC:
        m_el.kind = Element::e_marked_content_end;
        return true;
    case Op::e_BX: ++f.compat; return false;
    case Op::e_EX: if (f.compat > 0) --f.compat; return false;
    }
    return false;
}

}  // namespace qvx::PDF
