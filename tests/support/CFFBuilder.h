#pragma once
// Small bare CFF programs for tests, as PDF embeds them under FontFile3: glyph 0 (.notdef)
// draws a box 500 units wide, every other glyph a triangle as wide as its advance. Name-keyed
// (each name a string of the String INDEX) or CID-keyed (Adobe-Identity-0, one Font DICT).

#include <string>
#include <vector>

namespace qvx::Test {

struct CFFGlyph {
    std::string name;  // name-keyed programs
    unsigned cid;      // CID-keyed programs
    int advance;
};

namespace cff_detail {

inline std::string Number(int v)
{
    return {static_cast<char>(28), static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}

inline std::string Offset(std::size_t v)
{
    return {static_cast<char>(29), static_cast<char>((v >> 24) & 0xFF), static_cast<char>((v >> 16) & 0xFF),
            static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}

inline std::string Card16(std::size_t v) { return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }

inline std::string Index(const std::vector<std::string>& items)
{
    std::string out = Card16(items.size());
    if (items.empty()) return out;
    out += '\4';
    std::size_t offset = 1;
    std::string data;
    auto put = [&](std::size_t v) { out += Card16(v >> 16) + Card16(v & 0xFFFF); };
    put(offset);
    for (const std::string& item : items) {
        put(offset += item.size());
        data += item;
    }
    return out + data;
}

}  // namespace cff_detail

inline std::string MakeCFF(const std::vector<CFFGlyph>& glyphs, bool cid_keyed)
{
    using namespace cff_detail;
    const std::string rmoveto = "\x15", rlineto = "\x05", hlineto = "\x06", vlineto = "\x07", endchar = "\x0E";
    std::vector<std::string> strings, charstrings;
    std::string charset = std::string(1, '\0'), fd_select = std::string(1, '\0') + '\0';
    charstrings.push_back(Number(500) + Number(50) + Number(0) + rmoveto + Number(400) + hlineto + Number(700) + vlineto +
                          Number(-400) + hlineto + endchar);
    if (cid_keyed) strings = {"Adobe", "Identity"};
    unsigned cid_count = 1;
    for (const CFFGlyph& g : glyphs) {
        int base = g.advance - 100;
        charstrings.push_back(Number(g.advance) + Number(50) + Number(0) + rmoveto + Number(base) + Number(0) +
                              Number(-base / 2) + Number(600) + rlineto + endchar);
        if (cid_keyed) {
            charset += Card16(g.cid);
            cid_count = std::max(cid_count, g.cid + 1);
            fd_select += '\0';
        } else {
            charset += Card16(391 + strings.size());
            strings.push_back(g.name);
        }
    }
    std::string priv = Number(0) + "\x14" + Number(0) + "\x15";
    // The top DICT's offsets are five-byte numbers: its size does not depend on them.
    auto top = [&](std::size_t at_charset, std::size_t at_charstrings, std::size_t at_fds, std::size_t at_select,
                   std::size_t at_private) {
        std::string d;
        if (cid_keyed) d += Number(391) + Number(392) + Number(0) + "\x0c\x1e" + Number(static_cast<int>(cid_count)) + "\x0c\x22";
        d += Offset(at_charset) + "\x0f" + Offset(at_charstrings) + "\x11";
        if (cid_keyed) d += Offset(at_fds) + "\x0c\x24" + Offset(at_select) + "\x0c\x25";
        else d += Offset(priv.size()) + Offset(at_private) + "\x12";
        return d;
    };
    std::string head = std::string("\1\0\4\4", 4) + Index({"TestCFF"});
    std::size_t start = head.size() + Index({top(0, 0, 0, 0, 0)}).size() + Index(strings).size() + Index({}).size();
    std::size_t at_charset = start, at_charstrings = at_charset + charset.size();
    std::size_t at_select = at_charstrings + Index(charstrings).size();
    std::size_t at_fds = at_select + (cid_keyed ? fd_select.size() : 0);
    std::string fds = Index({Offset(priv.size()) + Offset(0) + "\x12"});
    std::size_t at_private = at_fds + (cid_keyed ? fds.size() : 0);
    fds = Index({Offset(priv.size()) + Offset(at_private) + "\x12"});
    std::string out = head + Index({top(at_charset, at_charstrings, at_fds, at_select, at_private)}) + Index(strings) +
                      Index({}) + charset + Index(charstrings);
    if (cid_keyed) out += fd_select + fds;
    return out + priv;
}

}  // namespace qvx::Test
