// Images (XObject and inline), form XObjects with their transparency groups, and the
// XObjects that cannot be used (PostScript, damaged).
#include <algorithm>
#include <cmath>

#include "pdf/ExtGState.h"
#include "pdf/Group.h"
#include "pdf/ObjUtil.h"
#include "pdf/ResourceCache.h"
#include "pdf/compliance/ColourChecks.h"
#include "pdf/compliance/ContentRewrite.h"
#include "pdf/compliance/ContentWalk.h"
#include "pdf/compliance/ImageRedraw.h"
#include "pdf/compliance/ObjectChecks.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

bool IsPostScript(const Obj* xobject)
{
    return FindName(xobject, "Subtype") == "PS" || FindName(xobject, "Subtype2") == "PS";
}

// The entries of an image XObject that no level allows, each with its finding, in the order
// they are reported.
template <typename Fn>
void ForbiddenImageEntries(const ImageInfo& img, Fn fn)
{
    if (!img.intent.empty() && !IsStandardRenderingIntent(img.intent)) fn(SDF::e_PDFA243, "Intent");
    if (img.interpolate) fn(SDF::e_PDFA244, "Interpolate");
    if (img.has_alternates) fn(SDF::e_PDFA241, "Alternates");
    if (img.has_opi) fn(SDF::e_PDFA242, "OPI");
}

}  // namespace

void ColourCheck::CheckImage(PassContext& ctx, const Element& el, const Resources& res)
{
    const ImageInfo& img = el.image;
    const bool convert = ctx.state.convert;
    const bool bad_intent = !img.intent.empty() && !IsStandardRenderingIntent(img.intent);
    if (img.is_inline) {
        if (bad_intent) ctx.Report(SDF::e_PDFA243, el.stream);
        if (img.interpolate) ctx.Report(SDF::e_PDFA244, el.stream);
        if ((bad_intent || img.interpolate) && convert && el.stream)
            ctx.caches.Get<StreamsWithInlineImageEntries>().insert(el.stream);
        // Inline data obeys the filter rules of streams.
        for (const std::string& f : img.filters) {
            if (f == "LZWDecode") ctx.Report(SDF::e_PDFA1101, el.stream);
            else if (!IsPermittedFilter(f)) ctx.Report(SDF::e_PDFA1103, el.stream);
            if (!IsPermittedFilter(f) && convert && el.stream) ctx.caches.Get<StreamsWithInlineImageEntries>().insert(el.stream);
        }
    } else if (Obj* image = img.dict) {
        bool found = false;
        ForbiddenImageEntries(img, [&](std::int32_t code, std::string_view key) {
            ctx.Report(code, image);
            found = true;
            if (convert) image->Erase(key);
        });
        if (img.interpolate && convert && img.width > 0 && img.height > 0) {
            // Device pixels per sample at 150 dpi, along the image's sparser direction.
            const Matrix& m = el.gstate->ctm;
            const double per_sample = std::min(std::hypot(m.a, m.b) / img.width, std::hypot(m.c, m.d) / img.height) * 150 / 72;
            ctx.caches.Get<ImagesToRedraw>().Smoothed(image, per_sample);
        }
        if (found && convert) image->Erase("Metadata");
        if (Obj* smask = FindStream(image, "SMask")) {
            if (FindBool(smask, "Interpolate", false)) {
                ctx.Report(SDF::e_PDFA244, smask);
                if (convert) smask->Erase("Interpolate");
            }
        }
        if (img.smask || img.smask_in_data != 0) {
            if (ctx.Part() == 1) {
                ctx.Report(SDF::e_PDFA42, image);
                if (convert) ctx.caches.Get<ImagesToRedraw>().WithoutSoftMask(image);
            }
            MarkTransparency();
        }
    }
    SpaceUse use{el.stream, &res, nullptr};
    if (img.image_mask) CheckPaint(ctx, el.gstate->fill, use);
    else CheckSpace(ctx, SpaceOf(ctx, img.color_space, res, img.is_inline).get(), use, 0, !img.is_inline);
}

