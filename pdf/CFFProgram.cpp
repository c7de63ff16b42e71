// A CFF program is read whole (every INDEX and DICT of its one font) and written again with
// every offset as a five-byte number: the sizes of the DICTs then do not depend on where
// things land, so one pass measures the layout and a second writes it.
#include "pdf/CFFProgram.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

namespace qvx::PDF::CFFProgram {

namespace {

using Common::Byte;
using Common::Bytes;
using Common::ByteView;

// Two-byte operators are numbered 1200 + their second byte.
constexpr int kEscape = 1200;
enum Operator {
    e_font_matrix = kEscape + 7,
    e_charset = 15,
    e_encoding = 16,
    e_charstrings = 17,
    e_private = 18,
    e_subrs = 19,
    e_nominal_width = 21,
    e_charstring_type = kEscape + 6,
    e_ros = kEscape + 30,
    e_cid_count = kEscape + 34,
    e_fd_array = kEscape + 36,
    e_fd_select = kEscape + 37,
};
// Strings numbered below this are the standard strings, not held in the String INDEX.
constexpr unsigned kStandardStrings = 391;
// Glyphs of the predefined ISOAdobe charset, whose glyph numbers are their string numbers.
constexpr std::size_t kISOAdobeGlyphs = 229;
constexpr unsigned kDefaultCIDCount = 8720;

struct Entry {
    int op = 0;
    Bytes operands;
    std::vector<double> values;
};
using Dict = std::vector<Entry>;

const Entry* Find(const Dict& dict, int op)
{
    for (const Entry& e : dict)
        if (e.op == op) return &e;
    return nullptr;
}

// The entry's value at index as a whole number (offset, size or count) within limit.
std::optional<std::size_t> Whole(const Entry* e, std::size_t index, std::size_t limit)
{
    if (!e || e->values.size() <= index) return std::nullopt;
    double v = e->values[index];
    if (!(v >= 0) || v > static_cast<double>(limit) || v != std::floor(v)) return std::nullopt;
    return static_cast<std::size_t>(v);
}

unsigned Card16(ByteView d, std::size_t at) { return static_cast<unsigned>(d[at] << 8 | d[at + 1]); }

std::optional<std::vector<ByteView>> ReadIndex(ByteView d, std::size_t at, std::size_t& end)
{
    if (at > d.size() || d.size() - at < 2) return std::nullopt;
    unsigned count = Card16(d, at);
    std::vector<ByteView> items;
    if (count == 0) {
        end = at + 2;
        return items;
    }
    if (d.size() - at < 3) return std::nullopt;
    unsigned size = d[at + 2];
    std::size_t offsets = at + 3, table = (static_cast<std::size_t>(count) + 1) * size;
    if (size < 1 || size > 4 || d.size() - offsets < table) return std::nullopt;
    std::size_t base = offsets + table - 1;
    auto offset = [&](std::size_t i) {
        std::size_t v = 0;
        for (unsigned k = 0; k < size; ++k) v = v << 8 | d[offsets + i * size + k];
        return v;
    };
    std::size_t prev = offset(0);
    if (prev < 1) return std::nullopt;
    for (std::size_t i = 1; i <= count; ++i) {
        std::size_t next = offset(i);
        if (next < prev || next > d.size() - base) return std::nullopt;
        items.push_back(d.subspan(base + prev, next - prev));
        prev = next;
    }
    end = base + prev;
    return items;
}

// A DICT real starting at d[i]; i moves past it. Readers take what digits there are (none
// read as 0, "4E-" as 4); such a real is malformed.
std::optional<double> ReadReal(ByteView d, std::size_t& i, bool& malformed)
{
    std::string text;
    for (++i; i < d.size(); ++i) {
        for (int nibble : {d[i] >> 4, d[i] & 15}) {
            if (nibble == 0xF) {
                ++i;
                char* end = nullptr;
                double v = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
                malformed = text.empty() || *end != '\0';
                return v;
            }
            if (nibble <= 9) text += static_cast<char>('0' + nibble);
            else if (nibble == 0xA) text += '.';
            else if (nibble == 0xB) text += 'E';
            else if (nibble == 0xC) text += "E-";
            else if (nibble == 0xE) text += '-';
            else return std::nullopt;
        }
    }
    return std::nullopt;
}

// A number of a DICT or charstring starting at d[i] (not 30, the DICT real, nor 255, the
// charstring fixed); i moves past it.
std::optional<double> ReadInteger(ByteView d, std::size_t& i)
{
    Byte b = d[i];
    std::size_t need = b == 28 ? 3 : b == 29 ? 5 : b >= 247 && b <= 254 ? 2 : 1;
    if (d.size() - i < need || (b < 32 && b != 28 && b != 29) || b == 255) return std::nullopt;
    double v = 0;
    if (b == 28) v = static_cast<std::int16_t>(Card16(d, i + 1));
    else if (b == 29) v = static_cast<std::int32_t>(static_cast<std::uint32_t>(Card16(d, i + 1)) << 16 | Card16(d, i + 3));
    else if (b <= 246) v = b - 139;
    else if (b <= 250) v = (b - 247) * 256 + d[i + 1] + 108;
    else v = -(b - 251) * 256 - d[i + 1] - 108;
    i += need;
    return v;
}

// Operators the format reserves; readers pass over them.
bool Reserved(int op) { return (op >= 22 && op < 32) || op > kEscape + 38; }

// A DICT; nullopt when a number cannot be read. When mend, a number that cannot be read or
// a malformed real spoils the entry it belongs to instead, and such entries and those of
// reserved operators are left out.
std::optional<Dict> ReadDict(ByteView d, bool mend = false)
{
    Dict dict;
    Entry cur;
    bool spoiled = false;
    for (std::size_t i = 0; i < d.size();) {
        std::size_t start = i;
        // Bytes below 32 other than the number prefixes are operators, those reserved too.
        if (d[i] < 32 && d[i] != 28 && d[i] != 29 && d[i] != 30) {
            cur.op = d[i++];
            if (cur.op == 12) {
                if (i == d.size()) return mend ? std::optional<Dict>(dict) : std::nullopt;
                cur.op = kEscape + d[i++];
            }
            if (!mend || (!spoiled && !Reserved(cur.op))) dict.push_back(std::move(cur));
            cur = {};
            spoiled = false;
            continue;
        }
        bool malformed = false;
        auto v = d[i] == 30 ? ReadReal(d, i, malformed) : ReadInteger(d, i);
        if (!v && !mend) return std::nullopt;
        spoiled |= mend && malformed;
        if (!v) {
            spoiled = true;
            i = start + 1;
            continue;
        }
        cur.values.push_back(*v);
        cur.operands.insert(cur.operands.end(), d.begin() + static_cast<std::ptrdiff_t>(start), d.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return dict;
}

void PutInt32(Bytes& out, std::size_t v)
{
    auto u = static_cast<std::uint32_t>(v);
    out.insert(out.end(), {29, static_cast<Byte>(u >> 24), static_cast<Byte>(u >> 16), static_cast<Byte>(u >> 8), static_cast<Byte>(u)});
}

void PutOp(Bytes& out, int op)
{
    if (op >= kEscape) out.push_back(12);
    out.push_back(static_cast<Byte>(op >= kEscape ? op - kEscape : op));
}

void PutIndex(Bytes& out, const std::vector<Bytes>& items)
{
    out.push_back(static_cast<Byte>(items.size() >> 8));
    out.push_back(static_cast<Byte>(items.size()));
    if (items.empty()) return;
    std::size_t total = 1;
    for (const Bytes& item : items) total += item.size();
    unsigned size = total <= 0xFF ? 1 : total <= 0xFFFF ? 2 : total <= 0xFFFFFF ? 3 : 4;
    out.push_back(static_cast<Byte>(size));
    std::size_t offset = 1;
    auto put = [&](std::size_t v) {
        for (unsigned k = size; k-- > 0;) out.push_back(static_cast<Byte>(v >> (8 * k)));
    };
    put(offset);
    for (const Bytes& item : items) put(offset += item.size());
    for (const Bytes& item : items) out.insert(out.end(), item.begin(), item.end());
}

std::vector<Bytes> Copied(const std::vector<ByteView>& items)
{
    std::vector<Bytes> out;
    for (ByteView item : items) out.emplace_back(item.begin(), item.end());
    return out;
}

struct Private {
    Dict dict;
    std::vector<ByteView> subrs;
    double nominal_width = 0;
};

std::optional<Private> ReadPrivate(ByteView d, const Entry* entry, bool mend)
{
    auto size = Whole(entry, 0, d.size()), offset = Whole(entry, 1, d.size());
    if (!size || !offset || *size > d.size() - *offset) return std::nullopt;
    auto dict = ReadDict(d.subspan(*offset, *size), mend);
    if (!dict) return std::nullopt;
    Private p{std::move(*dict), {}, 0};
    if (const Entry* nominal = Find(p.dict, e_nominal_width); nominal && !nominal->values.empty())
        p.nominal_width = nominal->values[0];
    if (const Entry* subrs = Find(p.dict, e_subrs)) {
        auto at = Whole(subrs, 0, d.size() - *offset);
        std::size_t end = 0;
        auto index = at ? ReadIndex(d, *offset + *at, end) : std::nullopt;
        if (!index) return std::nullopt;
        p.subrs = std::move(*index);
    }
    return p;
}

// What one font of the program holds, with charset and FDSelect read into one entry per glyph.
struct Font {
    ByteView name;
    Dict top;
    std::vector<ByteView> strings, gsubrs;
    std::vector<Bytes> charstrings;
    std::vector<unsigned> charset;  // string number or CID of each glyph
    ByteView encoding;              // a custom encoding's bytes (empty when predefined)
    std::vector<Dict> fds;
    std::vector<Private> privates;  // the font's, or one per Font DICT
    std::vector<unsigned> fd_select;
    bool cid = false;
};

bool ReadCharset(ByteView d, const Entry* entry, Font& font)
{
    std::size_t glyphs = font.charstrings.size();
    auto offset = entry ? Whole(entry, 0, d.size()) : std::optional<std::size_t>(0);
    if (!offset || *offset == 1 || *offset == 2) return false;
    font.charset.assign(1, 0);
    if (*offset == 0) {
        if (glyphs > kISOAdobeGlyphs) return false;
        for (unsigned g = 1; g < glyphs; ++g) font.charset.push_back(g);
        return true;
    }
    std::size_t at = *offset + 1;
    if (*offset >= d.size() || d[*offset] > 2) return false;
    Byte format = d[*offset];
    while (font.charset.size() < glyphs) {
        std::size_t need = format == 0 ? 2 : format == 1 ? 3 : 4;
        if (d.size() - at < need) return false;
        unsigned first = Card16(d, at);
        unsigned left = format == 0 ? 0 : format == 1 ? d[at + 2] : Card16(d, at + 2);
        for (unsigned k = 0; k <= left && font.charset.size() < glyphs; ++k) font.charset.push_back(first + k);
        at += need;
    }
    return true;
}

bool ReadEncoding(ByteView d, const Entry* entry, Font& font)
{
    if (!entry) return true;
    auto offset = Whole(entry, 0, d.size());
    if (!offset) return false;
    if (*offset <= 1) return true;
    if (d.size() - *offset < 2) return false;
    Byte format = d[*offset];
    std::size_t size = (format & 0x7F) == 0 ? 2 + d[*offset + 1] : (format & 0x7F) == 1 ? 2 + 2 * d[*offset + 1] : 0;
    if (size == 0 || d.size() - *offset < size + 1) return false;
    if (format & 0x80) size += 1 + 3 * d[*offset + size];
    if (d.size() - *offset < size) return false;
    font.encoding = d.subspan(*offset, size);
    return true;
}

bool ReadFDSelect(ByteView d, const Entry* entry, std::size_t glyphs, Font& font)
{
    auto offset = Whole(entry, 0, d.size());
    if (!offset || *offset >= d.size()) return false;
    std::size_t at = *offset + 1;
    if (d[*offset] == 0) {
        if (d.size() - at < glyphs) return false;
        font.fd_select.assign(d.begin() + static_cast<std::ptrdiff_t>(at), d.begin() + static_cast<std::ptrdiff_t>(at + glyphs));
    } else if (d[*offset] == 3) {
        if (d.size() - at < 2) return false;
        unsigned ranges = Card16(d, at);
        if (d.size() - at < 2 + 3ull * ranges + 2) return false;
        font.fd_select.assign(glyphs, 0);
        for (unsigned r = 0; r < ranges; ++r) {
            std::size_t range = at + 2 + 3ull * r;
            unsigned first = Card16(d, range), last = Card16(d, range + 3);
            for (unsigned g = first; g < last && g < glyphs; ++g) font.fd_select[g] = d[range + 2];
        }
    } else {
        return false;
    }
    for (unsigned fd : font.fd_select)
        if (fd >= font.privates.size()) return false;
    return true;
}

// The INDEXes that follow the header (which may be longer than its four bytes): Name, Top
// DICT, String and Global Subr.
struct Head {
    std::vector<ByteView> names, tops, strings, gsubrs;
};

std::optional<Head> ReadHead(ByteView d)
{
    if (d.size() < 4 || d[0] != 1 || d[2] < 4 || d[2] > d.size()) return std::nullopt;
    std::size_t at = d[2];
    auto names = ReadIndex(d, at, at);
    auto tops = names ? ReadIndex(d, at, at) : std::nullopt;
    auto strings = tops ? ReadIndex(d, at, at) : std::nullopt;
    auto gsubrs = strings ? ReadIndex(d, at, at) : std::nullopt;
    if (!gsubrs) return std::nullopt;
    return Head{std::move(*names), std::move(*tops), std::move(*strings), std::move(*gsubrs)};
}

// The charstrings a Top DICT points at; nullopt when there are none.
std::optional<std::vector<ByteView>> ReadCharStrings(ByteView d, const Dict& top)
{
    auto at = Whole(Find(top, e_charstrings), 0, d.size());
    std::size_t end = 0;
    auto charstrings = at ? ReadIndex(d, *at, end) : std::nullopt;
    if (!charstrings || charstrings->empty()) return std::nullopt;
    return charstrings;
}

// The Private DICTs of a font of glyphs glyphs: its own, or those of the Font DICTs of a
// CID-keyed font with the FDSelect that picks one for each glyph. Every Font DICT needs
// one; when mend, one that has none is given an empty one.
bool ReadPrivates(ByteView d, const Dict& top, std::size_t glyphs, Font& font, bool mend)
{
    font.cid = Find(top, e_fd_array) != nullptr;
    if (!font.cid) {
        auto priv = ReadPrivate(d, Find(top, e_private), mend);
        if (!priv) return false;
        font.privates.push_back(std::move(*priv));
        font.fd_select.assign(glyphs, 0);
        return true;
    }
    auto fd_at = Whole(Find(top, e_fd_array), 0, d.size());
    std::size_t end = 0;
    auto fds = fd_at ? ReadIndex(d, *fd_at, end) : std::nullopt;
    if (!fds || fds->empty()) return false;
    for (ByteView fd : *fds) {
        auto dict = ReadDict(fd, mend);
        if (!dict) return false;
        const Entry* entry = Find(*dict, e_private);
        auto priv = mend && !entry ? std::optional<Private>(Private{}) : ReadPrivate(d, entry, mend);
        if (!priv) return false;
        font.fds.push_back(std::move(*dict));
        font.privates.push_back(std::move(*priv));
    }
    return ReadFDSelect(d, Find(top, e_fd_select), glyphs, font);
}

std::optional<Font> Read(ByteView d, bool mend = false)
{
    auto head = ReadHead(d);
    if (!head || head->names.size() != 1 || head->tops.size() != 1) return std::nullopt;
    auto top = ReadDict(head->tops[0], mend);
    if (!top) return std::nullopt;
    Font font;
    font.name = head->names[0];
    font.top = std::move(*top);
    font.strings = std::move(head->strings);
    font.gsubrs = std::move(head->gsubrs);
    if (const Entry* type = Find(font.top, e_charstring_type); type && (type->values.size() != 1 || type->values[0] != 2))
        return std::nullopt;
    auto charstrings = ReadCharStrings(d, font.top);
    if (!charstrings || !ReadPrivates(d, font.top, charstrings->size(), font, mend)) return std::nullopt;
    font.charstrings = Copied(*charstrings);
    if (!font.cid && !ReadEncoding(d, Find(font.top, e_encoding), font)) return std::nullopt;
    if (!ReadCharset(d, Find(font.top, e_charset), font)) return std::nullopt;
    return font;
}

// Where the parts that DICTs point at are placed.
struct Layout {
    std::size_t charset = 0, encoding = 0, charstrings = 0, fd_select = 0, fd_array = 0;
    std::vector<std::size_t> privates;
};

// A DICT with the operands of the operators of values (offsets, sizes, the CID count) set,
// each a five-byte number, and added where the DICT lacks them.
Bytes WriteDict(const Dict& dict, const std::map<int, std::vector<std::size_t>>& values)
{
    Bytes out;
    std::set<int> done;
    for (const Entry& e : dict) {
        auto v = values.find(e.op);
        if (v == values.end()) {
            out.insert(out.end(), e.operands.begin(), e.operands.end());
        } else {
            for (std::size_t n : v->second) PutInt32(out, n);
            done.insert(e.op);
        }
        PutOp(out, e.op);
    }
    for (const auto& [op, numbers] : values) {
        if (done.count(op)) continue;
        for (std::size_t n : numbers) PutInt32(out, n);
        PutOp(out, op);
    }
    return out;
}

// A Private DICT with its subroutines right after it, and the size of the DICT alone.
struct PrivateBytes {
    Bytes bytes;
    std::size_t dict_size;
};

PrivateBytes WritePrivate(const Private& p)
{
    std::map<int, std::vector<std::size_t>> values;
    if (!p.subrs.empty()) values[e_subrs] = {0};
    Bytes out = WriteDict(p.dict, values);
    std::size_t size = out.size();
    if (!p.subrs.empty()) {
        values[e_subrs] = {size};
        out = WriteDict(p.dict, values);
        PutIndex(out, Copied(p.subrs));
    }
    return {std::move(out), size};
}

Bytes Write(const Font& font, const Layout& at, Layout& placed, std::size_t cid_count)
{
    Bytes out{1, 0, 4, 4};
    PutIndex(out, {Bytes(font.name.begin(), font.name.end())});
    std::vector<PrivateBytes> privates;
    for (const Private& p : font.privates) privates.push_back(WritePrivate(p));
    std::map<int, std::vector<std::size_t>> top{{e_charset, {at.charset}}, {e_charstrings, {at.charstrings}}};
    if (font.cid) {
        top[e_fd_array] = {at.fd_array};
        top[e_fd_select] = {at.fd_select};
        top[e_cid_count] = {cid_count};
    } else {
        top[e_private] = {privates[0].dict_size, at.privates.empty() ? 0 : at.privates[0]};
        if (!font.encoding.empty()) top[e_encoding] = {at.encoding};
    }
    PutIndex(out, {WriteDict(font.top, top)});
    PutIndex(out, Copied(font.strings));
    PutIndex(out, Copied(font.gsubrs));

    placed.charset = out.size();
    out.push_back(0);
    for (std::size_t g = 1; g < font.charset.size(); ++g) out.insert(out.end(), {static_cast<Byte>(font.charset[g] >> 8), static_cast<Byte>(font.charset[g])});
    placed.encoding = out.size();
    out.insert(out.end(), font.encoding.begin(), font.encoding.end());
    placed.charstrings = out.size();
    PutIndex(out, font.charstrings);
    if (font.cid) {
        // Format 3: one range for each run of glyphs with the same Font DICT.
        placed.fd_select = out.size();
        std::vector<std::size_t> starts;
        for (std::size_t g = 0; g < font.fd_select.size(); ++g)
            if (g == 0 || font.fd_select[g] != font.fd_select[g - 1]) starts.push_back(g);
        out.insert(out.end(), {3, static_cast<Byte>(starts.size() >> 8), static_cast<Byte>(starts.size())});
        for (std::size_t g : starts)
            out.insert(out.end(), {static_cast<Byte>(g >> 8), static_cast<Byte>(g), static_cast<Byte>(font.fd_select[g])});
        out.insert(out.end(), {static_cast<Byte>(font.fd_select.size() >> 8), static_cast<Byte>(font.fd_select.size())});
        placed.fd_array = out.size();
        std::vector<Bytes> fds;
        for (std::size_t i = 0; i < font.fds.size(); ++i)
            fds.push_back(WriteDict(font.fds[i], {{e_private, {privates[i].dict_size, at.privates.empty() ? 0 : at.privates[i]}}}));
        PutIndex(out, fds);
    }
    placed.privates.clear();
    for (const PrivateBytes& p : privates) {
        placed.privates.push_back(out.size());
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    }
    return out;
}

// Subroutine numbers are biased by the size of their INDEX.
int SubrBias(std::size_t count) { return count < 1240 ? 107 : count < 33900 ? 1131 : 32768; }
// Subroutine calls followed this deep while looking for the first stack-clearing operator.
constexpr int kMaxSubrDepth = 10;

// What following a Type 2 charstring up to its first stack-clearing operator tells: whether
// that operator has the odd extra first operand that is the width, or that a subroutine
// returned first, or nothing (an operator or call that cannot be followed).
enum class Scan { e_width, e_no_width, e_returned, e_unknown };

// count is the number of operands on the stack.
Scan ScanWidth(const Font& font, unsigned fd, ByteView cs, std::size_t& count, int depth)
{
    double last = 0;
    for (std::size_t i = 0; i < cs.size();) {
        Byte b = cs[i];
        if (b <= 31 && b != 28) {
            ++i;
            bool width = false;
            switch (b) {
            case 1: case 3: case 18: case 23: case 19: case 20: case 21: width = count % 2 == 1; break;
            case 4: case 22: width = count == 2; break;
            case 14: width = count == 1 || count == 5; break;
            case 11: return Scan::e_returned;
            case 10: case 29: {
                const std::vector<ByteView>& subrs = b == 10 ? font.privates[fd].subrs : font.gsubrs;
                double n = last + SubrBias(subrs.size());
                if (count == 0 || depth >= kMaxSubrDepth || !(n >= 0) || n >= static_cast<double>(subrs.size()))
                    return Scan::e_unknown;
                --count;
                Scan inner = ScanWidth(font, fd, subrs[static_cast<std::size_t>(n)], count, depth + 1);
                if (inner != Scan::e_returned) return inner;
                continue;
            }
            default: return Scan::e_unknown;
            }
            return width ? Scan::e_width : Scan::e_no_width;
        }
        std::optional<double> v = 0;
        if (b == 255) {
            if (cs.size() - i < 5) return Scan::e_unknown;
            i += 5;
        } else {
            v = ReadInteger(cs, i);
        }
        if (!v) return Scan::e_unknown;
        last = *v;
        ++count;
    }
    return Scan::e_unknown;
}

// Where a Type 2 charstring's outline begins after its width; nullopt when that cannot be
// told, or when the width is a subroutine's operand rather than the charstring's own.
std::optional<std::size_t> OutlineStart(const Font& font, unsigned index)
{
    ByteView cs = font.charstrings[index];
    std::size_t count = 0;
    Scan scan = ScanWidth(font, font.fd_select[index], cs, count, 0);
    if (scan == Scan::e_no_width) return 0;
    if (scan != Scan::e_width) return std::nullopt;
    // The width is the first operand, unless that one is the number of a subroutine called
    // at once.
    std::size_t at = 0;
    if (cs[0] == 255) at = 5;
    else if (!ReadInteger(cs, at)) return std::nullopt;
    if (at < cs.size() && (cs[at] == 10 || cs[at] == 29)) return std::nullopt;
    return at;
}

Bytes CharStringNumber(double v)
{
    if (v == std::floor(v) && v >= -32768 && v <= 32767) {
        auto n = static_cast<std::int16_t>(v);
        return {28, static_cast<Byte>(static_cast<std::uint16_t>(n) >> 8), static_cast<Byte>(n)};
    }
    auto fixed = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * 65536.0)));
    return {255, static_cast<Byte>(fixed >> 24), static_cast<Byte>(fixed >> 16), static_cast<Byte>(fixed >> 8), static_cast<Byte>(fixed)};
}

// Glyph index's charstring with its advance set (in the program's units), without its
// outline when bare; nullopt when the outline's start cannot be told.
std::optional<Bytes> WithWidth(const Font& font, unsigned index, double advance, bool bare)
{
    const Bytes& cs = font.charstrings[index];
    Bytes out = CharStringNumber(advance - font.privates[font.fd_select[index]].nominal_width);
    if (bare) {
        out.push_back(14);  // endchar
        return out;
    }
    auto start = OutlineStart(font, index);
    if (!start) return std::nullopt;
    out.insert(out.end(), cs.begin() + static_cast<std::ptrdiff_t>(*start), cs.end());
    return out;
}

// Writes the program again, with every offset placed.
Bytes Written(const Font& font, std::size_t cid_count)
{
    Layout measured, placed;
    Write(font, measured, placed, cid_count);
    return Write(font, placed, measured, cid_count);
}

std::size_t CIDCount(const Font& font)
{
    auto count = Whole(Find(font.top, e_cid_count), 0, 0x10000);
    return count ? *count : kDefaultCIDCount;
}

}  // namespace

