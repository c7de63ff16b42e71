#pragma once
// The five PNG row filters (None, Sub, Up, Average, Paeth), shared by the PNG predictor's
// decoder and encoder.

#include <cstddef>

#include "common/Buffer.h"

namespace qvx::Filters::PNGRow {

enum Type { e_none = 0, e_sub = 1, e_up = 2, e_average = 3, e_paeth = 4 };

// Undoes filter `type` on n bytes of row in place; prev is the decoded row above (zeros for
// the first). Unknown types leave the row as it is.
void Unfilter(int type, Common::Byte* row, const Common::Byte* prev, std::size_t n, std::size_t bpp);
// Applies filter `type` to n bytes of row, writing the result to out.
void Filter(int type, const Common::Byte* row, const Common::Byte* prev, std::size_t n, std::size_t bpp,
            Common::Byte* out);

}  // namespace qvx::Filters::PNGRow
