#pragma once
// JBIG2Decode: the embedded JBIG2 stream of a PDF image (segments without a file header,
// optionally preceded by the segments of a JBIG2Globals stream) to the page bitmap, one
// bit per pixel, rows padded to whole bytes, top to bottom.
//
// The output has PDF's polarity for a 1-bit DeviceGray image: 0 = black. JBIG2 itself
// codes black as 1, and PDF readers invert it so that the image draws with the default
// Decode array.
//
// width and height (the image's Width and Height; 0 when not given) crop or pad the page
// (with white) to the image's size; without them the page's own size is used. The whole
// input is read and decoded on first use. Input that cannot give a page (no page
// information, a page beyond the size limits, damage before the page starts) throws
// "An error occurred while decoding JBIG2 stream"; damage after that ends the decoding and
// the page comes out as far as it was drawn.

#include <memory>
#include <optional>

#include "common/Buffer.h"
#include "filters/Filter.h"

namespace qvx::Filters {

namespace JBIG2 {
class Bitmap;
}

class JBIG2Decode : public BufFilter {
public:
    explicit JBIG2Decode(std::unique_ptr<Filter> in, Common::Bytes globals = {}, std::uint32_t width = 0,
                         std::uint32_t height = 0);
    ~JBIG2Decode() override;

    const char* GetName() const override { return "JBIG2Decode"; }

    // The output geometry; the first call decodes (and may throw).
    std::uint32_t GetWidth();
    std::uint32_t GetHeight();

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    void Decode();

    Common::Bytes m_globals;
    std::uint32_t m_width, m_height;
    std::unique_ptr<JBIG2::Bitmap> mp_page;
    std::uint32_t m_row = 0;      // next output row
    std::size_t m_row_pos = 0;    // bytes of that row already handed out
};

}  // namespace qvx::Filters
