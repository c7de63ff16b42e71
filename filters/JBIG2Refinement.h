#pragma once
// The generic refinement region decoding procedure: a bitmap coded against a reference
// bitmap (a symbol, a region, or the page under the region), with two templates and
// typical prediction.

#include <cstdint>

#include "filters/JBIG2ArithDecoder.h"
#include "filters/JBIG2Bitmap.h"

namespace qvx::Filters::JBIG2 {

struct RefinementParams {
    std::uint32_t width = 0, height = 0;
    int gr_template = 0;                       // 0 or 1
    const Bitmap* reference = nullptr;         // must not be null
    std::int32_t dx = 0, dy = 0;               // offset of the reference
    bool tpgron = false;
    std::int8_t at[4] = {-1, -1, -1, -1};      // (x, y) of RA1 (this bitmap) and RA2 (reference)
};

std::size_t RefinementContextCount(int gr_template);

// Typical prediction: the colour of the 3 x 3 neighbourhood of (rx, ry) in the reference
// when it is all one colour, or -1 when it is mixed.
int TypicalPixel(const Bitmap& ref, std::int64_t rx, std::int64_t ry);

Bitmap DecodeRefinement(ArithDecoder& dec, Contexts& cx, const RefinementParams& p, WorkBudget& budget);

}  // namespace qvx::Filters::JBIG2
