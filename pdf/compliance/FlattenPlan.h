#pragma once
// What the flattener changes on one page, worked out from its content before anything is
// touched: which drawing operations go (transparent ones), where the images of the
// regions they covered are drawn, and what the new content is.
//
// Every top-level element that draws with transparency is taken out of the content: a
// path is ended without painting, text is shown invisibly (it stays searchable), an image,
// form or shading is dropped. Images of the page as drawn up to the last element they
// stand for replace what those elements covered. Each image is drawn right after the first
// element it stands for, in that element's clip (which clipped the element too), so opaque
// content drawn before lies below it and opaque content drawn after lies on top, drawn
// once. Elements share one image while they follow one another in one clip and nothing
// opaque drawn between them overlaps them.

#include <cstddef>
#include <string>
#include <vector>

#include "common/Buffer.h"
#include "pdf/Page.h"
#include "pdf/ResourceCache.h"

namespace qvx::PDF {

class FlattenPlan {
public:
    // Images drawn at one place in the content.
    struct Group {
        std::size_t at = 0;          // offset in the content
        // The content the images show ends here: with the last element they stand for (its
        // text object) or at `at`, whichever is later. What follows is drawn over them.
        std::size_t stop = 0;
        Matrix ctm;                  // the transform in force there
        std::vector<Rect> rects;     // default user space, clipped to the page
    };

    // Reads the page's content; throws when a content stream cannot be read.
    FlattenPlan(ResourceCache& cache, const Page& page);

    // Whether any element is transparent (the page then needs new content).
    bool Changes() const { return !m_edits.empty(); }
    const std::vector<Group>& Groups() const { return m_groups; }
    // The union of every group's rectangles (empty when nothing is rendered).
    Rect Bounds() const;
    std::size_t ImageCount() const;

    // An image as drawn: its resource name and where it goes (default user space).
    struct Placed {
        std::string name;
        Rect rect;
    };
    // Fonts that the invisible text of forms taken out shows with (their dictionaries):
    // the page needs them as resources.
    const std::vector<SDF::Obj*>& Fonts() const { return m_fonts; }

    // The new content: reset names the ExtGState that turns transparency off; images are
    // those of each group's rectangles, group by group, in order; fonts names each of
    // Fonts(). Throws when the transform where a group goes cannot be inverted.
    Common::Bytes Rewrite(const std::string& reset, const std::vector<Placed>& images,
                          const std::vector<std::string>& fonts) const;

private:
    struct Edit {
        enum Kind { e_reset, e_images, e_remove, e_no_paint, e_invisible } kind;
        std::size_t from = 0, to = 0;
        // e_images: the group; e_invisible: the render mode to restore; e_remove: the
        // text of the form taken out (-1: none)
        int value = -1;
    };
    // One text element of a form taken out, to be shown invisibly where the form was.
    struct TextRun {
        Matrix ctm;             // in the form's space
        std::size_t font = 0;   // index in m_fonts
        double size = 0, char_spacing = 0, word_spacing = 0, horiz_scale = 100, rise = 0;
        Matrix tm;
        std::string shown;      // the TJ array
    };
    struct FormText {
        Matrix matrix;          // the form's Matrix
        std::vector<TextRun> runs;
    };
    std::string InvisibleText(const FormText& text, const std::vector<std::string>& fonts) const;
    class Reader;
    friend class Reader;

    Common::Bytes m_content;
    std::vector<Edit> m_edits;
    std::vector<Group> m_groups;
    std::vector<FormText> m_texts;
    std::vector<SDF::Obj*> m_fonts;
};

}  // namespace qvx::PDF
