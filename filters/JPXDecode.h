#pragma once
// JPEG 2000 decoding (raw J2K codestream or JP2/JPX file) with OpenJPEG. The whole input
// is read and decoded on first use; the output is the image's rows, top to bottom, of
// interleaved samples with the components as the file holds them (an alpha channel
// included: SMaskInData is the caller's business). sYCC images come out as RGB.
//
// Sample depth: bits_per_component (the image's BitsPerComponent, 0 when not given) when
// it is 1, 2, 4, 8 or 16; otherwise 8 bits when every component has at most 8 bits and
// 16 bits (big-endian) when one has more. Components of another depth are rescaled to it,
// signed ones are shifted to unsigned first; rows of depths below 8 are padded to a byte.
// Subsampled components are spread over the full grid by repeating samples.
//
// Every failure, including an image beyond Limits::kMaxImagePixels or kMaxImageSamples
// (refused before the library allocates the planes), throws "JPXDecode: An error
// occurred reading the image". The library prints nothing.

#include <memory>
#include <string>

#include "common/Buffer.h"
#include "filters/Filter.h"

namespace qvx::Filters {

class JPXDecode : public BufFilter {
public:
    enum ColourSpace { e_unknown, e_gray, e_rgb, e_cmyk, e_other };

    // indices: leave a palette the file carries unapplied (the image's own ColorSpace is
    // Indexed and maps the indices itself).
    explicit JPXDecode(std::unique_ptr<Filter> in, int bits_per_component = 0, bool indices = false);
    ~JPXDecode() override;

    const char* GetName() const override { return "JPXDecode"; }

    // The decoded image; the first call decodes (and may throw).
    int GetWidth();
    int GetHeight();
    int GetComponents();
    int GetBitsPerComponent();
    // The colour space the file declares (sYCC reported as RGB, since it is converted).
    ColourSpace GetColourSpace();
    // The ICC profile a JP2 file carries; empty when none.
    const Common::Bytes& GetIccProfile();
    // Whether the file's channel definitions make component c an opacity channel.
    bool IsOpacity(int c);

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    struct Impl;
    void Decode();
    void MakeRow();

    std::unique_ptr<Impl> mp_impl;
    int m_requested_bpc;
    bool m_indices;
};

}  // namespace qvx::Filters
