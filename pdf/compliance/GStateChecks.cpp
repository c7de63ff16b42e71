// Graphics-state changes (rendering intent, transfer functions, transparency), overprint
// mode with CMYK ICC colour, and the ExtGState resources (halftones).
#include <cmath>
#include <memory>
#include <vector>

#include "pdf/ExtGState.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/ColourChecks.h"
#include "pdf/compliance/ContentRewrite.h"
#include "render/FunctionEval.h"
#include "sdf/Dict.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

bool IsICCCMYK(const ColorState& c)
{
    return c.space && c.space->GetFamily() == ColorSpace::e_icc && c.space->GetComponentCount() == 4;
}

bool NotOne(double alpha) { return !(alpha == 1.0); }

// A transfer function in a halftone only serves a non-primary colorant of a type 5
// halftone; elsewhere it changes the rendering outside the colour model. Returns the
// offending halftone or null.
Obj* HalftoneTransfer(Obj* ht)
{
    if (FindNumber(ht, "HalftoneType", 0) != 5) return ht->FindObj("TransferFunction") ? ht : nullptr;
    for (auto it = ht->DictBegin(); it != ht->DictEnd(); ++it) {
        std::string_view colorant = it.Key()->GetName();
        if (colorant != "Cyan" && colorant != "Magenta" && colorant != "Yellow" && colorant != "Black") continue;
        Obj* component = Deref(it.Value());
        if (component && (component->IsDict() || component->IsStream()) && component->FindObj("TransferFunction"))
            return component;
    }
    return nullptr;
}


}  // namespace

void ColourCheck::CheckGStateChanges(PassContext& ctx, const Element& el)
{
    const GState& gs = *el.gstate;
    const std::uint64_t changed = el.changed;
    // The ExtGState applied last when it holds the entry, else the stream.
    auto where = [&](const char* key) { return gs.ext_gstate && gs.ext_gstate->FindObj(key) ? gs.ext_gstate : el.stream; };
    if ((changed & GState::e_rendering_intent) && !IsStandardRenderingIntent(gs.rendering_intent)) {
        ctx.Report(SDF::e_PDFA291, el.stream);
        // The intent came from the state applied last or from an ri in the stream: both are
        // looked at, and only unknown names change.
        if (ctx.state.convert && gs.ext_gstate) ctx.caches.Get<UnknownIntentStates>().insert(gs.ext_gstate);
        if (ctx.state.convert && el.stream) ctx.caches.Get<StreamsToClean>()[el.stream].unknown_intents = true;
    }
    if ((changed & GState::e_transfer) && gs.transfer && !IsNameOf(gs.transfer, "Default")) {
        ctx.Report(SDF::e_PDFA281, el.stream);
        if (ctx.state.convert && gs.ext_gstate) ctx.caches.Get<TransferCurvesToRemove>().insert(gs.ext_gstate);
    }
    if ((changed & GState::e_soft_mask) && gs.soft_mask) {
        ctx.Report(SDF::e_PDFA41, gs.soft_mask);
        MarkTransparency();
    }
    if ((changed & GState::e_blend_mode) && gs.blend_mode != "Normal" && gs.blend_mode != "Compatible") {
        ctx.Report(SDF::e_PDFA44, where("BM"));
        if (!IsStandardBlendMode(gs.blend_mode)) ctx.Report(SDF::e_PDFA21021);
        MarkTransparency();
    }
    if ((changed & GState::e_stroke_alpha) && NotOne(gs.stroke_alpha)) {
        ctx.Report(SDF::e_PDFA45, where("CA"));
        MarkTransparency();
    }
    if ((changed & GState::e_fill_alpha) && NotOne(gs.fill_alpha)) {
        ctx.Report(SDF::e_PDFA46, where("ca"));
        MarkTransparency();
    }
}

