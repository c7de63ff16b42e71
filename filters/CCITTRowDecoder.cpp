#include "filters/CCITTRowDecoder.h"

#include <algorithm>

#include "filters/CCITTCodes.h"

namespace qvx::Filters {

using namespace CCITT;

namespace {

// b1 and b2 may be looked up one and two places past the last change.
constexpr std::size_t kSentinels = 3;

}  // namespace

CCITTRowDecoder::CCITTRowDecoder(CCITTBitReader& bits, std::uint32_t width)
    : m_bits(bits), m_width(width)
{
    ResetReference();
}

void CCITTRowDecoder::ResetReference()
{
    m_ref.assign(kSentinels, m_width);
    m_ref_count = 0;
}

bool CCITTRowDecoder::ReadRun(unsigned colour, std::uint64_t& run)
{
    const RunEntry* table = colour == e_white ? WhiteRunTable() : BlackRunTable();
    unsigned bits = colour == e_white ? kWhiteBits : kBlackBits;
    run = 0;
    for (;;) {
        const RunEntry& e = table[m_bits.Peek(bits)];
        if (e.kind != e_terminating && e.kind != e_makeup) return false;
        m_bits.Skip(e.length);
        run += e.run;
        if (m_bits.Overrun()) return false;
        if (e.kind == e_terminating) return true;
    }
}

CCITTRowDecoder::Status CCITTRowDecoder::Finish(std::int64_t a0, unsigned colour, Status status)
{
    std::uint32_t end = static_cast<std::uint32_t>(std::clamp<std::int64_t>(a0, 0, m_width));
    if (status == e_error && colour == e_black && end < m_width) AddChange(end);
    while (!m_cur.empty() && m_cur.back() >= m_width) m_cur.pop_back();
    m_decoded = status == e_ok ? m_width : end;
    m_ref_count = m_cur.size();
    m_cur.insert(m_cur.end(), kSentinels, m_width);
    m_cur.swap(m_ref);
    return status;
}

CCITTRowDecoder::Status CCITTRowDecoder::Decode1D()
{
    m_cur.clear();
    std::uint64_t a = 0;
    unsigned colour = e_white;
    while (a < m_width) {
        std::uint64_t run;
        if (!ReadRun(colour, run)) return Finish(static_cast<std::int64_t>(a), colour, e_error);
        a = std::min<std::uint64_t>(a + run, m_width);
        if (a < m_width) AddChange(static_cast<std::uint32_t>(a));
        colour ^= 1;
    }
    return Finish(static_cast<std::int64_t>(a), colour, e_ok);
}

CCITTRowDecoder::Status CCITTRowDecoder::Decode2D()
{
    m_cur.clear();
    const std::uint32_t* ref = m_ref.data();
    const std::int64_t width = m_width;
    const ModeEntry* modes = ModeTable();
    std::int64_t a0 = -1;  // the imaginary white pixel before the row
    unsigned colour = e_white;
    std::size_t bi = 0;
    while (a0 < width) {
        // b1: the first change above and right of a0 whose colour is opposite to a0's. A
        // vertical-left code may leave it one place before the previous b1.
        if (bi > 0) --bi;
        while (ref[bi] <= a0) ++bi;
        if ((bi & 1) != colour) ++bi;
        const std::int64_t b1 = ref[bi];
        const ModeEntry& m = modes[m_bits.Peek(kModeBits)];
        switch (m.kind) {
        case e_mode_vertical: {
            std::int64_t a1 = b1 + m.delta;
            if (a1 < 0 || a1 > width || (a0 >= 0 && a1 <= a0)) return Finish(a0, colour, e_error);
            m_bits.Skip(m.length);
            AddChange(static_cast<std::uint32_t>(a1));
            a0 = a1;
            colour ^= 1;
            break;
        }
        case e_mode_pass:
            m_bits.Skip(m.length);
            a0 = ref[bi + 1];
            break;
        case e_mode_horizontal: {
            m_bits.Skip(m.length);
            std::uint64_t r1, r2;
            std::int64_t start = std::max<std::int64_t>(a0, 0);
            if (!ReadRun(colour, r1)) return Finish(a0, colour, e_error);
            std::int64_t a1 = std::min<std::uint64_t>(start + r1, width);
            if (!ReadRun(colour ^ 1, r2)) return Finish(a1, colour, e_error);
            std::int64_t a2 = std::min<std::uint64_t>(a1 + r2, width);
            AddChange(static_cast<std::uint32_t>(a1));
            AddChange(static_cast<std::uint32_t>(a2));
            a0 = a2;
            break;
        }
        default:
            return Finish(a0, colour, e_error);
        }
        if (m_bits.Overrun()) return Finish(a0, colour, e_error);
    }
    return Finish(a0, colour, e_ok);
}

CCITTRowDecoder::EOLResult CCITTRowDecoder::ReadEOL()
{
    std::uint32_t v = m_bits.Peek(kEOL.length);
    if (v == kEOL.bits) {
        m_bits.Skip(kEOL.length);
        return m_bits.Overrun() ? e_eol_end_of_data : e_eol;
    }
    if (v != 0) return e_no_eol;
    m_bits.SkipZeros();
    if (m_bits.AtEnd()) return e_eol_end_of_data;
    m_bits.Skip(1);
    return e_eol;
}

bool CCITTRowDecoder::SkipPastNextEOL()
{
    for (;;) {
        std::uint64_t zeros = m_bits.SkipZeros();
        if (m_bits.AtEnd()) return false;
        m_bits.Skip(1);
        if (zeros >= kEOL.length - 1) return true;
    }
}

CCITTRowDecoder::RowStart CCITTRowDecoder::BeginG4Row()
{
    if (m_bits.AtEnd()) return e_end_of_data;
    // No mode code starts with eleven zeros: this is an EOL, fill or the end.
    if (m_bits.Peek(kEOL.length) > kEOL.bits) return e_row;
    if (ReadEOL() != e_eol) return e_end_of_data;
    if (m_bits.AtEnd()) return e_end_of_data;
    if (m_bits.Peek(kEOL.length) > kEOL.bits) return e_row;
    return ReadEOL() == e_eol ? e_end_of_block : e_end_of_data;
}

}  // namespace qvx::Filters
