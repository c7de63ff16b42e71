#pragma once
// CCITTFaxEncode: packed rows of Columns pixels (one bit each, rows padded to whole bytes,
// 0 = black unless BlackIs1) to fax data that CCITTFaxDecode with the same parameters
// reads back. K < 0 writes Group 4; K = 0 Group 3 1-D; K > 0 Group 3 with every K-th row
// 1-D and the rows between 2-D, each row after an EOL (when EndOfLine) and a 1-D/2-D tag
// bit. EncodedByteAlign starts Group 4 rows, and Group 3 rows without EOL, on a byte
// boundary (and the end-of-block code after them), and makes Group 3 EOLs end on one.
// EndOfBlock appends EOFB (Group 4) or RTC (Group 3).
// A last incomplete row is completed with white on Finish. Rows is not used.

#include <vector>

#include "filters/CCITTCodes.h"
#include "filters/CCITTParams.h"
#include "filters/Filter.h"

namespace qvx::Filters {

class CCITTFaxEncode : public BufFilter {
public:
    // Throws when Columns is below 1.
    CCITTFaxEncode(std::unique_ptr<Filter> out, const CCITTParams& params);

    const char* GetName() const override { return "CCITTFaxEncode"; }
    const char* GetDecodeName() const override { return "CCITTFaxDecode"; }

protected:
    void Drain(const Byte* data, std::size_t size, bool final) override;

private:
    void EncodeRow(const Byte* row);
    void Encode1D();
    void Encode2D();
    void PutRun(unsigned colour, std::uint64_t run);
    void PutEOL();
    void Put(CCITT::Code c) { Put(c.bits, c.length); }
    void Put(std::uint32_t bits, unsigned length)
    {
        m_acc = (m_acc << length) | bits;
        m_nbits += length;
        while (m_nbits >= 8) {
            m_nbits -= 8;
            m_out.push_back(static_cast<Byte>(m_acc >> m_nbits));
        }
    }
    void AlignToByte()
    {
        if (m_nbits) Put(0, 8 - m_nbits);
    }

    CCITTParams m_params;
    std::uint32_t m_width;
    std::size_t m_row_bytes;
    Common::Bytes m_row;                // an incomplete row carried between drains
    std::vector<std::uint32_t> m_cur;   // changes of the row being coded, then sentinels
    std::vector<std::uint32_t> m_ref;   // changes of the row above, then sentinels
    std::uint64_t m_rows = 0;
    std::uint64_t m_acc = 0;
    unsigned m_nbits = 0;               // bits in m_acc not yet in m_out
    Common::Bytes m_out;
};

}  // namespace qvx::Filters