void ColourCheck::CheckOverprint(PassContext& ctx, const Element& el, const Resources& res)
{
    if (ctx.Part() < 2 || !el.stream || m_overprint_done.count(el.stream)) return;
    const GState& gs = *el.gstate;
    if (gs.overprint_mode != 1) return;
    PaintUse paints = PaintsWith(el);
    if ((paints.stroke && gs.stroke_overprint && IsICCCMYK(gs.stroke)) ||
        (paints.fill && gs.fill_overprint && IsICCCMYK(gs.fill))) {
        ctx.Report(SDF::e_PDFA24210, el.stream);
        m_overprint_done.insert(el.stream);
        // Overprint mode 1 only changes what overprinting devices print; screens draw the
        // same with 0.
        if (ctx.state.convert)
            for (const Resources* r = &res; r; r = r->GetParent())
                ForEachEntry(r->Category("ExtGState"), [](Obj* gs) {
                    if (gs->IsDict() && FindNumber(gs, "OPM", 0) == 1) gs->PutNumber("OPM", 0);
                });
    }
}

void ColourCheck::CheckResourceDicts(PassContext& ctx, const Resources& res)
{
    for (const Resources* r = &res; r; r = r->GetParent()) {
        if (r->GetDict()) m_page_resources.insert(r->GetDict());
        if (!m_resources_seen.insert(r->GetDict()).second) continue;
        // Spaces that cannot be read at all are found here rather than where they are used:
        // an ICCBased space without a profile stream, a DeviceN with too many colorants.
        ForEachEntry(r->Category("ColorSpace"), [&](Obj* cs) {
            if (!cs->IsArray() || cs->Size() == 0) return;
            Obj* family = Deref(cs->GetAt(0));
            Obj* arg = cs->Size() > 1 ? Deref(cs->GetAt(1)) : nullptr;
            if (IsNameOf(family, "ICCBased") && (!arg || !arg->IsStream())) ctx.Report(SDF::e_PDFA232, arg ? arg : cs);
            CheckUnreadableDeviceN(ctx, cs);
        });
        if (ctx.Part() < 2) continue;
        ForEachEntry(r->Category("ExtGState"), [&](Obj* gs) {
            if (gs->IsDict() && m_gstates_seen.insert(gs).second) CheckExtGState(ctx, gs);
        });
    }
}

namespace {

// A transfer curve that leaves every value as it is: Identity, or functions of one input
// and one output that return their input (within half a percent, at eleven points).
bool IsIdentityCurve(Obj* tr)
{
    if (IsNameOf(tr, "Identity")) return true;
    std::vector<Obj*> functions;
    if (tr && tr->IsArray()) {
        for (std::size_t i = 0; i < tr->Size(); ++i) functions.push_back(Deref(tr->GetAt(i)));
    } else {
        functions.push_back(tr);
    }
    for (Obj* f : functions) {
        if (IsNameOf(f, "Identity")) continue;
        std::unique_ptr<Render::FunctionEval> eval;
        try {
            eval = Render::FunctionEval::Create(f);
        } catch (const std::exception&) {
            return false;
        }
        if (!eval || eval->Outputs() != 1) return false;
        for (int i = 0; i <= 10; ++i) {
            const double x = i / 10.0;
            double y = -1;
            eval->Eval(&x, 1, &y);
            if (!(std::abs(y - x) <= 0.005)) return false;
        }
    }
    return true;
}

// A blend mode that is not standard draws as the first standard one of an array, else as
// Normal: the name viewers use in its place.
std::string_view BlendModeDrawn(Obj* bm)
{
    if (bm && bm->IsArray())
        for (std::size_t i = 0; i < bm->Size(); ++i)
            if (Obj* n = Deref(bm->GetAt(i)); n && n->IsName() && IsStandardBlendMode(n->GetName())) return n->GetName();
    return "Normal";
}

}  // namespace

