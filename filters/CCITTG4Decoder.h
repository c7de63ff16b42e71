#pragma once
// Group 4 (T.6, also called MMR) decoding of rows from a byte span, for codecs that embed
// such data (CCITT fax streams, JBIG2 generic regions with MMR set).
//
//     CCITTG4Decoder dec(data, width);
//     for (row = 0; row < height; ++row)
//         if (dec.DecodeRow(bitmap + row * stride) != CCITTG4Decoder::e_row) break;
//     std::size_t used = dec.BytesConsumed();
//
// The first row is coded against a white row. A row is written as (width + 7) / 8 bytes,
// 1 = black, most significant bit first, the pad bits of the last byte 0. Bad data never
// reads outside the span: past its end the decoder sees zero bits and reports the end or an
// error. The span must outlive the decoder.

#include <cstdint>
#include <span>

#include "filters/CCITTBitReader.h"
#include "filters/CCITTRowDecoder.h"

namespace qvx::Filters {

class CCITTG4Decoder {
public:
    enum Result {
        e_row,           // a row was decoded
        e_end_of_block,  // the end-of-facsimile-block code (EOFB) was read and consumed
        e_end_of_data,   // the span ended (or held only zero fill) before another row
        e_error          // a bad code; dst holds the pixels decoded before it, the rest white
    };

    CCITTG4Decoder(Common::ByteView data, std::uint32_t width);

    // Decodes the next row into dst (when not null). After anything but e_row, further calls
    // return the same result.
    Result DecodeRow(Common::Byte* dst);

    // The changing elements of the last row decoded: the strictly increasing positions
    // where the colour flips, starting white (so [c0, c1), [c2, c3) .. are black).
    std::span<const std::uint32_t> Changes() const { return m_rows.Changes(); }

    // Bytes of the span read so far, up to the end of the last code word read (EOFB
    // included), rounded up to a whole byte and never more than the span.
    std::size_t BytesConsumed() const;

    // Consumes an end-of-block code when one comes next (JBIG2 MMR data may end with one
    // after its last row); returns whether it did.
    bool SkipEndOfBlock();

    std::uint32_t Width() const { return m_rows.Width(); }

private:
    Common::ByteView m_data;
    CCITTBitReader m_bits;
    CCITTRowDecoder m_rows;
    Result m_done = e_row;
};

}  // namespace qvx::Filters
