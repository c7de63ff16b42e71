#include "common/UString.h"

namespace qvx::Common {

void AppendUTF16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the well-formed UTF-8 sequence at s[i], or 0 when it is malformed.
std::size_t SequenceLength(std::string_view s, std::size_t i, char32_t& cp)
{
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char c = b(0);
    std::size_t n;
    char32_t min;
    if (c < 0x80) { cp = c; return 1; }
    if (c >= 0xC2 && c <= 0xDF) { n = 2; cp = c & 0x1F; min = 0x80; }
    else if (c >= 0xE0 && c <= 0xEF) { n = 3; cp = c & 0x0F; min = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { n = 4; cp = c & 0x07; min = 0x10000; }
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

void AppendUTF8(std::string& out, char32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

// Bytes outside well-formed sequences become U+FFFD, or with escape_bytes U+DC00 + byte.
std::u16string DecodeUTF8(std::string_view utf8, bool escape_bytes)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        std::size_t n = SequenceLength(utf8, i, cp);
        if (n == 0) {
            auto byte = static_cast<unsigned char>(utf8[i]);
            out += static_cast<char16_t>(escape_bytes ? 0xDC00 + byte : kReplacement);
            ++i;
        } else {
            AppendUTF16(out, cp);
            i += n;
        }
    }
    return out;
}

// The inverse: with raw_bytes, lone U+DC80..U+DCFF are written as the byte they stand for.
std::string EncodeUTF8(const std::u16string& units, bool raw_bytes)
{
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (raw_bytes && u >= 0xDC80 && u <= 0xDCFF) {
            out += static_cast<char>(u - 0xDC00);
            continue;
        }
        AppendUTF8(out, u);
    }
    return out;
}

}  // namespace

bool IsValidUTF8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        std::size_t n = SequenceLength(bytes, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string AsValidUTF8(std::string_view bytes)
{
    if (IsValidUTF8(bytes)) return std::string(bytes);
    std::string out;
    for (unsigned char c : bytes) AppendUTF8(out, c);
    return out;
}

UString UString::FromUTF8(std::string_view utf8) { return UString(DecodeUTF8(utf8, false)); }

UString UString::FromFileName(std::string_view bytes) { return UString(DecodeUTF8(bytes, true)); }

UString UString::FromLatin1(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) out += static_cast<char16_t>(c);
    return UString(std::move(out));
}

std::string UString::ToUTF8() const { return EncodeUTF8(m_units, false); }

std::string UString::ToFileName() const { return EncodeUTF8(m_units, true); }

}  // namespace qvx::Common