void RemoveTransferCurves(PassContext& ctx)
{
    const std::set<Obj*> states = std::move(ctx.caches.Get<TransferCurvesToRemove>());
    ctx.caches.Drop<TransferCurvesToRemove>();
    // Only curves that change nothing go: another would change every colour the page shows.
    for (Obj* gs : states)
        for (const char* key : {"TR", "TR2"})
            if (Obj* tr = FindIn(gs, key); tr && !IsNameOf(tr, "Default") && IsIdentityCurve(tr)) gs->Erase(key);
}

void NameUnknownIntents(PassContext& ctx)
{
    const std::set<Obj*> states = std::move(ctx.caches.Get<UnknownIntentStates>());
    ctx.caches.Drop<UnknownIntentStates>();
    for (Obj* gs : states)
        if (Obj* ri = FindIn(gs, "RI"); ri && !(ri->IsName() && IsStandardRenderingIntent(ri->GetName())))
            gs->PutName("RI", "RelativeColorimetric");
}

void ColourCheck::CheckExtGState(PassContext& ctx, Obj* gs)
{
    const bool convert = ctx.state.convert;
    if (gs->FindObj("HTP")) {
        ctx.Report(SDF::e_PDFA2510, gs);
        if (convert) gs->Erase("HTP");
    }
    // Halftones only shape what printers put on paper: the repairs below leave the screen as it was.
    Obj* ht = FindIn(gs, "HT");
    if (ht && (ht->IsDict() || ht->IsStream())) {
        double type = FindNumber(ht, "HalftoneType", 0);
        if (type != 1 && type != 5) ctx.Report(SDF::e_PDFA2511, ht);
        if (ht->FindObj("HalftoneName")) {
            ctx.Report(SDF::e_PDFA2512, ht);
            if (convert) ht->Erase("HalftoneName");
        }
        if (Obj* bad = HalftoneTransfer(ht)) {
            ctx.Report(SDF::e_PDFA281, bad);
            if (convert) bad->Erase("TransferFunction");
        }
        if (convert && type != 1 && type != 5) gs->Erase("HT");
    }
    if (Obj* bm = FindIn(gs, "BM"); convert && bm) {
        Obj* first = bm->IsArray() && bm->Size() > 0 ? Deref(bm->GetAt(0)) : bm;
        if (!(first && first->IsName() && IsStandardBlendMode(first->GetName()))) gs->PutName("BM", BlendModeDrawn(bm));
    }
    if (gs->FindObj("HTO")) {
        ctx.Report(SDF::e_PDFA46253, gs);
        // The origin of halftone screens shapes printed output only.
        if (convert) gs->Erase("HTO");
    }
}

void ColourCheck::RemoveTransparency()
{
    // The forms, patterns and Type 3 fonts the resources list are reached too, also those
    // the page no longer draws (as after flattening, which draws their look into an image).
    std::set<Obj*> seen;
    std::vector<Obj*> todo(m_page_resources.begin(), m_page_resources.end());
    while (!todo.empty()) {
        Obj* dict = todo.back();
        todo.pop_back();
        if (!dict || !seen.insert(dict).second) continue;
        ForEachEntry(FindDict(dict, "ExtGState"), [](Obj* gs) {
            if (!gs->IsDict()) return;
            if (Obj* mask = FindIn(gs, "SMask"); mask && !IsNameOf(mask, "None")) gs->Erase("SMask");
            std::string_view bm = FindName(gs, "BM");
            if (gs->FindObj("BM") && bm != "Normal" && bm != "Compatible") gs->Erase("BM");
            for (const char* key : {"CA", "ca"})
                if (gs->FindObj(key) && FindNumber(gs, key, 0) != 1.0) gs->Erase(key);
        });
        for (const char* category : {"XObject", "Pattern", "Font"})
            ForEachEntry(FindDict(dict, category), [&](Obj* x) {
                if (x->IsStream() || x->IsDict()) todo.push_back(FindDict(x, "Resources"));
            });
    }
}

}  // namespace qvx::PDF
