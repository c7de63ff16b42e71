// The colour group's content check: what each element draws, the issues the reader meets,
// and the page group.
#include "pdf/compliance/ColourChecks.h"

#include "pdf/ContentOps.h"
#include "pdf/ExtGState.h"
#include "pdf/Group.h"
#include "pdf/ObjUtil.h"
#include "pdf/Shading.h"
#include "pdf/compliance/ContentRewrite.h"
#include "pdf/compliance/OutputIntents.h"

namespace qvx::PDF {

namespace {

// More than this many nested q in one content stream is refused (below PDF/A-4: the rule's
// levels).
constexpr int kMaxSaveDepth = 28;

// An annotation drawn with a blend mode other than Normal blends with the page below it (a
// name that is no blend mode is a finding of its own).
bool AnnotationBlends(const Page& page)
{
    SDF::Obj* annots = page.GetAnnots();
    for (std::size_t i = 0; annots && i < annots->Size(); ++i) {
        SDF::Obj* a = Deref(annots->GetAt(i));
        if (!a || !a->IsDict()) continue;
        std::string_view bm = FindName(a, "BM");
        if (IsStandardBlendMode(bm) && bm != "Normal" && bm != "Compatible") return true;
    }
    return false;
}

}  // namespace

void ColourCheck::PageBegin(PassContext& ctx, const Page& page)
{
    m_transparency = false;
    m_fill_set = m_stroke_set = false;
    m_groups.clear();
    m_page_resources.clear();
    m_overprint_done.clear();
    mp_page = page.GetSDFObj();
    if (!ctx.Checks()) return;
    CheckOutputIntents(ctx, page.GetSDFObj());
    Resources res = page.GetResources();
    PushGroup(ctx, page.GetSDFObj(), 0, res);
    CheckResourceDicts(ctx, res);
    // An appearance is a form XObject that the annotation draws: its dictionary and its own
    // resources count as a painted form's do.
    for (SDF::Obj* appearance : AppearanceStreams(page)) CheckFormDict(ctx, appearance, nullptr);
}

void ColourCheck::OnElement(PassContext& ctx, const Element& el, ElementReader& reader)
{
    if (!ctx.Checks()) return;
    while (!m_groups.empty() && m_groups.back().depth > reader.NestingDepth()) m_groups.pop_back();
    const Resources& res = reader.GetResources();
    if (ctx.state.convert && el.stream && el.stream != mp_last_stream) {
        mp_last_stream = el.stream;
        ctx.caches.Get<ContentStreamsWalked>().insert(el.stream);
    }
    CheckResourceDicts(ctx, res);
    CheckGStateChanges(ctx, el);
    CheckOverprint(ctx, el, res);
    const GState& gs = *el.gstate;
    if (el.changed & (GState::e_fill_color_space | GState::e_fill_color)) m_fill_set = true;
    if (el.changed & (GState::e_stroke_color_space | GState::e_stroke_color)) m_stroke_set = true;
    SpaceUse use{el.stream, &res, nullptr};
    switch (el.kind) {
    case Element::e_path:
    case Element::e_text: {
        // Text is also checked with any colour the content set for it, whatever it paints.
        PaintUse paints = PaintsWith(el);
        bool text = el.Is(Element::e_text);
        if (paints.stroke || (text && m_stroke_set)) CheckPaint(ctx, gs.stroke, use);
        if (paints.fill || (text && m_fill_set)) CheckPaint(ctx, gs.fill, use);
        break;
    }
    case Element::e_image:
    case Element::e_inline_image: CheckImage(ctx, el, res); break;
    case Element::e_shading:
        if (el.obj) CheckSpace(ctx, SpaceOf(ctx, Shading::Read(el.obj).color_space, res, false).get(), use);
        break;
    case Element::e_form: CheckForm(ctx, el, reader); break;
    case Element::e_xobject: CheckOtherXObject(ctx, el, res); break;
    case Element::e_save:
        if (el.depth != kMaxSaveDepth + 1) break;
        ctx.Report(SDF::e_PDFA1126, el.stream);
        if (ctx.state.convert && el.stream) ctx.caches.Get<DeepNesting>()[el.stream] = res.GetDict();
        break;
    default: break;
    }
}

void ColourCheck::OnIssue(PassContext& ctx, const ContentIssue& issue)
{
    if (!ctx.Checks()) return;
    switch (issue.kind) {
    case ContentIssue::e_unknown_operator:
        ctx.Report(SDF::e_PDFA2101, issue.stream);
        if (ctx.state.convert && issue.stream) ctx.caches.Get<StreamsToClean>()[issue.stream];
        break;
    case ContentIssue::e_missing_resource:
        ctx.Report(SDF::e_PDFA46223, issue.stream);
        if (issue.category != "XObject") break;
        ctx.Report(SDF::e_PDFA271);
        if (ctx.state.convert && issue.stream) ctx.caches.Get<StreamsToClean>()[issue.stream].missing.insert(issue.name);
        break;
    // PDF/A-4 wants every stream's names in its own resources, not its caller's. Older
    // levels allow inheriting, but strict readers do not draw such names (PDFBox leaves the
    // text out), so conversion copies them at every level.
    case ContentIssue::e_inherited_resource:
        ctx.Report(SDF::e_PDFA46223, issue.stream);
        if (ctx.state.convert && issue.resource && issue.resources_owner)
            ctx.caches.Get<InheritedResources>().push_back(
                {issue.resources_owner, std::string(issue.category), issue.name, issue.resource});
        break;
    // An operator without the operands it takes is skipped by readers, but some reject the
    // stream: corrupt content, and conversion takes the operator out with its operands. Text
    // shown with no font set is the font checks' matter.
    case ContentIssue::e_bad_operands:
        if (issue.category == "Font") break;
        ctx.Report(SDF::e_PDFA12, mp_page);
        if (ctx.state.convert && issue.stream) ctx.caches.Get<StreamsToClean>()[issue.stream].faulty.emplace(issue.offset, issue.op);
        break;
    // So is one with more operands than it takes, which readers use differently (the first
    // or the last ones); conversion keeps the last ones, with which the page was drawn here.
    case ContentIssue::e_extra_operands:
        ctx.Report(SDF::e_PDFA12, mp_page);
        if (ctx.state.convert && issue.stream) ctx.caches.Get<StreamsToClean>()[issue.stream].crowded.emplace(issue.offset, issue.op);
        break;
    // Damaged content syntax (a bad string, an unterminated object) is what would end the
    // page's walk in a strict reader: the page's corrupt content finding. A damaged token
    // among the operands of an operator that takes only numbers is passed over by readers,
    // which draw with the numbers: conversion writes the operator with those alone.
    case ContentIssue::e_syntax:
        ctx.Report(SDF::e_PDFA12, mp_page);
        if (ctx.state.convert && issue.stream && TakesOnlyNumbers(OpFromKeyword(issue.op)))
            ctx.caches.Get<StreamsToClean>()[issue.stream].crowded.emplace(issue.offset, issue.op);
        break;
    // A content stream that cannot be decoded cannot be checked, nor drawn.
    case ContentIssue::e_unreadable_stream: ctx.Report(SDF::e_PDFA12, mp_page); break;
    // What a cut stream leaves at its end (operands without their operator, an object or an
    // inline image left open) draws nothing in any reader: conversion ends the stream after
    // its last whole operation.
    case ContentIssue::e_ended_inside:
        if (ctx.state.convert && issue.stream) ctx.caches.Get<StreamsToClean>()[issue.stream].ended_inside = true;
        break;
    default: break;
    }
}

void ColourCheck::PageEnd(PassContext& ctx, const Page& page)
{
    if (!ctx.Checks()) return;
    SDF::Obj* dict = page.GetSDFObj();
    SDF::Obj* group = page.GetGroup();
    if (ctx.Part() == 1) {
        if (group && FindName(group, "S") == "Transparency") {
            ctx.Report(SDF::e_PDFA43, group);
            if (ctx.state.convert) dict->Erase("Group");
        }
        // Also where nothing is drawn with them (as after flattening, which resets the state
        // after each of them): checkers that go by the dictionaries would still find them.
        if (ctx.state.convert) RemoveTransparency();
        return;
    }
    if (AnnotationBlends(page)) MarkTransparency();
    // The blending space of a page that uses transparency is a colour space it uses.
    if (m_transparency && !m_groups.empty() && m_groups.front().depth == 0 && m_groups.front().space &&
        m_groups.front().space->IsDevice()) {
        SpaceUse use{nullptr, nullptr, nullptr};
        Resources res = page.GetResources();
        use.res = &res;
        CheckSpace(ctx, m_groups.front().space.get(), use);
    }
    // A group without a blending space leaves the page without one, as a missing group does.
    if ((!group || !FindIn(group, "CS")) && m_transparency && ctx.caches.Get<OutputIntentState>().components == 0) {
        ctx.Report(SDF::e_PDFA21020, dict);
        if (ctx.state.convert) AddSRGBOutputIntent(ctx);
    }
}

}  // namespace qvx::PDF
