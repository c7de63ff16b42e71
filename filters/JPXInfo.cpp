#include "filters/JPXInfo.h"

#include <algorithm>

namespace qvx::Filters {

namespace {

constexpr Common::Byte kSignature[12] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};

std::uint32_t Be(Common::ByteView d, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | d[at + i];
    return v;
}

std::string FourCC(Common::ByteView d, std::size_t at)
{
    return std::string(reinterpret_cast<const char*>(d.data() + at), 4);
}

struct Box {
    std::string type;
    Common::ByteView body;
};

// Splits data into boxes; stops at the first box whose length does not fit.
std::vector<Box> SplitBoxes(Common::ByteView d)
{
    std::vector<Box> boxes;
    std::size_t pos = 0;
    while (d.size() - pos >= 8) {
        std::uint64_t len = Be(d, pos, 4);
        std::size_t header = 8;
        if (len == 1) {
            if (d.size() - pos < 16) break;
            len = (std::uint64_t(Be(d, pos + 8, 4)) << 32) | Be(d, pos + 12, 4);
            header = 16;
        } else if (len == 0) {
            len = d.size() - pos;
        }
        if (len < header || len > d.size() - pos) break;
        boxes.push_back({FourCC(d, pos + 4), d.subspan(pos + header, std::size_t(len) - header)});
        pos += std::size_t(len);
    }
    return boxes;
}

}  // namespace

// Fills a JPXInfo from boxes and markers; every read is checked against the box size.
class JPXBoxReader {
public:
    explicit JPXBoxReader(JPXInfo& info) : m_info(info) {}

    void ReadFile(Common::ByteView d)
    {
        for (const Box& b : SplitBoxes(d)) {
            if (b.type == "ftyp") ReadFileType(b.body);
            else if (b.type == "jp2h") ReadHeader(b.body);
            else if (b.type == "jp2c" && !m_seen_codestream) {
                m_seen_codestream = true;
                ReadCodestream(b.body);
            }
        }
    }

    // SIZ, right after SOC: capabilities, image area and per-component depth and
    // subsampling. With an 'ihdr' already read, only the subsampling is taken over, and
    // the depths that neither 'ihdr' nor 'bpcc' gave.
    void ReadCodestream(Common::ByteView d)
    {
        if (d.size() < 42 || Be(d, 0, 2) != 0xFF4F || Be(d, 2, 2) != 0xFF51) return;
        const std::size_t lsiz = Be(d, 4, 2);
        const std::size_t csiz = Be(d, 40, 2);
        if (csiz == 0 || lsiz != 38 + 3 * csiz || d.size() < 4 + lsiz) return;
        m_info.m_rsiz = int(Be(d, 6, 2));
        const std::uint32_t x1 = Be(d, 8, 4), y1 = Be(d, 12, 4), x0 = Be(d, 16, 4), y0 = Be(d, 20, 4);
        if (x1 <= x0 || y1 <= y0) return;
        // Tiles cover the image area from the tile grid origin (XTOsiz, YTOsiz).
        const std::uint64_t tw = Be(d, 24, 4), th = Be(d, 28, 4), tx0 = Be(d, 32, 4), ty0 = Be(d, 36, 4);
        if (tw > 0 && th > 0 && tx0 <= x0 && ty0 <= y0) {
            const std::uint64_t across = (x1 - tx0 + tw - 1) / tw, down = (y1 - ty0 + th - 1) / th;
            m_info.m_tiles = across * down;
        }
        std::vector<JPXComponent> comps(csiz);
        for (std::size_t i = 0; i < csiz; ++i) {
            const std::size_t at = 42 + 3 * i;
            comps[i].bit_depth = (d[at] & 0x7F) + 1;
            comps[i].is_signed = (d[at] & 0x80) != 0;
            comps[i].dx = d[at + 1];
            comps[i].dy = d[at + 2];
            if (comps[i].dx == 0 || comps[i].dy == 0) return;
        }
        if (m_have_ihdr) {
            for (std::size_t i = 0; i < std::min(csiz, m_info.m_components.size()); ++i) {
                JPXComponent& c = m_info.m_components[i];
                c.dx = comps[i].dx;
                c.dy = comps[i].dy;
                if (c.bit_depth == 0) {
                    c.bit_depth = comps[i].bit_depth;
                    c.is_signed = comps[i].is_signed;
                }
            }
            return;
        }
        m_info.m_width = x1 - x0;
        m_info.m_height = y1 - y0;
        m_info.m_components = std::move(comps);
        m_info.m_valid = true;
    }

private:
    void ReadFileType(Common::ByteView d)
    {
        if (d.size() < 8) return;
        m_info.m_brand = FourCC(d, 0);
        for (std::size_t at = 8; at + 4 <= d.size(); at += 4) m_info.m_compat.push_back(FourCC(d, at));
    }

