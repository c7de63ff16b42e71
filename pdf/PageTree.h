#pragma once
// The pages of a document in order, read once from the page tree.
//
//     PDF::PageTree pages(doc);
//     for (std::size_t i = 0; i < pages.Count(); ++i) Walk(pages.GetPage(i));
//
// Damaged trees are read as viewers read them: a node is a page tree node when its Type
// is Pages or it has Kids, otherwise a page; Count is not trusted; kids that are not
// dictionaries are skipped (LostKids keeps where the references among them stood); a node
// reached a second time along its own ancestry (a loop) is skipped, while a page listed
// twice appears twice.

#include <cstdint>
#include <optional>
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
    // Whether anything was skipped or repaired while reading (loops, bad kids, kids held
    // directly in Kids, Count).
    bool WasRepaired() const { return m_repaired; }
    // The 0-based index of the page whose dictionary is obj, or -1.
    long IndexOf(const SDF::Obj* obj) const;

    // A kid that refers to an object which damage made unreadable (one the table defines, or
    // any in a table rebuilt from a damaged file): viewers show a blank page in its place.
    // before: the index of the page it precedes; media_box: the box its ancestors pass down
    // (may be null).
    struct LostKid {
        std::size_t before;
        SDF::Obj* media_box;
    };
    const std::vector<LostKid>& LostKids() const { return m_lost; }

private:
    void Read(SDF::Obj* root);
    // Whether a kid that reads as null stood for a page that damage took. A free entry, or an
    // object a sound table never had, is no page to any reader.
    bool LostToDamage(const SDF::Obj* kid_ref);

    std::vector<Page> m_pages;
    std::vector<LostKid> m_lost;
    SDF::SDFDoc* mp_doc;
    std::optional<std::uint32_t> m_highest_defined;
    bool m_repaired = false;
};

}  // namespace qvx::PDF
