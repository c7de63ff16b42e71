// Simple fonts: encodings, Widths and glyph lookup in the embedded program.
#include <cmath>

#include "pdf/Font.h"
#include "pdf/GlyphList.h"
#include "pdf/ObjUtil.h"
#include "pdf/Std14.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

void Font::ReadSimple()
{
    Obj* d = mp_dict->Resolve();
    ReadDescriptor(FindDict(d, "FontDescriptor"));
    if (!mp_file && m_kind != e_type3) m_std14 = Std14::Canonical(m_base_font);
    if (m_kind == e_type3) {
        ReadMatrix(FindIn(d, "FontMatrix"), m_matrix);
    }
    ReadSimpleEncoding();
    ReadSimpleWidths();
}

void Font::ReadSimpleEncoding()
{
    Obj* d = mp_dict->Resolve();
    mp_encoding = FindIn(d, "Encoding");
    // The default base: the program's own encoding for embedded Type 1 and symbolic
    // TrueType programs, the built-in encodings of Symbol and ZapfDingbats, else Standard.
    BaseEncoding base = BaseEncoding::e_standard;
    if (m_std14 == "Symbol") base = BaseEncoding::e_symbol;
    else if (m_std14 == "ZapfDingbats") base = BaseEncoding::e_zapf_dingbats;
    else if (mp_file && (m_kind == e_type1 || m_kind == e_mmtype1 || (m_kind == e_truetype && IsSymbolic()))) {
        base = BaseEncoding::e_font_specific;
    }
    if (mp_encoding && mp_encoding->IsName()) {
        BaseEncodingFromName(mp_encoding->GetName(), base);
        m_encoding = SimpleEncoding(base);
    } else if (mp_encoding && mp_encoding->IsDict()) {
        BaseEncodingFromName(FindName(mp_encoding, "BaseEncoding"), base);
        m_encoding = SimpleEncoding(base);
        m_encoding.ApplyDifferences(FindArray(mp_encoding, "Differences"));
    } else {
        m_encoding = SimpleEncoding(base);
    }
}

void Font::ReadSimpleWidths()
{
    Obj* d = mp_dict->Resolve();
    m_missing_width = FindNumber(mp_descriptor, "MissingWidth", 0);
    Obj* widths = FindArray(d, "Widths");
    double first = FindNumber(d, "FirstChar", 0);
    if (!widths || !std::isfinite(first) || first < 0 || first > 255) return;
    auto f = static_cast<std::size_t>(first);
    for (std::size_t i = 0, n = widths->Size(); i < n && f + i < 256; ++i) {
        Obj* w = Deref(widths->GetAt(i));
        if (!w || !w->IsNumber()) continue;
        double v = w->GetNumber();
        if (!std::isfinite(v)) continue;
        // Type 3 widths are in glyph space.
        m_widths[f + i] = m_kind == e_type3 ? v * m_matrix.a * 1000 : v;
        m_has_width.set(f + i);
    }
}

std::string_view Font::GlyphName(std::uint32_t code) const
{
    if (code > 255 || m_kind == e_type0) return {};
    std::string_view name = m_encoding.GlyphName(code);
    if (!name.empty() || m_encoding.GetBase() != BaseEncoding::e_font_specific) return name;
    // The program's own encoding (Type 1 and CFF).
    const FontProgram* p = GetProgram();
    if (!p || !p->HasGlyphNames()) return {};
    unsigned gid = p->GlyphByBuiltinCode(code);
    // A code the program's Encoding array leaves at .notdef draws .notdef; one whose name
    // the program lacks has no glyph at all.
    std::string name_of_code = gid ? p->GlyphName(gid) : p->BuiltinCodeName(code);
    if (name_of_code != ".notdef" && !gid) return {};
    auto& cache = const_cast<SimpleEncoding&>(m_encoding);
    cache.Set(code, name_of_code);
    return m_encoding.GlyphName(code);
}

long Font::SimpleGlyph(std::uint32_t code, GlyphLookup lookup) const
{
    const FontProgram* p = GetProgram();
    if (!p || code > 255) return 0;
    std::string_view name = GlyphName(code);
    if (m_kind == e_truetype) {
        bool has31 = false, has30 = false, has10 = false;
        int unicode = -1;  // encoding of a Unicode-platform table, which serves as (3,1) does
        for (const auto& t : p->CMapTables()) {
            has31 |= t.platform == 3 && t.encoding == 1;
            has30 |= t.platform == 3 && t.encoding == 0;
            has10 |= t.platform == 1 && t.encoding == 0;
            if (t.platform == 0 && unicode < 0 && lookup == e_as_viewers) unicode = t.encoding;
        }
        // A variant's name (a.sc, one.alt) says more than the character it stands for.
        if (!name.empty() && !GlyphList::IsListed(name) && p->HasGlyphNames()) {
            if (unsigned g = p->GlyphByName(name)) return g;
        }
        if (!IsSymbolic() && (has31 || unicode >= 0) && !name.empty()) {
            std::u32string u = GlyphList::ToUnicode(name);
            if (u.size() == 1) {
                if (unsigned g = has31 ? p->GlyphByCMap(3, 1, u[0]) : 0) return g;
                if (unsigned g = unicode >= 0 ? p->GlyphByCMap(0, unicode, u[0]) : 0) return g;
            }
        }
        if (has30) {
            for (unsigned base : {0u, 0xF000u, 0xF100u, 0xF200u}) {
                if (unsigned g = p->GlyphByCMap(3, 0, base + code)) return g;
            }
        }
        if (has10) {
            if (unsigned g = p->GlyphByCMap(1, 0, code)) return g;
        }
        if (!name.empty() && p->HasGlyphNames()) {
            if (unsigned g = p->GlyphByName(name)) return g;
        }
        // Symbolic fonts written with a Unicode table only: the code itself, as viewers take it.
        if (has31 && lookup == e_as_viewers) {
            for (unsigned base : {0u, 0xF000u}) {
                if (unsigned g = p->GlyphByCMap(3, 1, base + code)) return g;
            }
        }
        return 0;
    }
    // Type 1 and CFF programs: by glyph name, else by the program's own encoding.
    if (!name.empty() && p->HasGlyphNames()) {
        if (unsigned g = p->GlyphByName(name)) return g;
    }
    if (!name.empty() && !p->HasGlyphNames()) {
        std::u32string u = GlyphList::ToUnicode(name);
        if (u.size() == 1) return p->GlyphByCMap(3, 1, u[0]);
    }
    if (!m_encoding.IsDifference(code)) return p->GlyphByBuiltinCode(code);
    return 0;
}

}  // namespace qvx::PDF
