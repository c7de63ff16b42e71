#include "filters/PNGRow.h"

#include <cstdlib>
#include <cstring>

namespace qvx::Filters::PNGRow {

using Common::Byte;

namespace {

int Paeth(int a, int b, int c)
{
    int p = a + b - c;
    int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// The predicted value of byte i from its left (a), upper (b) and upper-left (c) neighbours.
int Predict(int type, const Byte* row, const Byte* prev, std::size_t i, std::size_t bpp)
{
    int a = i >= bpp ? row[i - bpp] : 0;
    int b = prev[i];
    int c = i >= bpp ? prev[i - bpp] : 0;
    switch (type) {
    case e_sub: return a;
    case e_up: return b;
    case e_average: return (a + b) / 2;
    case e_paeth: return Paeth(a, b, c);
    default: return 0;
    }
}

}  // namespace

void Unfilter(int type, Byte* row, const Byte* prev, std::size_t n, std::size_t bpp)
{
    switch (type) {
    case e_sub:
        for (std::size_t i = bpp; i < n; ++i) row[i] = static_cast<Byte>(row[i] + row[i - bpp]);
        return;
    case e_up:
        for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<Byte>(row[i] + prev[i]);
        return;
    case e_average:
    case e_paeth:
        for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<Byte>(row[i] + Predict(type, row, prev, i, bpp));
        return;
    default:
        return;
    }
}

void Filter(int type, const Byte* row, const Byte* prev, std::size_t n, std::size_t bpp, Byte* out)
{
    if (type < e_sub || type > e_paeth) {
        std::memcpy(out, row, n);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<Byte>(row[i] - Predict(type, row, prev, i, bpp));
}

}  // namespace qvx::Filters::PNGRow
