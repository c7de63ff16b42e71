#include "pdf/compliance/AnnotationChecks.h"

#include <string>
#include <string_view>
#include <vector>

#include "common/Exception.h"
#include "pdf/Annot.h"
#include "pdf/AnnotAppearance.h"
#include "pdf/ExtGState.h"
#include "pdf/ObjUtil.h"
#include "pdf/Page.h"
#include "pdf/compliance/ActionChecks.h"
#include "pdf/compliance/AnnotationRules.h"
#include "pdf/compliance/OutputIntents.h"
#include "pdf/compliance/AppearanceRepair.h"
#include "sdf/Dict.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// PresSteps and AA of the page dictionary, then the actions inside AA.
void CheckPageEntries(PassContext& ctx, Obj* page)
{
    const int level = ctx.state.level;
    if (level >= 3 && FindIn(page, "PresSteps")) {
        ctx.Report(SDF::e_PDFA6100, page);
        if (ctx.state.convert) page->Erase("PresSteps");
    }
    Obj* aa = FindDict(page, "AA");
    if (!FindIn(page, "AA")) return;
    if (level >= 3 && level <= 8) {
        ctx.Report(SDF::e_PDFA5212, page);
        if (ctx.state.convert) {
            page->Erase("AA");
            return;
        }
    }
    if (ctx.Part() == 4 && !HasOnlyPermittedTriggers(aa)) {
        ctx.Report(SDF::e_PDFA46631, page);
        if (ctx.state.convert) {
            page->Erase("AA");
            return;
        }
    }
    if (!CheckAdditionalActions(ctx, aa) && ctx.state.convert) page->Erase("AA");
}

// The colour entries need an RGB output intent to be shown the same everywhere. True when
// the file's output intent is of another kind, which conversion keeps for the content.
bool CheckColors(PassContext& ctx, const Annot& annot, Obj* dict)
{
    // A null entry is no entry.
    bool c = FindIn(dict, "C") != nullptr, ic = FindIn(dict, "IC") != nullptr;
    if (!c && !ic) return false;
    // A PDF/A-4 projection has no appearance of its own, so its colours are never shown.
    if (annot.GetType() == Annot::e_Projection && ctx.Part() == 4) return false;
    int n = ctx.caches.Get<OutputIntentState>().components;
    if (n == 3) return false;
    if (c) ctx.Report(n == 0 ? SDF::e_PDFA5331 : SDF::e_PDFA5332, annot.GetSDFObj());
    if (ic) ctx.Report(n == 0 ? SDF::e_PDFA5333 : SDF::e_PDFA5334, annot.GetSDFObj());
    return n != 0;
}

void CheckFlags(PassContext& ctx, const Annot& annot, Obj* dict)
{
    const bool fix = ctx.state.convert;
    auto bit = [](Annot::Flag b) { return 1 << b; };
    // Viewers show a note's icon unscaled and upright whatever F says; PDF/A-1 readers that
    // take F to the letter accept the copy only when it says so too.
    const int note = ctx.Part() == 1 && annot.GetType() == Annot::e_Text
                         ? bit(Annot::e_no_zoom) | bit(Annot::e_no_rotate) : 0;
    if (!annot.HasFlags()) {
        if (annot.GetType() == Annot::e_Popup) {
            // Not a finding, but PDF/A-1 readers that ask F of every annotation accept the
            // copy only with it; a popup is shown from its parent, so Print changes nothing.
            if (fix && ctx.Part() == 1) dict->PutNumber("F", bit(Annot::e_print));
            return;
        }
        ctx.Report(SDF::e_PDFA5321, dict);
        if (fix) dict->PutNumber("F", bit(Annot::e_print) | note);
        return;
    }
    int f = annot.GetFlags();
    if (!(f & bit(Annot::e_print))) ctx.Report(SDF::e_PDFA5322, dict), f |= bit(Annot::e_print);
    if (f & bit(Annot::e_hidden)) ctx.Report(SDF::e_PDFA5323, dict), f &= ~bit(Annot::e_hidden);
    if (f & bit(Annot::e_invisible)) ctx.Report(SDF::e_PDFA5324, dict), f &= ~bit(Annot::e_invisible);
    if (f & (bit(Annot::e_no_view) | bit(Annot::e_toggle_no_view))) {
        ctx.Report(SDF::e_PDFA5325, dict);
        f &= ~(bit(Annot::e_no_view) | bit(Annot::e_toggle_no_view));
    }
    f |= note;
    if (fix && f != annot.GetFlags()) dict->PutNumber("F", f);
}

