#include "pdf/compliance/ContentWalk.h"

#include <functional>
#include <set>
#include <vector>

#include "pdf/ObjUtil.h"
#include "pdf/ResourceCache.h"
#include "pdf/compliance/ContentRewrite.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

namespace {

class IssueFanOut final : public ContentObserver {
public:
    IssueFanOut(PassContext& ctx, std::span<ContentCheck* const> checks) : m_ctx(ctx), m_checks(checks) {}
    void OnIssue(const ContentIssue& issue) override
    {
        for (ContentCheck* c : m_checks) c->OnIssue(m_ctx, issue);
    }

private:
    PassContext& m_ctx;
    std::span<ContentCheck* const> m_checks;
};

// A stream an element draws through, entered after the element: a tiling pattern of its
// fill or stroke colour, the glyph procedure of a Type 3 character code, or the group of
// its soft mask, which is drawn to make the mask.
struct Inner {
    enum Kind { e_fill_pattern, e_stroke_pattern, e_glyph, e_soft_mask } kind;
    std::uint32_t code = 0;
    SDF::Obj* group = nullptr;
};

// What an element draws through that this page has not entered yet: each tiling pattern
// and each Type 3 glyph once per page.
class InnerStreams {
public:
    std::vector<Inner> Of(const Element& el)
    {
        std::vector<Inner> out;
        PaintUse paints = PaintsWith(el);
        // Invisible text draws no glyphs.
        if (el.Is(Element::e_text) && (paints.fill || paints.stroke)) Glyphs(el, out);
        auto want = [&](const ColorState& c, Inner::Kind kind) {
            if (c.pattern && FindNumber(c.pattern, "PatternType", 0) == 1 && m_patterns.insert(c.pattern).second)
                out.push_back({kind});
        };
        if (paints.fill) want(el.gstate->fill, Inner::e_fill_pattern);
        if (paints.stroke) want(el.gstate->stroke, Inner::e_stroke_pattern);
        SDF::Obj* group = FindStream(el.gstate->soft_mask, "G");
        if (group && m_masks.insert(group).second) out.push_back({Inner::e_soft_mask, 0, group});
        return out;
    }

private:
    void Glyphs(const Element& el, std::vector<Inner>& out)
    {
        const Font* font = el.gstate->font.get();
        if (!font || font->GetKind() != Font::e_type3) return;
        for (const Element::Shown& s : el.strings)
            for (std::uint8_t code : s.bytes)
                if (m_glyphs.insert({font, code}).second) out.push_back({Inner::e_glyph, code});
    }

    std::set<const SDF::Obj*> m_patterns, m_masks;
    std::set<std::pair<const Font*, std::uint32_t>> m_glyphs;
};

}  // namespace

PaintUse PaintsWith(const Element& el)
{
    if (el.Is(Element::e_path)) return {el.fill, el.stroke};
    if (!el.Is(Element::e_text)) return {};
    // Modes 0-2 and 4-6 fill and/or stroke; 3 (invisible) and 7 (clip only) paint nothing.
    int mode = el.gstate->text_render_mode;
    return {mode == 0 || mode == 2 || mode == 4 || mode == 6, mode == 1 || mode == 2 || mode == 5 || mode == 6};
}

namespace {

// Reads what the reader was started on to its end, handing each element to the checks.
// The reader refuses a form inside itself and bounds the nesting; a form painted twice is
// read twice because the state it inherits may differ. Tiling patterns, Type 3 glyphs and
// soft-mask groups are read once per page, where first drawn; when an element draws through
// several, each is entered once the one before it is left.
void Drain(PassContext& ctx, ElementReader& reader, std::span<ContentCheck* const> checks, InnerStreams& inner)
{
    struct Pending {
        int depth;
        Inner inner;
    };
    std::vector<Pending> pending;
    auto enter_pending = [&] {
        while (!pending.empty() && pending.back().depth == reader.NestingDepth()) {
            Inner next = pending.back().inner;
            pending.pop_back();
            bool entered = next.kind == Inner::e_glyph       ? reader.Type3GlyphBegin(next.code)
                           : next.kind == Inner::e_soft_mask ? reader.AppearanceBegin(next.group)
                                                             : reader.PatternBegin(next.kind == Inner::e_fill_pattern);
            if (entered) return;
        }
    };
    while (reader.NestingDepth() > 0 && !ctx.Stopped()) {
        const Element* el = reader.Next();
        if (!el) {
            reader.End();
            enter_pending();
            continue;
        }
        for (ContentCheck* c : checks) c->OnElement(ctx, *el, reader);
        if (el->Is(Element::e_form)) {
            reader.FormBegin();
            continue;
        }
        std::vector<Inner> streams = inner.Of(*el);
        for (auto it = streams.rbegin(); it != streams.rend(); ++it) pending.push_back({reader.NestingDepth(), *it});
        enter_pending();
    }
}

}  // namespace

