#pragma once
// Pattern dictionaries (a row of equally sized patterns decoded as one bitmap) and
// halftone regions (a grid of grey values, coded as bit planes, each cell drawn with the
// pattern of its value).

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/JBIG2Bitmap.h"

namespace qvx::Filters::JBIG2 {

using Patterns = std::vector<std::shared_ptr<const Bitmap>>;

// The segment data of a pattern dictionary.
Patterns DecodePatternDict(Common::ByteView data, WorkBudget& budget);

// The segment data of a halftone region after its region information: the region of
// width x height, drawn with the patterns.
Bitmap DecodeHalftoneRegion(Common::ByteView data, std::uint32_t width, std::uint32_t height,
                            const Patterns& patterns, WorkBudget& budget);

}  // namespace qvx::Filters::JBIG2