// A popup shows only when opened, placed as the viewer likes; readers that ask Rect of every
// annotation get its parent's, else an empty one.
void GivePopupRect(Obj* dict)
{
    Rect r;
    ReadRect(FindArray(FindDict(dict, "Parent"), "Rect"), r);
    Obj* rect = dict->PutArray("Rect");
    for (double v : {r.x1, r.y1, r.x2, r.y2}) rect->PushBackNumber(v);
}

// Which annotations must have an appearance: widgets at PDF/A-1; later everything but
// links, popups, PDF/A-4 projections and annotations without extent.
bool NeedsAppearance(PassContext& ctx, const Annot& annot)
{
    const Annot::Type type = annot.GetType();
    if (ctx.Part() == 1) return type == Annot::e_Widget;
    if (type == Annot::e_Link || type == Annot::e_Popup) return false;
    if (type == Annot::e_Projection && ctx.Part() == 4) return false;
    std::optional<Rect> r = annot.GetRect();
    return !(r && r->Width() == 0 && r->Height() == 0);
}

bool HasOnlyStreams(Obj* states)
{
    bool all = true;
    for (auto it = states->DictBegin(); it != states->DictEnd() && all; ++it) {
        Obj* v = Deref(it.Value());
        all = v && v->IsStream();
    }
    return all;
}

// Entries whose value is not null.
std::size_t EntryCount(Obj* dict)
{
    std::size_t n = 0;
    ForEachEntry(dict, [&](Obj*) { ++n; });
    return n;
}

void Repair(PassContext& ctx, const Annot& annot, bool button)
{
    GiveAppearance(ctx.doc, annot, button, ctx.Part() >= 2);
}

// Missing appearances (95, 334) and appearance dictionaries with more than N (5341), no N
// (5342) or an N of the wrong kind (5343); conversion gives a new appearance where none is
// usable.
void CheckAppearance(PassContext& ctx, const Annot& annot, Obj* dict)
{
    const Annot::Type type = annot.GetType();
    const bool button = type == Annot::e_Widget && IsButtonWidget(dict);
    // A null AP is no AP; an AP of another kind than a dictionary has no N.
    if (!FindIn(dict, "AP")) {
        if (!NeedsAppearance(ctx, annot)) return;
        ctx.Report(ctx.Part() == 1 ? SDF::e_PDFA95 : SDF::e_PDFA334);
        if (ctx.state.convert) Repair(ctx, annot, button);
        return;
    }
    Obj* ap = annot.GetAppearanceDict();
    Obj* n = FindIn(ap, "N");
    if (!n) ctx.Report(SDF::e_PDFA5342, dict);
    if (!ap) {
        if (ctx.state.convert) Repair(ctx, annot, button);
        return;
    }
    if (EntryCount(ap) > 1) {
        ctx.Report(SDF::e_PDFA5341, dict);
        if (ctx.state.convert) {
            std::vector<std::string> others;
            for (auto it = ap->DictBegin(); it != ap->DictEnd(); ++it)
                if (it.KeyText() != "N") others.emplace_back(it.KeyText());
            for (const std::string& key : others) ap->Erase(key);
        }
    }
    bool usable = n && (button ? n->IsDict() : n->IsStream());
    if (n && !usable) ctx.Report(SDF::e_PDFA5343, dict);
    // States that are no streams draw nothing and some readers stop at them: conversion
    // draws the button anew, as it does where the states are missing.
    if (usable && button && ctx.state.convert && !HasOnlyStreams(n)) usable = false;
    if (!usable && ctx.state.convert) Repair(ctx, annot, button);
    // The form asked viewers to draw its fields from their values, whatever appearance
    // they carry; without the flag the copy shows what they showed only when drawn anew.
    else if (usable && !button && type == Annot::e_Widget && ctx.state.convert &&
             ctx.caches.Get<FieldsDrawnByViewer>().value)
        RedrawFieldFromValue(ctx.doc, annot, ctx.Part() >= 2);
    // Appearance states need AS to say which one shows; without it readers differ.
    if (usable && button && ctx.state.convert && annot.GetAppearanceState().empty())
        dict->PutName("AS", n->FindObj("Off") || n->Size() == 0 ? "Off" : n->DictBegin().KeyText());
}