bool IsIntact(Common::ByteView data)
{
    auto head = ReadHead(data);
    if (!head || head->names.empty() || head->tops.size() != head->names.size()) return false;
    for (ByteView item : head->tops) {
        auto top = ReadDict(item);
        auto charstrings = top ? ReadCharStrings(data, *top) : std::nullopt;
        Font font;
        if (!charstrings || !ReadPrivates(data, *top, charstrings->size(), font, false)) return false;
    }
    return true;
}

bool HasLongHeader(Common::ByteView data) { return data.size() >= 3 && data[0] == 1 && data[2] > 4; }

std::optional<Common::Bytes> Mended(Common::ByteView data)
{
    auto font = Read(data, true);
    if (!font) return std::nullopt;
    return Written(*font, CIDCount(*font));
}

std::optional<Common::Bytes> WithGlyphCopies(Common::ByteView data, const std::vector<Copy>& copies)
{
    auto font = Read(data);
    if (!font || font->charstrings.size() + copies.size() > 0xFFFF) return std::nullopt;
    std::set<unsigned> cids(font->charset.begin(), font->charset.end());
    std::size_t cid_count = CIDCount(*font);
    for (const Copy& c : copies) {
        unsigned source = c.source.value_or(0);
        if (source >= font->charstrings.size() || !std::isfinite(c.advance)) return std::nullopt;
        auto cs = WithWidth(*font, source, c.advance, !c.source);
        if (!cs) return std::nullopt;
        if (font->cid) {
            if (c.cid > 0xFFFF || !cids.insert(c.cid).second) return std::nullopt;
            font->charset.push_back(c.cid);
            cid_count = std::max<std::size_t>(cid_count, c.cid + 1);
        } else {
            if (kStandardStrings + font->strings.size() > 0xFFFF) return std::nullopt;
            for (ByteView s : font->strings)
                if (Common::AsChars(s) == c.name) return std::nullopt;
            font->charset.push_back(static_cast<unsigned>(kStandardStrings + font->strings.size()));
            font->strings.push_back(Common::AsBytes(c.name));
        }
        font->charstrings.push_back(std::move(*cs));
        font->fd_select.push_back(font->fd_select[source]);
    }
    return Written(*font, cid_count);
}

