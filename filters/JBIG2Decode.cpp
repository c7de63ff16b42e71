#include "filters/JBIG2Decode.h"

#include <algorithm>

#include "filters/JBIG2Page.h"

namespace qvx::Filters {

JBIG2Decode::JBIG2Decode(std::unique_ptr<Filter> in, Common::Bytes globals, std::uint32_t width,
                         std::uint32_t height)
    : BufFilter(e_input, std::move(in)), m_globals(std::move(globals)), m_width(width), m_height(height)
{
}

JBIG2Decode::~JBIG2Decode() = default;

void JBIG2Decode::Decode()
{
    if (mp_page) return;
    Common::Bytes data;
    for (;;) {
        Common::ByteView in = PeekInput();
        if (in.empty()) break;
        data.insert(data.end(), in.begin(), in.end());
        ConsumeInput(in.size());
    }
    JBIG2::PageDecoder dec;
    dec.Feed(m_globals);
    dec.Feed(data);
    const JBIG2::Bitmap& page = dec.Page();
    if (m_width == 0) m_width = page.Width();
    if (m_height == 0) m_height = page.Height();
    if (m_width == page.Width() && m_height == page.Height()) {
        mp_page = std::make_unique<JBIG2::Bitmap>(page);
    } else {
        // The image's size wins; what the page lacks is white.
        mp_page = std::make_unique<JBIG2::Bitmap>(page.Extract(0, 0, m_width, m_height));
    }
}

std::uint32_t JBIG2Decode::GetWidth()
{
    Decode();
    return m_width;
}

std::uint32_t JBIG2Decode::GetHeight()
{
    Decode();
    return m_height;
}

std::size_t JBIG2Decode::Fill(Byte* buf, std::size_t capacity)
{
    Decode();
    const std::size_t stride = mp_page->Stride();
    std::size_t n = 0;
    while (n < capacity && m_row < mp_page->Height()) {
        const Byte* row = mp_page->Row(m_row);
        const std::size_t k = std::min(capacity - n, stride - m_row_pos);
        for (std::size_t i = 0; i < k; ++i) buf[n + i] = Byte(~row[m_row_pos + i]);
        n += k;
        m_row_pos += k;
        if (m_row_pos == stride) {
            m_row_pos = 0;
            ++m_row;
        }
    }
    return n;
}

}  // namespace qvx::Filters
