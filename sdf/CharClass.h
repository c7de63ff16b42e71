#pragma once
// Byte classes of the PDF lexer and the small scanning helpers built on them.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Buffer.h"

namespace qvx::SDF::CharClass {

inline constexpr std::uint8_t kWhite = 0x01;  // NUL TAB LF FF CR SPACE (VT is regular)
inline constexpr std::uint8_t kEnds = 0x02;   // ends a regular token: white space, %, delimiters
inline constexpr std::uint8_t kDelim = 0x08;  // ( ) < > [ ] { } /

constexpr std::array<std::uint8_t, 256> MakeTable()
{
    std::array<std::uint8_t, 256> t{};
    for (int c : {0, 9, 10, 12, 13, 32}) t[c] = kWhite | kEnds;
    t['%'] = kEnds;
    for (int c : {'(', ')', '<', '>', '[', ']', '{', '}', '/'}) t[c] = kEnds | kDelim;
    return t;
}
inline constexpr std::array<std::uint8_t, 256> kTable = MakeTable();

inline bool IsWhite(int c) { return c >= 0 && (kTable[c] & kWhite); }
inline bool EndsToken(int c) { return c >= 0 && (kTable[c] & kEnds); }
inline bool IsDelim(int c) { return c >= 0 && (kTable[c] & kDelim); }
inline bool IsRegular(int c) { return c >= 0 && !(kTable[c] & kEnds); }
inline bool IsEOL(int c) { return c == '\r' || c == '\n'; }
inline bool IsDigit(int c) { return c >= '0' && c <= '9'; }
inline int HexValue(int c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Appends a name's text (without its slash) to out with its #xx escapes decoded; a # not
// followed by two hexadecimal digits stands for itself.
inline void AppendDecodedName(std::string_view text, std::string& out)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int h1 = i + 1 < text.size() ? HexValue(static_cast<unsigned char>(text[i + 1])) : -1;
        const int h2 = i + 2 < text.size() ? HexValue(static_cast<unsigned char>(text[i + 2])) : -1;
        if (text[i] == '#' && h1 >= 0 && h2 >= 0) {
            out += static_cast<char>(h1 * 16 + h2);
            i += 2;
        } else {
            out += text[i];
        }
    }
}

// The position after white space and comments from pos on.
inline std::size_t SkipWhiteAndComments(Common::ByteView d, std::size_t pos)
{
    while (pos < d.size()) {
        int c = d[pos];
        if (IsWhite(c)) {
            ++pos;
        } else if (c == '%') {
            while (pos < d.size() && !IsEOL(d[pos])) ++pos;
        } else {
            break;
        }
    }
    return pos;
}

// The position after one EOL marker (CR, LF or CR LF) at pos; pos when there is none.
inline std::size_t SkipEOLMarker(Common::ByteView d, std::size_t pos)
{
    if (pos < d.size() && d[pos] == '\r') ++pos;
    if (pos < d.size() && d[pos] == '\n') ++pos;
    return pos;
}

// Whether the bytes at pos are text.
inline bool BytesAt(Common::ByteView d, std::size_t pos, std::string_view text)
{
    return pos <= d.size() && d.size() - pos >= text.size() && Common::AsChars(d.subspan(pos, text.size())) == text;
}

// Whether the keyword stands at pos as a whole token.
inline bool KeywordAt(Common::ByteView d, std::size_t pos, std::string_view kw)
{
    if (!BytesAt(d, pos, kw)) return false;
    std::size_t after = pos + kw.size();
    return after == d.size() || EndsToken(d[after]);
}

// An object header "num gen obj" at pos, three tokens apart by white space: the numbers (each
// held at 2^40) and the position after "obj".
struct ObjectHeader {
    std::uint64_t num = 0, gen = 0;
    std::size_t body = 0;
};
inline std::optional<ObjectHeader> ObjectHeaderAt(Common::ByteView d, std::size_t pos)
{
    const std::size_t n = d.size();
    ObjectHeader h;
    std::size_t p = pos;
    for (; p < n && IsDigit(d[p]); ++p) h.num = std::min<std::uint64_t>(h.num * 10 + (d[p] - '0'), 1ull << 40);
    if (p == pos) return std::nullopt;
    std::size_t q = p;
    while (q < n && IsWhite(d[q])) ++q;
    if (q == p || q >= n || !IsDigit(d[q])) return std::nullopt;
    for (; q < n && IsDigit(d[q]); ++q) h.gen = std::min<std::uint64_t>(h.gen * 10 + (d[q] - '0'), 1ull << 40);
    std::size_t r = q;
    while (r < n && IsWhite(d[r])) ++r;
    if (r == q || !KeywordAt(d, r, "obj")) return std::nullopt;
    h.body = r + 3;
    return h;
}

}  // namespace qvx::SDF::CharClass