std::vector<SDF::Obj*> AppearanceStreams(const Page& page)
{
    std::vector<SDF::Obj*> out;
    std::set<const SDF::Obj*> seen;
    SDF::Obj* annots = page.GetAnnots();
    auto add = [&](SDF::Obj* s) {
        s = Deref(s);
        if (s && s->IsStream() && seen.insert(s).second) out.push_back(s);
    };
    for (std::size_t i = 0; annots && i < annots->Size(); ++i) {
        SDF::Obj* ap = FindDict(Deref(annots->GetAt(i)), "AP");
        SDF::Obj* n = ap ? Deref(ap->FindObj("N")) : nullptr;
        if (!n) continue;
        if (n->IsStream()) {
            add(n);
        } else if (n->IsDict()) {
            for (auto it = n->DictBegin(); it.HasNext(); it.Next()) add(it.Value());
        }
    }
    return out;
}

void WalkPageContent(PassContext& ctx, const Page& page, std::span<ContentCheck* const> checks)
{
    for (ContentCheck* c : checks) c->PageBegin(ctx, page);
    IssueFanOut issues(ctx, checks);
    ElementReader reader(ctx.caches.Get<ResourceCache>(), &issues);
    InnerStreams inner;
    reader.Begin(page);
    Drain(ctx, reader, checks, inner);
    // Annotation appearances draw on the page too; each starts from the initial state.
    for (SDF::Obj* appearance : AppearanceStreams(page)) {
        if (ctx.Stopped()) break;
        reader.Begin(appearance);
        Drain(ctx, reader, checks, inner);
    }
    for (ContentCheck* c : checks) c->PageEnd(ctx, page);
}

void ForEachNamedStream(PassContext& ctx, const std::function<void(SDF::Obj* stream)>& fn)
{
    std::vector<SDF::Obj*> resources;
    std::set<const SDF::Obj*> seen;
    auto search = [&](SDF::Obj* res) {
        res = Deref(res);
        if (res && res->IsDict() && seen.insert(res).second) resources.push_back(res);
    };
    for (const Page& page : ctx.Pages().Pages()) {
        search(page.GetResourceDict());
        for (SDF::Obj* appearance : AppearanceStreams(page)) search(FindIn(appearance, "Resources"));
    }
    search(FindIn(FindDict(FindDict(ctx.doc.GetTrailer(), "Root"), "AcroForm"), "DR"));
    auto visit = [&](SDF::Obj* stream) {
        stream = Deref(stream);
        if (!stream || !stream->IsStream() || !seen.insert(stream).second) return;
        fn(stream);
        search(FindIn(stream, "Resources"));
    };
    while (!resources.empty()) {
        SDF::Obj* res = resources.back();
        resources.pop_back();
        for (const char* category : {"XObject", "Pattern"})
            if (SDF::Obj* named = FindDict(res, category))
                for (auto it = named->DictBegin(); it.HasNext(); it.Next()) visit(it.Value());
        // The group of a soft mask is a form too, drawn where the mask applies.
        if (SDF::Obj* states = FindDict(res, "ExtGState"))
            for (auto it = states->DictBegin(); it.HasNext(); it.Next())
                if (SDF::Obj* state = Deref(it.Value()); state && state->IsDict())
                    visit(FindIn(FindDict(state, "SMask"), "G"));
    }
}

void WalkUndrawnForms(PassContext& ctx, std::span<ContentCheck* const> checks)
{
    const std::set<SDF::Obj*>& walked = ctx.caches.Get<ContentStreamsWalked>();
    std::vector<SDF::Obj*> undrawn;
    ForEachNamedStream(ctx, [&](SDF::Obj* stream) {
        if (FindName(stream, "Subtype") == "Form" && !walked.contains(stream)) undrawn.push_back(stream);
    });
    // What the checks find there is mended but not recorded: validation reads drawn content
    // only, and a file has the same findings whether it is validated or converted.
    const SDF::ErrorStore found = ctx.state.errors;
    IssueFanOut issues(ctx, checks);
    ElementReader reader(ctx.caches.Get<ResourceCache>(), &issues);
    InnerStreams inner;
    for (SDF::Obj* form : undrawn) {
        if (ctx.Stopped()) break;
        reader.Begin(form);
        Drain(ctx, reader, checks, inner);
    }
    ctx.state.errors = found;
}

}  // namespace qvx::PDF
