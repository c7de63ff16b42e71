#include "filters/JBIG2Segment.h"

#include "common/Limits.h"

namespace qvx::Filters::JBIG2 {

namespace {

// The length of an immediate generic region whose header leaves it open: its data ends
// with a marker (0xFF 0xAC, or 0x00 0x00 for MMR data) and a four-byte row count.
std::size_t FindGenericRegionEnd(Common::ByteView d)
{
    if (d.size() < 18) return d.size();
    const bool mmr = d[17] & 1;
    const Common::Byte m0 = mmr ? 0x00 : 0xFF, m1 = mmr ? 0x00 : 0xAC;
    for (std::size_t i = 18; i + 6 <= d.size(); ++i)
        if (d[i] == m0 && d[i + 1] == m1) return i + 6;
    return d.size();
}

}  // namespace

bool SegmentReader::Next(Segment& seg)
{
    Common::ByteView d = m_data.subspan(m_pos);
    if (d.size() < 11) return false;
    seg = Segment{};
    seg.number = ReadU32(d, 0);
    const unsigned flags = d[4];
    seg.type = int(flags & 0x3F);
    const bool page4 = flags & 0x40;
    std::size_t pos = 5;
    std::uint64_t count = d[pos] >> 5;
    if (count == 7) {
        count = ReadU32(d, pos) & 0x1FFFFFFF;
        pos += 4 + (count + 8) / 8;
    } else {
        ++pos;
    }
    if (count > d.size()) return false;
    const unsigned ref_size = seg.number <= 256 ? 1 : seg.number <= 65536 ? 2 : 4;
    if (pos + count * ref_size + (page4 ? 4 : 1) + 4 > d.size()) return false;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint32_t r = 0;
        for (unsigned k = 0; k < ref_size; ++k) r = (r << 8) | d[pos++];
        seg.refs.push_back(r);
    }
    if (page4) {
        seg.page = ReadU32(d, pos);
        pos += 4;
    } else {
        seg.page = d[pos++];
    }
    const std::uint32_t length = ReadU32(d, pos);
    pos += 4;
    Common::ByteView body = d.subspan(pos);
    if (length == 0xFFFFFFFF) {
        seg.unknown_length = true;
        if (seg.type == e_immediate_generic || seg.type == e_immediate_lossless_generic)
            body = body.first(FindGenericRegionEnd(body));
    } else if (length < body.size()) {
        body = body.first(length);
    }
    seg.data = body;
    m_pos += pos + body.size();
    return true;
}

RegionInfo ReadRegionInfo(Common::ByteView data)
{
    QVX_JBIG2_CHECK(data.size() >= 17);
    RegionInfo r;
    r.width = ReadU32(data, 0);
    r.height = ReadU32(data, 4);
    r.x = std::int32_t(ReadU32(data, 8));
    r.y = std::int32_t(ReadU32(data, 12));
    const unsigned op = data[16] & 7;
    QVX_JBIG2_CHECK(op <= e_replace);
    r.op = ComposeOp(op);
    return r;
}

}  // namespace qvx::Filters::JBIG2
