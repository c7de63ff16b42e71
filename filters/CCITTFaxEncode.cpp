#include "filters/CCITTFaxEncode.h"

#include <algorithm>

#include "common/Exception.h"
#include "filters/CCITTBitmap.h"

namespace qvx::Filters {

using namespace CCITT;

namespace {

constexpr std::size_t kSentinels = 3;

}  // namespace

CCITTFaxEncode::CCITTFaxEncode(std::unique_ptr<Filter> out, const CCITTParams& params)
    : BufFilter(e_output, std::move(out)), m_params(params)
{
    QVX_CHECK(params.columns > 0, "CCITTFaxEncode Columns must be positive");
    m_width = static_cast<std::uint32_t>(params.columns);
    m_row_bytes = RowBytes(m_width);
    m_ref.assign(kSentinels, m_width);
}

void CCITTFaxEncode::PutRun(unsigned colour, std::uint64_t run)
{
    // Past 2560 + 63 the longest make-up code repeats.
    for (; run >= kMaxMakeup + 64; run -= kMaxMakeup) Put(kExtendedMakeup[12]);
    if (run >= 64) {
        std::size_t m = run / 64;
        Put(m <= 27 ? kMakeup[colour][m - 1] : kExtendedMakeup[m - 28]);
        run %= 64;
    }
    Put(kTerminating[colour][run]);
}

void CCITTFaxEncode::Encode1D()
{
    std::uint64_t a = 0;
    unsigned colour = e_white;
    for (std::uint32_t c : m_cur) {
        if (c >= m_width) break;
        PutRun(colour, c - a);
        a = c;
        colour ^= 1;
    }
    PutRun(colour, m_width - a);
}

void CCITTFaxEncode::Encode2D()
{
    const std::uint32_t* cur = m_cur.data();
    const std::uint32_t* ref = m_ref.data();
    const std::int64_t width = m_width;
    std::int64_t a0 = -1;
    unsigned colour = e_white;
    std::size_t ai = 0, bi = 0;
    while (a0 < width) {
        while (cur[ai] <= a0) ++ai;
        const std::int64_t a1 = cur[ai];
        if (bi > 0) --bi;
        while (ref[bi] <= a0) ++bi;
        if ((bi & 1) != colour) ++bi;
        const std::int64_t b1 = ref[bi], b2 = ref[bi + 1];
        if (b2 < a1) {
            Put(kPass);
            a0 = b2;
        } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
            Put(kVertical[a1 - b1 + 3]);
            a0 = a1;
            colour ^= 1;
        } else {
            const std::int64_t a2 = cur[ai + 1];
            Put(kHorizontal);
            PutRun(colour, a1 - std::max<std::int64_t>(a0, 0));
            PutRun(colour ^ 1, a2 - a1);
            a0 = a2;
        }
    }
}

void CCITTFaxEncode::PutEOL()
{
    // Aligned Group 3 data pads before each EOL so that the EOL ends on a byte boundary.
    if (m_params.encoded_byte_align) Put(0, (8 - (m_nbits + kEOL.length) % 8) % 8);
    Put(kEOL);
}

void CCITTFaxEncode::EncodeRow(const Byte* row)
{
    FindChanges(row, m_width, m_params.black_is_1, m_cur);
    const int k = m_params.k;
    const bool two_d = k < 0 || (k > 0 && m_rows % std::uint64_t(k) != 0);
    if (k < 0 || !m_params.end_of_line) {
        if (m_params.encoded_byte_align) AlignToByte();
    } else {
        PutEOL();
    }
    if (k > 0) Put(two_d ? 0 : 1, 1);
    m_cur.insert(m_cur.end(), kSentinels, m_width);
    if (two_d)
        Encode2D();
    else
        Encode1D();
    m_cur.swap(m_ref);
    ++m_rows;
}

void CCITTFaxEncode::Drain(const Byte* data, std::size_t size, bool final)
{
    while (size > 0) {
        if (m_row.empty() && size >= m_row_bytes) {
            EncodeRow(data);
            data += m_row_bytes;
            size -= m_row_bytes;
            continue;
        }
        std::size_t take = std::min(m_row_bytes - m_row.size(), size);
        m_row.insert(m_row.end(), data, data + take);
        data += take;
        size -= take;
        if (m_row.size() == m_row_bytes) {
            EncodeRow(m_row.data());
            m_row.clear();
        }
    }
    if (final) {
        if (!m_row.empty()) {
            m_row.resize(m_row_bytes, m_params.black_is_1 ? 0x00 : 0xFF);
            EncodeRow(m_row.data());
            m_row.clear();
        }
        if (m_params.end_of_block) {
            if (m_params.encoded_byte_align && (m_params.k < 0 || !m_params.end_of_line)) AlignToByte();
            int eols = m_params.k < 0 ? 2 : 6;
            for (int i = 0; i < eols; ++i) {
                if (m_params.k < 0)
                    Put(kEOL);
                else
                    PutEOL();
                if (m_params.k > 0) Put(1, 1);
            }
        }
        AlignToByte();
    }
    WriteOutput(m_out.data(), m_out.size());
    m_out.clear();
}

}  // namespace qvx::Filters
