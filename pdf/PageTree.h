#pragma once
// The pages of a document in order, read once from the page tree.
//
//     PDF::PageTree pages(doc);
//     for (std::size_t i = 0; i < pages.Count(); ++i) Walk(pages.GetPage(i));
//
// Damaged trees are read as viewers read them: a node is a page tree node when its Type
// is Pages or it has Kids, otherwise a page; Count is not trusted; kids that are not
// dictionaries are skipped; a node reached a second time along its own ancestry (a loop)
// is skipped, while a page listed twice appears twice.

#include <vector>

#include "pdf/Page.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

class PageTree {
public:
    explicit PageTree(SDF::SDFDoc& doc);

    std::size_t Count() const { return m_pages.size(); }
    // 0-based index; throws "Page index is out of range" past the end.
    const Page& GetPage(std::size_t i) const;
    const std::vector<Page>& Pages() const { return m_pages; }
    // Whether anything was skipped or repaired while reading (loops, bad kids, Count).
    bool WasRepaired() const { return m_repaired; }
    // The 0-based index of the page whose dictionary is obj, or -1.
    long IndexOf(const SDF::Obj* obj) const;

private:
    void Read(SDF::Obj* root);

    std::vector<Page> m_pages;
    bool m_repaired = false;
};

}  // namespace qvx::PDF
