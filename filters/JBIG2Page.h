#pragma once
// Runs the segments of an embedded JBIG2 stream (and of its globals) and composes the
// regions of its page. Segments are decoded in stream order; what a segment leaves for
// later ones (symbols, patterns, tables, intermediate regions) is kept by number.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "filters/JBIG2Bitmap.h"
#include "filters/JBIG2Halftone.h"
#include "filters/JBIG2Huffman.h"
#include "filters/JBIG2Segment.h"
#include "filters/JBIG2SymbolDict.h"

namespace qvx::Filters::JBIG2 {

class PageDecoder {
public:
    PageDecoder();

    // Decodes the segments of one stream (the globals first, then the page's stream).
    // Damage after the page information ends the decoding quietly with what the page holds;
    // damage before it throws. Returns false once the page or the file has ended (a stream
    // fed before the page began may end without ending the next one).
    bool Feed(Common::ByteView stream);

    // The page; throws when no page information segment was read.
    const Bitmap& Page() const;

private:
    struct Stored {
        SymbolDict dict;
        Patterns patterns;
        std::optional<HuffmanTable> table;
        std::optional<Bitmap> region;
        RegionInfo info;
    };
    struct PageState {
        Bitmap bitmap;
        std::uint32_t association = 0;
        bool default_pixel = false;
        bool striped_unknown_height = false;
    };

    bool Process(const Segment& seg);
    void ReadPageInfo(const Segment& seg);
    void EndOfStripe(const Segment& seg);
    void SymbolDictSegment(const Segment& seg);
    void PatternDictSegment(const Segment& seg);
    void TextRegionSegment(const Segment& seg);
    void HalftoneRegionSegment(const Segment& seg);
    void GenericRegionSegment(const Segment& seg);
    void RefinementRegionSegment(const Segment& seg);
    // Keeps an intermediate region, or draws an immediate one on the page.
    void Place(const Segment& seg, const RegionInfo& info, Bitmap region);
    const Stored* Find(std::uint32_t number) const;

    WorkBudget m_budget;
    std::map<std::uint32_t, std::unique_ptr<Stored>> m_stored;
    std::optional<PageState> m_page;
    bool m_ended = false;
};

}  // namespace qvx::Filters::JBIG2
