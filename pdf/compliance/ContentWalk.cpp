#include "pdf/compliance/ContentWalk.h"

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

}  // namespace

void WalkPageContent(PassContext& ctx, const Page& page, std::span<ContentCheck* const> checks)
{
    for (ContentCheck* c : checks) c->PageBegin(ctx, page);
    IssueFanOut issues(ctx, checks);
    ElementReader reader(ctx.caches.Get<ResourceCache>(), &issues);
    reader.Begin(page);
    // The reader refuses a form inside itself and bounds the nesting; a form painted twice
    // is read twice because the state it inherits may differ.
    while (reader.NestingDepth() > 0 && !ctx.Stopped()) {
        const Element* el = reader.Next();
        if (!el) {
            reader.End();
            continue;
        }
        for (ContentCheck* c : checks) c->OnElement(ctx, *el, reader);
        if (el->Is(Element::e_form)) reader.FormBegin();
    }
    for (ContentCheck* c : checks) c->PageEnd(ctx, page);
}

}  // namespace qvx::PDF
