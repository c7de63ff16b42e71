#pragma once
// Converts between packed rows (one bit per pixel, most significant first) and changing
// elements (the positions where the colour flips, starting white; see CCITTRowDecoder).

#include <cstdint>
#include <span>
#include <vector>

#include "common/Buffer.h"

namespace qvx::Filters::CCITT {

// Paints a row in pieces, so that a very wide row never has to be held whole.
class RowPainter {
public:
    RowPainter(std::span<const std::uint32_t> changes, std::uint32_t width)
        : m_changes(changes), m_width(width)
    {
    }

    // Writes the next n bytes of the row into dst: 1 = black (inverted when black_is_1 is
    // false), so pixels past the width read as white either way.
    void Paint(Common::Byte* dst, std::size_t n, bool black_is_1);
    std::uint64_t BytesPainted() const { return m_next_byte; }

private:
    std::span<const std::uint32_t> m_changes;
    std::uint32_t m_width;
    std::uint64_t m_next_byte = 0;
    std::size_t m_cursor = 0;  // the first black run that may still reach the next byte
};

inline std::size_t RowBytes(std::uint32_t width) { return (std::size_t(width) + 7) / 8; }

// The changing elements of a packed row of the given width.
void FindChanges(const Common::Byte* row, std::uint32_t width, bool black_is_1,
                 std::vector<std::uint32_t>& changes);

}  // namespace qvx::Filters::CCITT