// Widgets may not act; links may, with permitted actions; at PDF/A-4 any other
// annotation's AA keeps to the permitted triggers.
void CheckAnnotActions(PassContext& ctx, const Annot& annot, Obj* dict)
{
    const bool fix = ctx.state.convert;
    const Annot::Type type = annot.GetType();
    if (type == Annot::e_Widget) {
        CheckFieldActions(ctx, dict);
        return;
    }
    if (ctx.Part() == 4 && !HasOnlyPermittedTriggers(annot.GetAdditionalActions())) {
        ctx.Report(SDF::e_PDFA46631, dict);
        if (fix) dict->Erase("AA");
    }
    if (type != Annot::e_Link) return;
    if (fix) DropDeadDest(ctx, dict);
    if (!CheckAction(ctx, dict->FindObj("A")) && fix) dict->Erase("A");
    if (!CheckAdditionalActions(ctx, annot.GetAdditionalActions()) && fix) dict->Erase("AA");
}

// PDF/A-2 and later: an annotation's BM names a standard blend mode (a name, or an array
// of names in the older form).
void CheckBlendMode(PassContext& ctx, const Annot& annot, Obj* dict)
{
    Obj* bm = annot.GetBlendMode();
    if (!bm) return;
    bool ok = bm->IsName() && IsStandardBlendMode(bm->GetName());
    for (std::size_t i = 0; bm->IsArray() && i < bm->Size(); ++i) {
        Obj* mode = Deref(bm->GetAt(i));
        ok = mode && mode->IsName() && IsStandardBlendMode(mode->GetName());
        if (!ok) break;
    }
    if (ok) return;
    ctx.Report(SDF::e_PDFA21021, dict);
    if (ctx.state.convert) dict->Erase("BM");
}

// Whether no viewer showed the annotation: hidden, neither viewed nor printed, or of a
// kind viewers do not know and flagged to stay invisible. A NoView annotation that prints
// keeps its look on paper.
bool ShownNowhere(const Annot& annot)
{
    if (!annot.HasFlags()) return false;
    return annot.HasFlag(Annot::e_hidden) || (annot.HasFlag(Annot::e_no_view) && !annot.HasFlag(Annot::e_print)) ||
           (annot.HasFlag(Annot::e_invisible) && annot.GetType() == Annot::e_Unknown);
}

