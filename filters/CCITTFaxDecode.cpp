#include "filters/CCITTFaxDecode.h"

#include <algorithm>

#include "filters/CCITTCodes.h"

namespace qvx::Filters {

namespace {

constexpr std::uint32_t kEOFB = (CCITT::kEOL.bits << CCITT::kEOL.length) | CCITT::kEOL.bits;

}  // namespace

CCITTFaxDecode::CCITTFaxDecode(std::unique_ptr<Filter> in, const CCITTParams& params)
    : BufFilter(e_input, std::move(in)),
      m_params(params),
      m_width(static_cast<std::uint32_t>(std::max(params.columns, 1))),
      m_row_bytes(CCITT::RowBytes(m_width)),
      m_bits({}, [this] { return NextInput(); }),
      m_rows(m_bits, m_width),
      m_end(params.columns < 1)
{
}

Common::ByteView CCITTFaxDecode::NextInput()
{
    Filter* in = GetAttachedFilter();
    if (!in) return {};
    if (m_window) in->Consume(m_window);
    m_window = in->Size();
    return {in->Begin(), m_window};
}

bool CCITTFaxDecode::BeginG3Row(bool& two_d)
{
    const bool align = m_params.encoded_byte_align;
    bool eol = m_after_eol;
    m_after_eol = false;
    // Aligned data with EOLs pads before each EOL; without EOLs the row itself is aligned,
    // and the pad bits must not be taken for the zeros of an EOL.
    if (!eol && align && !m_params.end_of_line) m_bits.AlignToByte();
    for (int attempt = 0; !eol && attempt < 2; ++attempt) {
        CCITTRowDecoder::EOLResult r = m_rows.ReadEOL();
        if (r == CCITTRowDecoder::e_eol_end_of_data) return false;
        eol = r == CCITTRowDecoder::e_eol;
        if (!eol && (!align || !m_params.end_of_line)) break;
        if (!eol) m_bits.AlignToByte();
    }
    if (!eol && m_bits.AtEnd()) return false;
    if (m_params.k > 0) two_d = m_bits.ReadBit() == 0;
    // No row starts with eleven zeros: after an EOL that is the next EOL of RTC, or fill.
    return !(eol && (m_bits.AtEnd() || m_bits.Peek(CCITT::kEOL.length) <= CCITT::kEOL.bits));
}

bool CCITTFaxDecode::NextRow()
{
    if (m_end || (m_params.rows > 0 && m_rows_done >= std::uint64_t(m_params.rows))) return false;
    CCITTRowDecoder::Status status;
    if (m_params.k < 0) {
        if (m_params.encoded_byte_align) {
            // An end-of-block code need not be aligned as the rows are.
            if (m_bits.Peek(2 * CCITT::kEOL.length) == kEOFB) return !(m_end = true);
            m_bits.AlignToByte();
        }
        if (m_rows.BeginG4Row() != CCITTRowDecoder::e_row) return !(m_end = true);
        status = m_rows.Decode2D();
    } else {
        bool two_d = false;
        if (!BeginG3Row(two_d)) return !(m_end = true);
        status = two_d ? m_rows.Decode2D() : m_rows.Decode1D();
    }
    if (status == CCITTRowDecoder::e_error) {
        bool tolerate = m_params.end_of_line && m_params.k >= 0 &&
                        m_damaged < m_params.damaged_rows_before_error;
        if (tolerate) {
            ++m_damaged;
            m_after_eol = m_rows.SkipPastNextEOL();
        }
        if (!m_after_eol) {
            m_end = true;
            if (m_rows.DecodedWidth() == 0) return false;
        }
    }
    ++m_rows_done;
    m_painter.emplace(m_rows.Changes(), m_width);
    return true;
}

std::size_t CCITTFaxDecode::Fill(Byte* buf, std::size_t capacity)
{
    std::size_t n = 0;
    while (n < capacity) {
        if (!m_painter && !NextRow()) break;
        std::size_t k = static_cast<std::size_t>(
            std::min<std::uint64_t>(m_row_bytes - m_painter->BytesPainted(), capacity - n));
        m_painter->Paint(buf + n, k, m_params.black_is_1);
        n += k;
        if (m_painter->BytesPainted() == m_row_bytes) m_painter.reset();
    }
    return n;
}

}  // namespace qvx::Filters