    void ReadHeader(Common::ByteView d)
    {
        std::vector<Box> boxes = SplitBoxes(d);
        // 'ihdr' comes first in a valid file; 'bpcc' needs it, so read it first anyway.
        for (const Box& b : boxes)
            if (b.type == "ihdr" && !m_have_ihdr) ReadImageHeader(b.body);
        for (const Box& b : boxes) {
            if (b.type == "bpcc") ReadBitsPerComponent(b.body);
            else if (b.type == "colr") ReadColour(b.body);
            else if (b.type == "pclr" && b.body.size() >= 3) m_info.m_palette_columns = b.body[2];
            else if (b.type == "cdef") ReadChannelDefs(b.body);
        }
    }

    void ReadImageHeader(Common::ByteView d)
    {
        if (d.size() < 14) return;
        const std::uint32_t h = Be(d, 0, 4), w = Be(d, 4, 4);
        const std::size_t nc = Be(d, 8, 2);
        if (w == 0 || h == 0 || nc == 0) return;
        m_have_ihdr = true;
        m_info.m_height = h;
        m_info.m_width = w;
        m_info.m_compression = d[11];
        m_info.m_components.assign(nc, JPXComponent{});
        if (d[10] != 0xFF) {  // 0xFF: depths vary, see 'bpcc'
            for (JPXComponent& c : m_info.m_components) {
                c.bit_depth = (d[10] & 0x7F) + 1;
                c.is_signed = (d[10] & 0x80) != 0;
            }
        }
        m_info.m_valid = true;
    }

    void ReadBitsPerComponent(Common::ByteView d)
    {
        auto& comps = m_info.m_components;
        for (std::size_t i = 0; i < std::min(d.size(), comps.size()); ++i) {
            comps[i].bit_depth = (d[i] & 0x7F) + 1;
            comps[i].is_signed = (d[i] & 0x80) != 0;
        }
    }

    void ReadColour(Common::ByteView d)
    {
        if (d.size() < 3) return;
        JPXColourBox c;
        c.method = d[0];
        c.precedence = static_cast<std::int8_t>(d[1]);
        c.approximation = d[2];
        if (c.method == 1 && d.size() >= 7) c.enumerated = Be(d, 3, 4);
        if (c.method == 2 || c.method == 3) c.icc.assign(d.begin() + 3, d.end());
        m_info.m_colour.push_back(std::move(c));
    }

    void ReadChannelDefs(Common::ByteView d)
    {
        if (d.size() < 2) return;
        const std::size_t n = Be(d, 0, 2);
        for (std::size_t i = 0; i < n && 2 + 6 * (i + 1) <= d.size(); ++i) {
            const std::size_t at = 2 + 6 * i;
            m_info.m_channel_defs.push_back(
                {int(Be(d, at, 2)), int(Be(d, at + 2, 2)), int(Be(d, at + 4, 2))});
        }
    }

    JPXInfo& m_info;
    bool m_have_ihdr = false;
    bool m_seen_codestream = false;
};

JPXInfo::Container JPXInfo::Sniff(Common::ByteView d)
{
    if (d.size() >= sizeof kSignature && std::equal(kSignature, kSignature + sizeof kSignature, d.begin()))
        return e_jp2;
    if (d.size() >= 4 && d[0] == 0xFF && d[1] == 0x4F && d[2] == 0xFF && d[3] == 0x51) return e_j2k;
    return e_none;
}

JPXInfo JPXInfo::Read(Common::ByteView data)
{
    JPXInfo info;
    JPXBoxReader reader(info);
    info.m_container = Sniff(data);
    if (info.m_container == e_jp2) reader.ReadFile(data);
    else if (info.m_container == e_j2k) reader.ReadCodestream(data);
    return info;
}

bool JPXInfo::IsBaseline() const
{
    if (m_container != e_jp2) return false;
    auto listed = [&](const char* code) {
        return m_brand == code || std::find(m_compat.begin(), m_compat.end(), code) != m_compat.end();
    };
    return listed("jp2 ") || listed("jpxb");
}

bool JPXInfo::HasUniformBitDepth() const
{
    return std::all_of(m_components.begin(), m_components.end(), [&](const JPXComponent& c) {
        return c.bit_depth == m_components.front().bit_depth && c.is_signed == m_components.front().is_signed;
    });
}

const JPXColourBox* JPXInfo::GetColourBox() const
{
    for (const JPXColourBox& c : m_colour)
        if (c.approximation == 1) return &c;
    return m_colour.empty() ? nullptr : &m_colour.front();
}

int JPXInfo::GetColourChannelCount() const
{
    int n = HasPalette() ? m_palette_columns : int(m_components.size());
    for (const JPXChannelDef& c : m_channel_defs)
        if (c.type == 1 || c.type == 2) --n;
    return std::max(n, 0);
}

}  // namespace qvx::Filters