// An annotation of a subtype the level does not allow goes, but what it showed stays,
// drawn into the page's content (an appearance drawn from its entries where it has none),
// unless it was hidden. Annot::Flatten takes it off the page itself. Not where the page's
// resources are inherited: the page walk that follows reads the resources it was given.
bool MergeIntoPage(PassContext& ctx, const Page& page, const Annot& annot)
{
    if (ShownNowhere(annot)) return false;
    if (!page.GetResourceDict() || FindDict(page.GetSDFObj(), "Resources") != page.GetResourceDict()) return false;
    try {
        if (!annot.GetAppearance()) {
            DrawnAppearance drawn = DrawAppearance(ctx.doc, annot, ctx.Part() >= 2);
            if (!drawn.normal || !drawn.state.empty()) return false;
            Deref(annot.GetSDFObj())->PutDict("AP")->Put("N", drawn.normal);
            if (drawn.rect) Annot(annot).SetRect(*drawn.rect);
        }
        Page copy = page;
        Annot(annot).Flatten(copy);
        return true;
    } catch (const Common::Exception&) {
        return false;
    }
}

// The checks of one annotation; false when it is to be removed.
bool CheckAnnot(PassContext& ctx, const Page& page, const Annot& annot)
{
    Obj* dict = Deref(annot.GetSDFObj());
    if (int code = SubtypeCode(ctx, annot)) {
        ctx.Report(code, dict);
        // Merged into the page, it is off the page already.
        return ctx.state.convert && MergeIntoPage(ctx, page, annot);
    }
    // A 3D annotation that goes leaves the view it showed (its appearance) on the page.
    if (annot.GetType() == Annot::e_3D && !Check3DData(ctx, annot)) return ctx.state.convert && MergeIntoPage(ctx, page, annot);
    if (ctx.Part() == 1) {
        std::optional<double> ca = annot.GetOpacity();
        if (ca && *ca != 1.0) {
            ctx.Report(SDF::e_PDFA531, dict);
            if (ctx.state.convert) dict->Erase("CA");
        }
    }
    const bool unseen = ctx.state.convert && ShownNowhere(annot);
    CheckFlags(ctx, annot, dict);
    if (ctx.state.convert && annot.GetType() == Annot::e_Popup && !annot.GetRect()) GivePopupRect(dict);
    const bool colours_misfit = CheckColors(ctx, annot, dict);
    if (ctx.Part() >= 2) CheckBlendMode(ctx, annot, dict);
    CheckAppearance(ctx, annot, dict);
    if (unseen) GiveEmptyAppearance(ctx.doc, annot, annot.GetType() == Annot::e_Widget && IsButtonWidget(dict));
    // The appearance, drawn with them where it was missing, shows the colours from now on.
    if (colours_misfit && ctx.state.convert)
        for (const char* key : {"C", "IC"}) dict->Erase(key);
    CheckAnnotActions(ctx, annot, dict);
    return true;
}

// PDF/UA: trapping networks are for print production, not for readers.
void RemoveTrapNets(PassContext& ctx, Obj* annots)
{
    for (std::size_t i = annots->Size(); i-- > 0 && !ctx.Stopped();) {
        Annot annot(annots->GetAt(i));
        if (!annot.IsValid() || annot.GetType() != Annot::e_TrapNet) continue;
        ctx.Report(SDF::e_PDFUA171821, Deref(annot.GetSDFObj()));
        if (ctx.state.convert) annots->EraseAt(i);
    }
}

}  // namespace

void AnnotationCheck::PageBegin(PassContext& ctx, const Page& page)
{
    if (ctx.state.is_pdfua) {
        if (Obj* annots = page.GetAnnots()) RemoveTrapNets(ctx, annots);
        return;
    }
    if (!ctx.Checks()) return;
    CheckPageEntries(ctx, page.GetSDFObj());
    Obj* annots = page.GetAnnots();
    if (!annots) return;
    // Last to first, so that removals leave the indices still to visit in place.
    for (std::size_t i = annots->Size(); i-- > 0 && !ctx.Stopped();) {
        Annot annot(annots->GetAt(i));
        bool keep = annot.IsValid() ? CheckAnnot(ctx, page, annot) : (ctx.Report(SDF::e_PDFA521, annots), false);
        if (!keep && ctx.state.convert) annots->EraseAt(i);
    }
}

}  // namespace qvx::PDF
