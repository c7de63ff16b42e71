#pragma once
// JPEG (baseline and progressive) decoding with libjpeg-turbo. The output is the image's
// scanlines, top to bottom, of interleaved 8-bit samples: one (grey), three (RGB, or the
// stored components when no colour transform applies) or four (CMYK as stored; Adobe
// JPEGs hold inverted CMYK and that is what comes out, as PDF's DCTDecode defines).
//
// color_transform is the stream's ColorTransform (-1 when absent): 1 converts YCbCr (or
// YCCK) to RGB (or CMYK), 0 keeps the stored components. When absent, an Adobe APP14
// marker's transform flag decides; without one, three components are transformed and four
// are not.
//
// Errors the library reports while reading the header or starting decompression (which,
// for a progressive image, reads every scan) throw the engine's exception from
// "Initialize". An error while scanlines are read ends the data with the rows decoded so
// far; only when not a single row came out does it throw, from "Process". Library
// warnings (corrupt entropy data, a truncated scan) are not errors: the library fills in
// and goes on. Images larger than Limits::kMaxImagePixels are refused before allocating.

#include <memory>

#include "filters/Filter.h"

namespace qvx::Filters {

class DCTDecode : public BufFilter {
public:
    explicit DCTDecode(std::unique_ptr<Filter> in, int color_transform = -1);
    ~DCTDecode() override;

    const char* GetName() const override { return "DCTDecode"; }

    // The decoded image's geometry; reads the header when it has not been read yet.
    int GetWidth();
    int GetHeight();
    int GetComponents();

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    struct Impl;
    void Initialize();
    std::size_t Process(Byte* buf, std::size_t capacity);

    std::unique_ptr<Impl> mp_impl;
    int m_color_transform;
};

}  // namespace qvx::Filters
