#pragma once
// Decodes fax-coded rows one at a time: one-dimensional (modified Huffman) rows and
// two-dimensional (READ) rows against the previous row, plus the EOL framing around them.
// A row is kept as its changing elements: the strictly increasing pixel positions, below
// the width, where the colour flips, starting white. Cost is proportional to the codes
// read, never to the width, so absurd widths cost nothing until someone paints the row.

#include <cstdint>
#include <span>
#include <vector>

#include "filters/CCITTBitReader.h"

namespace qvx::Filters {

class CCITTRowDecoder {
public:
    enum Status { e_ok, e_error };
    enum EOLResult { e_no_eol, e_eol, e_eol_end_of_data };
    enum RowStart { e_row, e_end_of_block, e_end_of_data };

    // The reader must outlive the decoder.
    CCITTRowDecoder(CCITTBitReader& bits, std::uint32_t width);

    std::uint32_t Width() const { return m_width; }

    // Decodes one row. On e_error the row holds what was decoded before the bad code (the
    // rest white) and the reader stands at the bad code; it still becomes the reference.
    Status Decode1D();
    Status Decode2D();

    // The changing elements of the last row decoded.
    std::span<const std::uint32_t> Changes() const { return {m_ref.data(), m_ref_count}; }
    // Pixels of the last row that were decoded: its width unless it failed.
    std::uint32_t DecodedWidth() const { return m_decoded; }
    // The next 2-D row is coded against a white row, as the first row of an image is.
    void ResetReference();

    // Reads an EOL with any zero fill bits before it; consumes nothing when the next bits
    // are not one (they belong to a code word).
    EOLResult ReadEOL();
    // Skips to just past the next EOL (for resynchronising after a damaged row).
    bool SkipPastNextEOL();
    // What precedes a Group 4 row: the end of the data, the end-of-block code (two EOLs,
    // consumed) or a row (a stray single EOL is skipped).
    RowStart BeginG4Row();

private:
    bool ReadRun(unsigned colour, std::uint64_t& run);
    void AddChange(std::uint32_t pos)
    {
        if (!m_cur.empty() && m_cur.back() == pos)
            m_cur.pop_back();  // a zero-length run flips the colour back
        else
            m_cur.push_back(pos);
    }
    Status Finish(std::int64_t a0, unsigned colour, Status status);

    CCITTBitReader& m_bits;
    std::uint32_t m_width;
    std::vector<std::uint32_t> m_cur;
    std::vector<std::uint32_t> m_ref;  // the reference row's changes, then sentinels at the width
    std::size_t m_ref_count = 0;
    std::uint32_t m_decoded = 0;
};

}  // namespace qvx::Filters
