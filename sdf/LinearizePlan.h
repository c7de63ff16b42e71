#pragma once
// Where each object goes in a linearized file: the document-level objects needed to open
// it, the first page with everything it uses, each further page with the objects only it
// uses, the objects several later pages share, and the rest.

#include <cstdint>
#include <vector>

namespace qvx::SDF {

class Obj;
class SDFDocImpl;

struct LinearizePlan {
    // The catalog, then the objects opening the document needs (viewer preferences, open
    // action, forms, threads).
    std::vector<std::uint32_t> open_doc;
    // Per page in page order: the page object, then the objects placed with it (for the
    // first page everything it uses that is not open_doc; for the others what only they use).
    std::vector<std::vector<std::uint32_t>> pages;
    // The outline objects (kept together, for the outline hint table): after the first
    // page when they are shown at open, else ahead of the other objects.
    std::vector<std::uint32_t> outlines;
    bool outlines_at_open = false;
    // How many objects the outlines reach, including those placed elsewhere (what the
    // outline hint table counts).
    std::uint32_t outline_reach = 0;
    // Objects used by several pages but not the first.
    std::vector<std::uint32_t> shared;
    // Everything else reachable from the trailer (page tree, information dictionary, ...).
    std::vector<std::uint32_t> other;
    // Per page: the objects of the first page or of shared that it uses besides its own
    // (empty for the first page).
    std::vector<std::vector<std::uint32_t>> shared_refs;
};

// The plan for the objects reachable from trailer (the trailer to write). Inherited page
// attributes (Resources, MediaBox, CropBox, Rotate) are first copied into the pages, so
// that each page names what it uses. Pages that are not indirect objects make the plan
// empty (no pages), as does a document without pages.
LinearizePlan PlanLinearized(SDFDocImpl& doc, Obj& trailer);

}  // namespace qvx::SDF