void TidyUndrawnImages(PassContext& ctx)
{
    ForEachNamedStream(ctx, [](Obj* stream) {
        if (FindName(stream, "Subtype") != "Image") return;
        bool found = false;
        ForbiddenImageEntries(ImageInfo::Read(stream, false), [&](std::int32_t, std::string_view key) {
            stream->Erase(key);
            found = true;
        });
        if (found) stream->Erase("Metadata");
        if (Obj* smask = FindStream(stream, "SMask"); smask && FindBool(smask, "Interpolate", false)) smask->Erase("Interpolate");
    });
}

void ColourCheck::PushGroup(PassContext& ctx, Obj* owner, int depth, const Resources& res)
{
    Group g = Group::Of(owner);
    if (!g.dict) return;
    m_groups.push_back({depth, g.color_space ? SpaceOf(ctx, g.color_space, res, false) : nullptr, g.isolated});
}

bool ColourCheck::CheckFormDict(PassContext& ctx, Obj* form, const Element* painted)
{
    const bool convert = ctx.state.convert;
    const bool pdfa4 = ctx.Part() == 4;
    if (form->FindObj("OPI")) {
        ctx.Report(SDF::e_PDFA251, form);
        if (convert) form->Erase("OPI");
    }
    // Viewers draw nothing for PostScript; neither does the copy. An appearance is drawn as
    // a form whatever it says, so it only loses the mark.
    if (!pdfa4 && IsPostScript(form)) {
        ctx.Report(SDF::e_PDFA252, form);
        // Readers that judge every XObject of the resources would still see one left unused.
        if (convert && painted && painted->stream)
            ctx.caches.Get<StreamsToClean>()[painted->stream].missing.emplace(painted->name);
        if (convert) form->Erase("Subtype2");
    }
    // PostScript for printers beside the form's own content, which draws without it.
    if (!pdfa4 && FindIn(form, "PS")) {
        ctx.Report(SDF::e_PDFA252, form);
        if (convert) form->Erase("PS");
    }
    if (!pdfa4 && form->FindObj("Ref")) {
        ctx.Report(SDF::e_PDFA261, form);
        if (convert) form->Erase("Ref");
    }
    // The form's own resources count even where its content uses none of them.
    if (Obj* own = FindDict(form, "Resources")) CheckResourceDicts(ctx, Resources(own));
    Group g = Group::Of(form);
    if (g.dict && g.is_transparency && ctx.Part() == 1) {
        ctx.Report(SDF::e_PDFA43, g.dict);
        if (convert) form->Erase("Group");
        return false;
    }
    return true;
}

void ColourCheck::CheckForm(PassContext& ctx, const Element& el, ElementReader& reader)
{
    Obj* form = el.obj;
    if (!form || !CheckFormDict(ctx, form, &el)) return;
    Group g = Group::Of(form);
    // The form's own streams are read one level deeper than the element that paints it.
    PushGroup(ctx, form, reader.NestingDepth() + 1, reader.GetResources());
    if (g.is_transparency && !m_groups.empty() && m_groups.back().space && m_groups.back().space->IsDevice()) {
        SpaceUse use{el.stream, &reader.GetResources(), nullptr};
        CheckSpace(ctx, m_groups.back().space.get(), use);
    }
}

void ColourCheck::CheckOtherXObject(PassContext& ctx, const Element& el, const Resources& res)
{
    if (ctx.Part() == 4) return;
    if (el.obj && IsPostScript(el.obj)) ctx.Report(SDF::e_PDFA252, el.obj);
    // An undefined name was reported by the reader's issue; a defined one that is no
    // image or form cannot be drawn either.
    if (!el.obj) return;
    ctx.Report(SDF::e_PDFA271);
    if (!ctx.state.convert || !el.stream) return;
    ctx.caches.Get<StreamsToClean>()[el.stream].missing.emplace(el.name);
    // The resources lose it too: nothing draws it, and a file may hold no PostScript XObject,
    // drawn or not. Other streams that draw it by this name find it missing and lose their Do.
    for (const Resources* r = &res; r; r = r->GetParent()) {
        Obj* xobjects = r->Category("XObject");
        if (xobjects && Deref(xobjects->FindObj(el.name)) == el.obj) {
            xobjects->Erase(el.name);
            break;
        }
    }
}

}  // namespace qvx::PDF
