#include "filters/JBIG2ArithDecoder.h"

#include "filters/JBIG2Bitmap.h"

namespace qvx::Filters::JBIG2 {

const QeEntry kQeTable[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},
    {0x0521, 5, 29, 0},  {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},
    {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0}, {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0},
    {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1}, {0x5401, 16, 14, 0},
    {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0},
    {0x1C01, 25, 22, 0}, {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0},
    {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0}, {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0},
    {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0}, {0x02A1, 36, 33, 0},
    {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0},
    {0x0005, 45, 42, 0}, {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
};

ArithDecoder::ArithDecoder(Common::ByteView data) : m_data(data)
{
    m_c = std::uint32_t(At(0)) << 16;
    ByteIn();
    m_c <<= 7;
    m_ct -= 7;
    m_a = 0x8000;
}

void ArithDecoder::ByteIn()
{
    if (m_bp >= m_data.size()) ++m_overrun;
    if (At(m_bp) == 0xFF) {
        if (At(m_bp + 1) > 0x8F) {
            // A marker (or the end of the data): feed one bits without moving on.
            m_c += 0xFF00;
            m_ct = 8;
        } else {
            ++m_bp;
            m_c += std::uint32_t(At(m_bp)) << 9;
            m_ct = 7;
        }
    } else {
        ++m_bp;
        m_c += std::uint32_t(At(m_bp)) << 8;
        m_ct = 8;
    }
}

int ArithDecoder::Decode(Contexts& cx, std::size_t index)
{
    std::uint8_t& st = cx[index];
    const QeEntry& e = kQeTable[st >> 1];
    int mps = st & 1;
    int d;
    m_a -= e.qe;
    if ((m_c >> 16) < e.qe) {
        // LPS exchange
        if (m_a < e.qe) {
            d = mps;
            st = std::uint8_t(e.nmps << 1 | mps);
        } else {
            d = 1 - mps;
            st = std::uint8_t(e.nlps << 1 | (e.swtch ? 1 - mps : mps));
        }
        m_a = e.qe;
    } else {
        m_c -= std::uint32_t(e.qe) << 16;
        if (m_a & 0x8000) return mps;
        // MPS exchange
        if (m_a < e.qe) {
            d = 1 - mps;
            st = std::uint8_t(e.nlps << 1 | (e.swtch ? 1 - mps : mps));
        } else {
            d = mps;
            st = std::uint8_t(e.nmps << 1 | mps);
        }
    }
    do {
        if (m_ct == 0) ByteIn();
        m_a <<= 1;
        m_c <<= 1;
        --m_ct;
    } while ((m_a & 0x8000) == 0);
    return d;
}

bool IntDecoder::Decode(ArithDecoder& dec, std::int32_t& value)
{
    std::uint32_t prev = 1;
    auto bit = [&]() {
        int d = dec.Decode(m_cx, prev);
        prev = prev < 256 ? (prev << 1) | unsigned(d) : (((prev << 1) | unsigned(d)) & 511) | 256;
        return d;
    };
    auto bits = [&](int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 1) | unsigned(bit());
        return v;
    };
    int s = bit();
    std::int64_t v;
    if (!bit())
        v = bits(2);
    else if (!bit())
        v = bits(4) + 4;
    else if (!bit())
        v = bits(6) + 20;
    else if (!bit())
        v = bits(8) + 84;
    else if (!bit())
        v = bits(12) + 340;
    else
        v = std::int64_t(bits(32)) + 4436;
    if (s && v == 0) return false;
    v = s ? -v : v;
    // Values beyond 32 bits only come from damaged data; clamp them.
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    value = std::int32_t(v);
    return true;
}

IdDecoder::IdDecoder(unsigned code_len) : m_len(code_len)
{
    QVX_JBIG2_CHECK(code_len <= 24);  // symbol counts are limited far below 2^24
    m_cx = Contexts(std::size_t(1) << (code_len + 1));
}

std::uint32_t IdDecoder::Decode(ArithDecoder& dec)
{
    std::uint32_t prev = 1;
    for (unsigned i = 0; i < m_len; ++i) prev = (prev << 1) | unsigned(dec.Decode(m_cx, prev));
    return prev - (std::uint32_t(1) << m_len);
}

}  // namespace qvx::Filters::JBIG2
