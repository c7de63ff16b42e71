#pragma once
// CCITTFaxDecode: Group 3 (1-D and mixed 1-D/2-D) and Group 4 fax data to packed rows of
// Columns pixels, one bit each, every row padded to a whole byte, 0 = black unless
// BlackIs1. Decoding stops at Rows rows (when given), at the end-of-block code (RTC or
// EOFB) or at the end of the data. Corrupt data ends the output after the rows decoded;
// the damaged row itself is kept (rest white) when any of it was decoded. With EndOfLine
// and K >= 0, up to DamagedRowsBeforeError damaged rows are kept and decoding resumes at
// the next EOL. Columns below 1 decode to nothing; memory does not grow with Columns.

#include <optional>

#include "filters/CCITTBitReader.h"
#include "filters/CCITTBitmap.h"
#include "filters/CCITTParams.h"
#include "filters/CCITTRowDecoder.h"
#include "filters/Filter.h"

namespace qvx::Filters {

class CCITTFaxDecode : public BufFilter {
public:
    CCITTFaxDecode(std::unique_ptr<Filter> in, const CCITTParams& params);

    const char* GetName() const override { return "CCITTFaxDecode"; }

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    Common::ByteView NextInput();
    bool NextRow();
    bool BeginG3Row(bool& two_d);

    CCITTParams m_params;
    std::uint32_t m_width;
    std::size_t m_row_bytes;
    std::size_t m_window = 0;  // bytes of the attached filter's window lent to the reader
    CCITTBitReader m_bits;
    CCITTRowDecoder m_rows;
    std::optional<CCITT::RowPainter> m_painter;  // the row being handed out
    std::uint64_t m_rows_done = 0;
    int m_damaged = 0;
    bool m_after_eol = false;  // resynchronising has already read the row's EOL
    bool m_end = false;
};

}  // namespace qvx::Filters
