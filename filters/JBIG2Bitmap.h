#pragma once
// A bilevel image as JBIG2 decodes it: 1 = black, rows packed most significant bit first,
// each row padded to a whole byte with zero bits. Pixels outside the image read as 0.

#include <cstdint>

#include "common/Buffer.h"

namespace qvx::Filters::JBIG2 {

using Common::Byte;

// The region combination operators of JBIG2 (OR, AND, XOR, XNOR, REPLACE).
enum ComposeOp { e_or = 0, e_and = 1, e_xor = 2, e_xnor = 3, e_replace = 4 };

// Throws the decoder's one error ("An error occurred while decoding JBIG2 stream").
[[noreturn]] void Fail(const char* condition);
#define QVX_JBIG2_CHECK(expr) \
    do {                      \
        if (!(expr)) ::qvx::Filters::JBIG2::Fail(#expr); \
    } while (0)

// Counts the pixels a decode touches, so that a small hostile stream cannot make the
// decoder draw billions of pixels (a symbol placed a million times, a huge halftone grid).
class WorkBudget {
public:
    explicit WorkBudget(std::uint64_t limit) : m_left(limit) {}
    void Charge(std::uint64_t pixels)
    {
        QVX_JBIG2_CHECK(pixels <= m_left);
        m_left -= pixels;
    }

private:
    std::uint64_t m_left;
};

class Bitmap {
public:
    Bitmap() = default;
    // Throws when the size is beyond Limits::kMaxJBIG2Pixels.
    Bitmap(std::uint32_t width, std::uint32_t height, bool value = false);

    std::uint32_t Width() const { return m_width; }
    std::uint32_t Height() const { return m_height; }
    std::size_t Stride() const { return m_stride; }
    bool Empty() const { return m_width == 0 || m_height == 0; }

    Byte* Row(std::uint32_t y) { return m_data.data() + y * m_stride; }
    const Byte* Row(std::uint32_t y) const { return m_data.data() + y * m_stride; }
    const Common::Bytes& Data() const { return m_data; }

    int Get(std::int64_t x, std::int64_t y) const
    {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
        return (m_data[std::size_t(y) * m_stride + std::size_t(x >> 3)] >> (7 - (x & 7))) & 1;
    }
    void Set(std::uint32_t x, std::uint32_t y, int v)
    {
        Byte& b = m_data[std::size_t(y) * m_stride + (x >> 3)];
        Byte mask = Byte(0x80 >> (x & 7));
        b = v ? Byte(b | mask) : Byte(b & ~mask);
    }

    void Fill(bool value);
    // Changes the height, keeping the rows that remain and filling new ones with value.
    void SetHeight(std::uint32_t height, bool value);
    // Draws src with its top-left corner at (x, y), clipped to this bitmap.
    void Compose(const Bitmap& src, std::int64_t x, std::int64_t y, ComposeOp op);
    // A copy of the w x h area at (x, y); pixels outside this bitmap are 0.
    Bitmap Extract(std::int64_t x, std::int64_t y, std::uint32_t w, std::uint32_t h) const;
    // Copies row src_y of src over row y of this bitmap (same width).
    void CopyRow(std::uint32_t y, const Bitmap& src, std::uint32_t src_y);
    void ClearPadBits();

private:
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::size_t m_stride = 0;
    Common::Bytes m_data;
};

}  // namespace qvx::Filters::JBIG2
