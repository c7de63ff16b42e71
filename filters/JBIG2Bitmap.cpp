#include "filters/JBIG2Bitmap.h"

#include <algorithm>
#include <cstring>

#include "common/Exception.h"
#include "common/Limits.h"

namespace qvx::Filters::JBIG2 {

void Fail(const char* condition)
{
    QVX_THROW(condition, "An error occurred while decoding JBIG2 stream");
}

Bitmap::Bitmap(std::uint32_t width, std::uint32_t height, bool value)
    : m_width(width), m_height(height), m_stride((std::size_t(width) + 7) / 8)
{
    QVX_JBIG2_CHECK(std::uint64_t(width) * height <= Common::Limits::kMaxJBIG2Pixels);
    QVX_JBIG2_CHECK(width <= Common::Limits::kMaxJBIG2Pixels && height <= Common::Limits::kMaxJBIG2Pixels);
    m_data.assign(m_stride * height, value ? 0xFF : 0);
    if (value) ClearPadBits();
}

void Bitmap::Fill(bool value)
{
    std::fill(m_data.begin(), m_data.end(), value ? 0xFF : 0);
    if (value) ClearPadBits();
}

void Bitmap::ClearPadBits()
{
    if (m_width % 8 == 0) return;
    Byte mask = Byte(0xFF << (8 - m_width % 8));
    for (std::uint32_t y = 0; y < m_height; ++y) Row(y)[m_stride - 1] &= mask;
}

void Bitmap::SetHeight(std::uint32_t height, bool value)
{
    if (height == m_height) return;
    QVX_JBIG2_CHECK(std::uint64_t(m_width) * height <= Common::Limits::kMaxJBIG2Pixels);
    std::uint32_t old = m_height;
    m_data.resize(m_stride * height, value ? 0xFF : 0);
    m_height = height;
    if (value && height > old) ClearPadBits();
}

namespace {

Byte Combine(Byte dst, Byte src, ComposeOp op)
{
    switch (op) {
    case e_or: return dst | src;
    case e_and: return dst & src;
    case e_xor: return dst ^ src;
    case e_xnor: return Byte(~(dst ^ src));
    case e_replace: return src;
    }
    return dst | src;
}

}  // namespace

void Bitmap::Compose(const Bitmap& src, std::int64_t x, std::int64_t y, ComposeOp op)
{
    std::int64_t x0 = std::max<std::int64_t>(x, 0), y0 = std::max<std::int64_t>(y, 0);
    std::int64_t x1 = std::min<std::int64_t>(x + src.m_width, m_width);
    std::int64_t y1 = std::min<std::int64_t>(y + src.m_height, m_height);
    if (x0 >= x1 || y0 >= y1) return;
    // Work byte by byte over the destination: gather 8 source pixels aligned to each
    // destination byte, then combine under a mask of the covered bits.
    std::int64_t shift = x;  // source pixel sx lands on destination pixel sx + shift
    for (std::int64_t dy = y0; dy < y1; ++dy) {
        const Byte* s = src.Row(std::uint32_t(dy - y));
        Byte* d = Row(std::uint32_t(dy));
        for (std::int64_t db = x0 >> 3; db <= (x1 - 1) >> 3; ++db) {
            std::int64_t first = std::max<std::int64_t>(db * 8, x0);
            std::int64_t last = std::min<std::int64_t>(db * 8 + 8, x1);  // exclusive
            Byte mask = Byte((0xFF >> (first - db * 8)) & (0xFF << (db * 8 + 8 - last)));
            // Source bits for destination pixels db*8 .. db*8+7 start at sx = db*8 - shift.
            std::int64_t sx = db * 8 - shift;
            std::uint32_t word = 0;
            std::int64_t sb = sx >> 3;  // floor
            int off = int(sx - sb * 8);
            for (int k = 0; k < 2; ++k) {
                std::int64_t i = sb + k;
                Byte v = (i >= 0 && std::size_t(i) < src.m_stride) ? s[i] : 0;
                word = (word << 8) | v;
            }
            Byte bits = Byte((word << off) >> 8);
            d[db] = Byte((d[db] & ~mask) | (Combine(d[db], bits, op) & mask));
        }
    }
}

Bitmap Bitmap::Extract(std::int64_t x, std::int64_t y, std::uint32_t w, std::uint32_t h) const
{
    Bitmap out(w, h);
    // Draw this bitmap into the new one shifted by (-x, -y).
    out.Compose(*this, -x, -y, e_replace);
    out.ClearPadBits();
    return out;
}

void Bitmap::CopyRow(std::uint32_t y, const Bitmap& src, std::uint32_t src_y)
{
    if (m_stride) std::memcpy(Row(y), src.Row(src_y), m_stride);
}

}  // namespace qvx::Filters::JBIG2
