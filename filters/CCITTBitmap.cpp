#include "filters/CCITTBitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace qvx::Filters::CCITT {

namespace {

// Sets bits [from, to) of dst, bit 0 being the top bit of dst[0].
void SetBits(Common::Byte* dst, std::uint64_t from, std::uint64_t to)
{
    if (from >= to) return;
    std::uint64_t fb = from / 8, lb = (to - 1) / 8;
    Common::Byte first = static_cast<Common::Byte>(0xFF >> (from % 8));
    Common::Byte last = static_cast<Common::Byte>(0xFF << (7 - (to - 1) % 8));
    if (fb == lb) {
        dst[fb] |= first & last;
        return;
    }
    dst[fb] |= first;
    std::memset(dst + fb + 1, 0xFF, lb - fb - 1);
    dst[lb] |= last;
}

}  // namespace

void RowPainter::Paint(Common::Byte* dst, std::size_t n, bool black_is_1)
{
    std::memset(dst, 0, n);
    const std::uint64_t px0 = m_next_byte * 8;
    const std::uint64_t px1 = std::min<std::uint64_t>(px0 + std::uint64_t(n) * 8, m_width);
    m_next_byte += n;
    while (m_cursor < m_changes.size()) {
        std::uint64_t start = m_changes[m_cursor];
        std::uint64_t end = m_cursor + 1 < m_changes.size() ? m_changes[m_cursor + 1] : m_width;
        if (start >= px1) break;
        if (end > px0) SetBits(dst, std::max(start, px0) - px0, std::min(end, px1) - px0);
        if (end > px1) break;
        m_cursor += 2;
    }
    if (!black_is_1)
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<Common::Byte>(~dst[i]);
}

void FindChanges(const Common::Byte* row, std::uint32_t width, bool black_is_1,
                 std::vector<std::uint32_t>& changes)
{
    changes.clear();
    const Common::Byte flip = black_is_1 ? 0x00 : 0xFF;  // makes black read as 1
    const std::size_t nbytes = RowBytes(width);
    unsigned colour = 0;
    std::size_t i = 0;
    std::uint64_t x = 0;  // the first pixel not yet classified
    while (x < width) {
        // Bits that differ from the current colour, from x on.
        const Common::Byte want = colour ? 0xFF : 0x00;
        Common::Byte v = static_cast<Common::Byte>((row[i] ^ flip ^ want) & (0xFF >> (x % 8)));
        while (v == 0 && ++i < nbytes) v = static_cast<Common::Byte>(row[i] ^ flip ^ want);
        if (v == 0) break;
        x = i * 8 + static_cast<unsigned>(std::countl_zero(v));
        if (x >= width) break;
        changes.push_back(static_cast<std::uint32_t>(x));
        colour ^= 1;
    }
}

}  // namespace qvx::Filters::CCITT
