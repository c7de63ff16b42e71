#include "filters/CCITTG4Decoder.h"

#include <algorithm>

#include "filters/CCITTBitmap.h"

namespace qvx::Filters {

CCITTG4Decoder::CCITTG4Decoder(Common::ByteView data, std::uint32_t width)
    : m_data(data), m_bits(data), m_rows(m_bits, width)
{
}

CCITTG4Decoder::Result CCITTG4Decoder::DecodeRow(Common::Byte* dst)
{
    if (m_done != e_row) return m_done;
    switch (m_rows.BeginG4Row()) {
    case CCITTRowDecoder::e_end_of_block: return m_done = e_end_of_block;
    case CCITTRowDecoder::e_end_of_data: return m_done = e_end_of_data;
    case CCITTRowDecoder::e_row: break;
    }
    Result r = m_rows.Decode2D() == CCITTRowDecoder::e_ok ? e_row : e_error;
    if (dst) {
        CCITT::RowPainter painter(m_rows.Changes(), m_rows.Width());
        std::size_t n = CCITT::RowBytes(m_rows.Width());
        painter.Paint(dst, n, true);
    }
    if (r == e_error) m_done = e_error;
    return r;
}

bool CCITTG4Decoder::SkipEndOfBlock()
{
    if (m_done != e_row || m_bits.Peek(24) != 0x001001) return false;
    m_bits.Skip(24);
    m_done = e_end_of_block;
    return true;
}

std::size_t CCITTG4Decoder::BytesConsumed() const
{
    return static_cast<std::size_t>(std::min<std::uint64_t>((m_bits.Position() + 7) / 8, m_data.size()));
}

}  // namespace qvx::Filters
