#pragma once
// Single-byte encodings of simple fonts: a base encoding (one of the predefined ones or
// the font program's own) with the Differences of an Encoding dictionary applied.

#include <array>
#include <bitset>
#include <string>
#include <string_view>

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

enum class BaseEncoding { e_standard, e_win_ansi, e_mac_roman, e_mac_expert, e_symbol, e_zapf_dingbats, e_font_specific };

// The predefined encoding named by an Encoding or BaseEncoding name; false for other names.
bool BaseEncodingFromName(std::string_view name, BaseEncoding& out);
// The glyph name of code in a predefined encoding, or empty (also for e_font_specific and
// e_mac_expert, whose names this system does not carry).
std::string_view BaseGlyphName(BaseEncoding enc, unsigned code);

class SimpleEncoding {
public:
    SimpleEncoding() = default;
    explicit SimpleEncoding(BaseEncoding base) : m_base(base) {}

    // Applies a Differences array; malformed elements are skipped.
    void ApplyDifferences(const SDF::Obj* differences);
    // Sets a code's glyph name (a Differences entry, or one from the font program).
    void Set(unsigned code, std::string_view name);

    BaseEncoding GetBase() const { return m_base; }
    // The glyph name of code (the Differences entry, else the base encoding's), or empty.
    std::string_view GlyphName(unsigned code) const;
    // Whether Differences (or the program) set this code.
    bool IsDifference(unsigned code) const { return code < 256 && m_set[code]; }
    bool HasDifferences() const { return m_set.any(); }

private:
    BaseEncoding m_base = BaseEncoding::e_standard;
    std::array<std::string, 256> m_names;
    std::bitset<256> m_set;
};

}  // namespace qvx::PDF
