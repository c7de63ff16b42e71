#pragma once
// Whether content draws with transparency: what decides which pages a conversion to PDF/A-1
// with flattening rewrites, and which elements of such a page the flattener rasterizes.
//
// An element uses transparency when it paints with a soft mask, a blend mode other than
// Normal or Compatible, or an alpha other than 1 (a value that is not a number counts as
// other) where it applies: the stroking one to strokes, the non-stroking one to fills,
// images and shadings, both to forms. So does one that draws a form or a tiling pattern
// whose content does (tested recursively, each pattern once). The walk stops at the first
// such element.

#include <map>

#include "pdf/ElementReader.h"
#include "pdf/Page.h"
#include "pdf/ResourceCache.h"

namespace qvx::PDF {

struct TransparencyTest {
    // Soft-masked images (SMask, SMaskInData) also count: the flattener rasterizes them
    // with the rest, while the page test leaves them to the image repairs.
    bool masked_images = false;
    // Text in a Type 3 font whose glyph procedures use transparency also counts, for the
    // same reason.
    bool type3_glyphs = false;
};

// The graphics state blends what is drawn with what lies below it.
bool BlendsWithBackdrop(const GState& gs);
// Whether el itself uses transparency, not counting what it draws through.
bool DrawsTransparently(const Element& el, const TransparencyTest& how = {});

// One test over content; each tiling pattern is read once and its answer kept.
class TransparencyWalk {
public:
    explicit TransparencyWalk(ResourceCache& cache, const TransparencyTest& how = {}) : m_cache(cache), m_how(how) {}

    // A stream (form, appearance, pattern) with its own Resources, else `resources`.
    bool Stream(SDF::Obj* stream, SDF::Obj* resources = nullptr);
    // The page's content or the normal appearance of any of its annotations.
    bool PageUses(const Page& page);
    // The element the reader has just returned, with the form it draws or the tiling
    // patterns it paints with. A form entered is left again: the reader stays where it was.
    bool ElementUses(ElementReader& reader, const Element& el);

private:
    bool Drain(ElementReader& reader, int base);
    bool PaintsTransparentPattern(const ElementReader& reader, const Element& el);
    bool TransparentPattern(const ElementReader& reader, const ColorState& c);
    bool TransparentGlyphs(const ElementReader& reader, const Element& el);

    ResourceCache& m_cache;
    TransparencyTest m_how;
    std::map<const SDF::Obj*, bool> m_patterns;
    std::map<const SDF::Obj*, bool> m_glyphs;  // per Type 3 font dictionary
    int m_depth = 0;
};

}  // namespace qvx::PDF
