#pragma once
// The engine's Unicode string: UTF-16 code units, converted to and from UTF-8 at the edges.

#include <string>
#include <string_view>

namespace qvx::Common {

class UString {
public:
    UString() = default;
    explicit UString(std::u16string units) : m_units(std::move(units)) {}

    // Bytes that are not well-formed UTF-8 become U+FFFD, one per offending byte, so any
    // byte string (a Linux file name, say) converts without failing.
    static UString FromUTF8(std::string_view utf8);
    // For Linux file names, which are bytes: a byte that is not part of well-formed UTF-8
    // becomes the lone low surrogate U+DC00 + byte, so ToFileName gives the exact bytes back.
    static UString FromFileName(std::string_view bytes);
    // Each byte is one code unit (ISO 8859-1).
    static UString FromLatin1(std::string_view bytes);

    // Unpaired surrogates become U+FFFD.
    std::string ToUTF8() const;
    // The bytes FromFileName was given: UTF-8, with lone U+DC80..U+DCFF as the raw byte.
    std::string ToFileName() const;

    const std::u16string& Units() const { return m_units; }
    std::u16string& Units() { return m_units; }
    std::size_t Size() const { return m_units.size(); }
    bool IsEmpty() const { return m_units.empty(); }

    UString& operator+=(const UString& o) { m_units += o.m_units; return *this; }
    UString& operator+=(char16_t c) { m_units += c; return *this; }
    friend UString operator+(UString a, const UString& b) { a += b; return a; }
    friend bool operator==(const UString&, const UString&) = default;
    friend auto operator<=>(const UString&, const UString&) = default;

private:
    std::u16string m_units;
};

// Whether bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUTF8(std::string_view bytes);
// bytes when they are well-formed UTF-8, else each byte read as a Latin-1 character: distinct
// byte strings stay distinct, and the ASCII in them (a style word of a font name) is kept.
std::string AsValidUTF8(std::string_view bytes);

// Appends the UTF-16 form of one code point (a surrogate pair past U+FFFF).
void AppendUTF16(std::u16string& out, char32_t cp);
// Appends the UTF-8 form of one code point (surrogates and values past U+10FFFF become U+FFFD).
void AppendUTF8(std::string& out, char32_t cp);

}  // namespace qvx::Common