std::optional<Common::Bytes> AsCIDKeyed(Common::ByteView data, const std::map<unsigned, unsigned>& glyphs)
{
    auto font = Read(data);
    if (!font || font->cid || kStandardStrings + font->strings.size() + 2 > 0xFFFF) return std::nullopt;
    std::vector<Bytes> charstrings{font->charstrings[0]};
    std::vector<unsigned> charset{0};
    for (const auto& [cid, glyph] : glyphs) {
        if (cid == 0) continue;
        if (cid > 0xFFFF || glyph >= font->charstrings.size()) return std::nullopt;
        charstrings.push_back(font->charstrings[glyph]);
        charset.push_back(cid);
    }
    // Registry and Ordering are strings of the String INDEX; ROS opens the Top DICT.
    auto sid = [&](std::string_view s) {
        font->strings.push_back(Common::AsBytes(s));
        return static_cast<std::size_t>(kStandardStrings + font->strings.size() - 1);
    };
    Entry ros{e_ros, {}, {}};
    for (std::size_t v : {sid("Adobe"), sid("Identity"), std::size_t{0}}) PutInt32(ros.operands, v);
    // The Font DICT carries the FontMatrix: readers multiply the Top DICT's with it.
    Entry fd_private{e_private, {}, {}};
    Dict fd;
    Dict top{ros};
    for (Entry& e : font->top) {
        if (e.op == e_font_matrix) fd.push_back(std::move(e));
        else if (e.op != e_encoding && e.op != e_private) top.push_back(std::move(e));
    }
    fd.push_back(fd_private);
    font->top = std::move(top);
    font->fds = {std::move(fd)};
    font->encoding = {};
    font->charstrings = std::move(charstrings);
    font->fd_select.assign(font->charstrings.size(), 0);
    std::size_t cid_count = charset.back() + 1;
    font->charset = std::move(charset);
    font->cid = true;
    return Written(*font, cid_count);
}

std::optional<Common::Bytes> WithAdvances(Common::ByteView data, const std::map<unsigned, double>& advances)
{
    auto font = Read(data);
    if (!font || advances.empty()) return std::nullopt;
    for (const auto& [glyph, advance] : advances) {
        // FreeType numbers the glyphs of a CID-keyed program by CID.
        auto at = font->cid ? std::find(font->charset.begin(), font->charset.end(), glyph) : font->charset.begin() + std::min<std::size_t>(glyph, font->charset.size());
        if (at == font->charset.end() || !std::isfinite(advance)) return std::nullopt;
        auto index = static_cast<unsigned>(at - font->charset.begin());
        auto cs = WithWidth(*font, index, advance, false);
        if (!cs) return std::nullopt;
        font->charstrings[index] = std::move(*cs);
    }
    return Written(*font, CIDCount(*font));
}

}  // namespace qvx::PDF::CFFProgram
