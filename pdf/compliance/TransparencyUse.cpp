#include "pdf/compliance/TransparencyUse.h"

#include "common/Limits.h"
#include "pdf/Annot.h"
#include "pdf/Font.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/ContentWalk.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

namespace {

bool MasksOrBlends(const GState& gs) { return gs.soft_mask || (gs.blend_mode != "Normal" && gs.blend_mode != "Compatible"); }

}  // namespace

bool BlendsWithBackdrop(const GState& gs)
{
    return MasksOrBlends(gs) || !(gs.stroke_alpha == 1.0) || !(gs.fill_alpha == 1.0);
}

bool DrawsTransparently(const Element& el, const TransparencyTest& how)
{
    const GState& gs = *el.gstate;
    // A path or text paints with the alpha of what it does (fill, stroke, both or neither):
    // a stroking alpha of 0 left in force over fills, as plotting libraries leave it, changes
    // nothing drawn. Images and shadings paint with the non-stroking alpha.
    if (el.Is(Element::e_path) || el.Is(Element::e_text)) {
        const PaintUse paints = PaintsWith(el);
        if (!paints.fill && !paints.stroke) return false;
        if (MasksOrBlends(gs) || (paints.fill && !(gs.fill_alpha == 1.0)) || (paints.stroke && !(gs.stroke_alpha == 1.0)))
            return true;
    } else if (el.Is(Element::e_image) || el.Is(Element::e_inline_image) || el.Is(Element::e_shading)) {
        if (MasksOrBlends(gs) || !(gs.fill_alpha == 1.0)) return true;
    } else if (BlendsWithBackdrop(gs)) {
        return true;
    }
    if (!how.masked_images || !(el.Is(Element::e_image) || el.Is(Element::e_inline_image))) return false;
    return el.image.smask || el.image.smask_in_data != 0;
}

// Reads the stream at depth `base` to its end, entering forms; leaves the reader at
// base - 1 either way.
bool TransparencyWalk::Drain(ElementReader& reader, int base)
{
    while (reader.NestingDepth() >= base) {
        const Element* el = reader.Next();
        if (!el) {
            reader.End();
            continue;
        }
        if (DrawsTransparently(*el, m_how) || PaintsTransparentPattern(reader, *el) || TransparentGlyphs(reader, *el)) {
            while (reader.NestingDepth() >= base) reader.End();
            return true;
        }
        if (el->Is(Element::e_form)) reader.FormBegin();
    }
    return false;
}

bool TransparencyWalk::ElementUses(ElementReader& reader, const Element& el)
{
    if (DrawsTransparently(el, m_how) || PaintsTransparentPattern(reader, el) || TransparentGlyphs(reader, el))
        return true;
    if (!el.Is(Element::e_form)) return false;
    int base = reader.NestingDepth() + 1;
    return reader.FormBegin() && Drain(reader, base);
}

bool TransparencyWalk::Stream(SDF::Obj* stream, SDF::Obj* resources)
{
    ElementReader reader(m_cache);
    reader.Begin(stream, resources);
    return Drain(reader, 1);
}

bool TransparencyWalk::PageUses(const Page& page)
{
    {
        ElementReader reader(m_cache);
        reader.Begin(page);
        if (Drain(reader, 1)) return true;
    }
    for (std::size_t i = 0, n = Annot::Count(page); i < n; ++i) {
        SDF::Obj* appearance = Annot::At(page, i).GetAppearance();
        if (appearance && Stream(appearance, page.GetResourceDict())) return true;
    }
    return false;
}

bool TransparencyWalk::PaintsTransparentPattern(const ElementReader& reader, const Element& el)
{
    PaintUse paints = PaintsWith(el);
    const GState& gs = *el.gstate;
    return (paints.fill && TransparentPattern(reader, gs.fill)) ||
           (paints.stroke && TransparentPattern(reader, gs.stroke));
}

// A pattern's cell starts from the pattern's own state rather than the painter's, so it is
// read by a reader of its own, no deeper than streams may nest. A pattern drawing itself
// reads as opaque inside itself.
bool TransparencyWalk::TransparentPattern(const ElementReader& reader, const ColorState& c)
{
    SDF::Obj* pattern = c.pattern;
    if (!pattern || !pattern->IsStream() || FindNumber(pattern, "PatternType", 0) != 1) return false;
    auto [it, fresh] = m_patterns.emplace(pattern, false);
    if (!fresh || m_depth >= Common::Limits::kMaxContentNesting) return it->second;
    ++m_depth;
    bool found = Stream(pattern, reader.GetResources().GetDict());
    --m_depth;
    m_patterns[pattern] = found;
    return found;
}

// The glyph procedures of a Type 3 font are read once, all of them: which glyphs a string
// shows matters less than that the font can draw transparently.
bool TransparencyWalk::TransparentGlyphs(const ElementReader& reader, const Element& el)
{
    if (!m_how.type3_glyphs || !el.Is(Element::e_text)) return false;
    const GState& gs = *el.gstate;
    if (!gs.font || gs.font->GetKind() != Font::e_type3 || !gs.font_dict) return false;
    auto [it, fresh] = m_glyphs.emplace(gs.font_dict, false);
    if (!fresh || m_depth >= Common::Limits::kMaxContentNesting) return it->second;
    ++m_depth;
    SDF::Obj* resources = gs.font->GetType3Resources();
    if (!resources) resources = reader.GetResources().GetDict();
    SDF::Obj* procs = FindDict(gs.font_dict, "CharProcs");
    bool found = false;
    ForEachEntry(procs, [&](SDF::Obj* proc) {
        if (!found && proc->IsStream()) found = Stream(proc, resources);
    });
    --m_depth;
    m_glyphs[gs.font_dict] = found;
    return found;
}

}  // namespace qvx::PDF
