#include "pdf/compliance/ContentWalk.h"

#include <set>
#include <vector>

#include "pdf/ObjUtil.h"
#include "pdf/ResourceCache.h"

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

// The tiling patterns an element paints with (fill first, then stroke), each once per page.
std::vector<bool> TilingPatternsPainted(const Element& el, std::set<const SDF::Obj*>& seen)
{
    bool fills = false, strokes = false;
    if (el.Is(Element::e_path)) {
        fills = el.fill;
        strokes = el.stroke;
    } else if (el.Is(Element::e_text)) {
        int mode = el.gstate->text_render_mode;
        fills = mode == 0 || mode == 2 || mode == 4 || mode == 6;
        strokes = mode == 1 || mode == 2 || mode == 5 || mode == 6;
    }
    std::vector<bool> out;
    auto want = [&](const ColorState& c, bool fill) {
        if (c.pattern && FindNumber(c.pattern, "PatternType", 0) == 1 && seen.insert(c.pattern).second)
            out.push_back(fill);
    };
    if (fills) want(el.gstate->fill, true);
    if (strokes) want(el.gstate->stroke, false);
    return out;
}

}  // namespace

void WalkPageContent(PassContext& ctx, const Page& page, std::span<ContentCheck* const> checks)
{
    for (ContentCheck* c : checks) c->PageBegin(ctx, page);
    IssueFanOut issues(ctx, checks);
    ElementReader reader(ctx.caches.Get<ResourceCache>(), &issues);
    reader.Begin(page);
    // The reader refuses a form inside itself and bounds the nesting; a form painted twice
    // is read twice because the state it inherits may differ. A tiling pattern is read
    // once per page, where it is first painted; when an element paints with two, the
    // second is entered once the first is left.
    struct Pending {
        int depth;
        bool fill;
    };
    std::vector<Pending> pending;
    std::set<const SDF::Obj*> patterns;
    auto enter_pending = [&] {
        while (!pending.empty() && pending.back().depth == reader.NestingDepth()) {
            bool fill = pending.back().fill;
            pending.pop_back();
            if (reader.PatternBegin(fill)) return;
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
        std::vector<bool> tiles = TilingPatternsPainted(*el, patterns);
        for (auto it = tiles.rbegin(); it != tiles.rend(); ++it) pending.push_back({reader.NestingDepth(), *it});
        enter_pending();
    }
    for (ContentCheck* c : checks) c->PageEnd(ctx, page);
}

}  // namespace qvx::PDF
