#include "pdf/Encoding.h"

#include <cmath>

#include "pdf/EncodingData.h"
#include "pdf/ObjUtil.h"

namespace qvx::PDF {

bool BaseEncodingFromName(std::string_view name, BaseEncoding& out)
{
    if (name == "StandardEncoding") out = BaseEncoding::e_standard;
    else if (name == "WinAnsiEncoding") out = BaseEncoding::e_win_ansi;
    else if (name == "MacRomanEncoding") out = BaseEncoding::e_mac_roman;
    else if (name == "MacExpertEncoding") out = BaseEncoding::e_mac_expert;
    else return false;
    return true;
}

std::string_view BaseGlyphName(BaseEncoding enc, unsigned code)
{
    if (code > 255) return {};
    const char* const* table = nullptr;
    switch (enc) {
    case BaseEncoding::e_standard: table = EncodingData::kStandard; break;
    case BaseEncoding::e_win_ansi: table = EncodingData::kWinAnsi; break;
    case BaseEncoding::e_mac_roman: table = EncodingData::kMacRoman; break;
    case BaseEncoding::e_symbol: table = EncodingData::kSymbol; break;
    case BaseEncoding::e_zapf_dingbats: table = EncodingData::kZapfDingbats; break;
    default: return {};
    }
    return table[code] ? std::string_view(table[code]) : std::string_view();
}

void SimpleEncoding::Set(unsigned code, std::string_view name)
{
    if (code > 255) return;
    m_names[code].assign(name);
    m_set.set(code);
}

void SimpleEncoding::ApplyDifferences(const SDF::Obj* differences)
{
    if (!differences || !differences->IsArray()) return;
    long code = -1;
    for (std::size_t i = 0, n = differences->Size(); i < n; ++i) {
        SDF::Obj* v = Deref(differences->GetAt(i));
        if (!v) continue;
        if (v->IsNumber()) {
            double d = v->GetNumber();
            code = std::isfinite(d) && d >= 0 && d < 256 ? static_cast<long>(d) : -1;
        } else if (v->IsName() && code >= 0 && code < 256) {
            Set(static_cast<unsigned>(code), v->GetName());
            ++code;
        }
    }
}

std::string_view SimpleEncoding::GlyphName(unsigned code) const
{
    if (code > 255) return {};
    if (m_set[code]) return m_names[code];
    return BaseGlyphName(m_base, code);
}

}  // namespace qvx::PDF
