#pragma once
// The generic region decoding procedure: a bitmap coded pixel by pixel with the arithmetic
// coder under one of four context templates (with typical prediction and adaptive
// template pixels), or coded as Group 4 fax data (MMR).

#include <cstdint>

#include "filters/JBIG2ArithDecoder.h"
#include "filters/JBIG2Bitmap.h"

namespace qvx::Filters::JBIG2 {

struct GenericParams {
    std::uint32_t width = 0, height = 0;
    int gb_template = 0;        // 0 to 3
    bool tpgdon = false;        // typical prediction of whole rows
    int at[8] = {3, -1, -3, -1, 2, -2, -2, -2};  // (x, y) of A1..A4; template 0 uses all
    const Bitmap* skip = nullptr;  // pixels set here are not coded and stay 0
};

// The number of contexts a template uses.
std::size_t GenericContextCount(int gb_template);

Bitmap DecodeGeneric(ArithDecoder& dec, Contexts& cx, const GenericParams& p, WorkBudget& budget);

// Decodes width x height from Group 4 data; a trailing end-of-block code is consumed.
// consumed receives the bytes used. Damaged data leaves the remaining rows white.
Bitmap DecodeGenericMMR(Common::ByteView data, std::uint32_t width, std::uint32_t height,
                        WorkBudget& budget, std::size_t* consumed = nullptr);

}  // namespace qvx::Filters::JBIG2
