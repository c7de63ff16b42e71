#pragma once
// The page pass's walk over content: a page's content streams and every form XObject they
// paint, read once by the element reader, with each element handed to the content checks
// of the colour, font and annotation groups in turn. A check sees the element with the
// graphics state in force and the reader (to ask for resources or the nesting depth).

#include <functional>
#include <span>

#include "pdf/ElementReader.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

class ContentCheck {
public:
    virtual ~ContentCheck() = default;
    virtual void PageBegin(PassContext& ctx, const Page& page) { (void)ctx, (void)page; }
    virtual void OnElement(PassContext& ctx, const Element& el, ElementReader& reader)
    {
        (void)ctx, (void)el, (void)reader;
    }
    virtual void OnIssue(PassContext& ctx, const ContentIssue& issue) { (void)ctx, (void)issue; }
    virtual void PageEnd(PassContext& ctx, const Page& page) { (void)ctx, (void)page; }
};

// What a path or text element paints with: its fill colour, its stroke colour (text by its
// render mode; other elements paint with neither).
struct PaintUse {
    bool fill = false, stroke = false;
};
PaintUse PaintsWith(const Element& el);

// The appearance streams of the page's annotations: each normal appearance, or each state
// of a normal appearance dictionary, once.
std::vector<SDF::Obj*> AppearanceStreams(const Page& page);

// Walks one page's content (forms entered where painted) for the checks, in order. Stops
// early when the run's stop flag is set.
void WalkPageContent(PassContext& ctx, const Page& page, std::span<ContentCheck* const> checks);

// Each stream (XObject, pattern or soft-mask group) that the resources of the pages, of
// their annotations' appearances and of the form fields name, the streams' own resources
// searched in turn, handed to fn once.
void ForEachNamedStream(PassContext& ctx, const std::function<void(SDF::Obj* stream)>& fn);

// Conversion keeps the forms that resources name but no content draws (old field
// appearances left in resources, say), and other readers check those as content too, text
// operators with no font among the rest. After the pages, conversion reads each of them
// once from the initial state for the given checks, which mend there what they mend in
// drawn content; their findings are not kept. Forms some content draws are read where drawn,
// with the state they inherit.
void WalkUndrawnForms(PassContext& ctx, std::span<ContentCheck* const> checks);

}  // namespace qvx::PDF
