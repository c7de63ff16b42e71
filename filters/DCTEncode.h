#pragma once
// JPEG encoding with libjpeg-turbo, for images the engine re-creates. The writer supplies
// the image's scanlines top to bottom as interleaved 8-bit samples; Finish writes the
// end of the JPEG data into the attached filter.
//
// One component is stored as grey, three as YCbCr (decoded back to RGB by DCTDecode
// without a ColorTransform entry), four as plain CMYK with an Adobe marker saying "no
// transform", so that DCTDecode gives back the same CMYK values. The quality is the
// library's default unless set.
//
// Bad geometry throws on construction; too few or too many sample bytes throw on Finish
// or on the write that overflows; a sink that stops taking bytes throws its own exception.

#include <memory>

#include "filters/Filter.h"

namespace qvx::Filters {

struct DCTEncodeParams {
    int width = 0, height = 0, components = 3;
    int quality = -1;  // 0..100; -1: the library's default
};

class DCTEncode : public BufFilter {
public:
    DCTEncode(std::unique_ptr<Filter> out, const DCTEncodeParams& params);
    ~DCTEncode() override;

    const char* GetName() const override { return "DCTEncode"; }
    const char* GetDecodeName() const override { return "DCTDecode"; }

protected:
    void Drain(const Byte* data, std::size_t size, bool final) override;

private:
    struct Impl;
    void WriteRows(const Byte* data, std::size_t size);

    std::unique_ptr<Impl> mp_impl;
};

}  // namespace qvx::Filters
