#include "pdf/Font.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>

#include "common/Limits.h"
#include "common/UString.h"
#include "pdf/GlyphList.h"
#include "pdf/ObjUtil.h"
#include "pdf/Std14.h"
#include "pdf/StreamData.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Embedded font programs larger than this are not opened.
constexpr std::uint64_t kMaxProgramBytes = 64ull << 20;

// Programs opened on this thread, by their bytes: the fonts that embed one program (a font
// dictionary per page all holding one stream, or one subset embedded again and again) share
// one opening, which FreeType and the damage checks make once. Few and small enough to keep
// between documents without a lock (a batch runs one such list per worker); bytes that do
// not open are not kept.
std::shared_ptr<const FontProgram> OpenShared(Common::Bytes data)
{
    constexpr std::size_t kEntries = 8, kMaxEntryBytes = 4u << 20, kMaxKeptBytes = 8u << 20;
    struct Entry {
        std::size_t hash;
        std::shared_ptr<const FontProgram> program;
    };
    thread_local std::deque<Entry> recent;
    thread_local std::size_t kept_bytes = 0;
    if (data.size() > kMaxEntryBytes) return FontProgram::Open(std::move(data));
    const std::size_t hash = std::hash<std::string_view>{}(Common::AsChars(data));
    for (const Entry& e : recent) {
        Common::ByteView kept = e.program->Data();
        if (e.hash == hash && kept.size() == data.size() && std::memcmp(kept.data(), data.data(), data.size()) == 0)
            return e.program;
    }
    std::shared_ptr<const FontProgram> opened = FontProgram::Open(std::move(data));
    if (!opened) return nullptr;
    recent.push_front({hash, opened});
    kept_bytes += opened->Data().size();
    while (recent.size() > kEntries || kept_bytes > kMaxKeptBytes) {
        kept_bytes -= recent.back().program->Data().size();
        recent.pop_back();
    }
    return opened;
}

Font::Kind KindOf(std::string_view subtype)
{
    if (subtype == "Type1") return Font::e_type1;
    if (subtype == "MMType1") return Font::e_mmtype1;
    if (subtype == "TrueType") return Font::e_truetype;
    if (subtype == "Type3") return Font::e_type3;
    if (subtype == "Type0") return Font::e_type0;
    if (subtype == "CIDFontType0") return Font::e_cid_type0;
    if (subtype == "CIDFontType2") return Font::e_cid_type2;
    return Font::e_unknown;
}

// The ITC Zapf Dingbats glyph names: a1, a2... TeX's bitmap fonts name their glyphs the
// same way after their codes, so the names stand for dingbats only in a dingbats font.
bool IsDingbatName(std::string_view name)
{
    return name.size() >= 2 && name.size() <= 4 && name[0] == 'a' &&
           name.find_first_not_of("0123456789", 1) == std::string_view::npos;
}

}  // namespace

bool Font::IsDingbatsFont() const
{
    if (m_std14 == "ZapfDingbats" || m_encoding.GetBase() == BaseEncoding::e_zapf_dingbats) return true;
    std::string_view name = m_base_font;
    if (std::size_t plus = name.find('+'); plus != std::string_view::npos) name.remove_prefix(plus + 1);
    return name.find("Dingbat") != std::string_view::npos || name.starts_with("D050000L");
}

std::u32string Font::NameText(std::string_view name) const
{
    if (IsDingbatName(name) && !IsDingbatsFont()) return {};
    return GlyphList::ToUnicode(name);
}

std::shared_ptr<Font> Font::Create(Obj* dict)
{
    std::shared_ptr<Font> f(new Font);
    Obj* d = Deref(dict);
    if (!d || !d->IsDict()) return f;
    f->mp_dict = dict;
    f->m_subtype = std::string(FindName(d, "Subtype"));
    f->m_kind = KindOf(f->m_subtype);
    f->m_base_font = std::string(FindName(d, "BaseFont"));
    // Shown strings decode even when the dictionary is broken: without a known Subtype a
    // font with DescendantFonts is composite, any other simple.
    if (f->m_kind == e_unknown || f->m_kind == e_cid_type0 || f->m_kind == e_cid_type2) {
        f->m_kind = FindArray(d, "DescendantFonts") ? e_type0 : e_unknown;
    }
    if (Obj* tu = FindStream(d, "ToUnicode")) {
        f->mp_to_unicode_obj = tu;
        f->mp_to_unicode = CMap::FromObj(tu);
    }
    if (f->m_kind == e_type0) f->ReadComposite();
    else f->ReadSimple();
    return f;
}

void Font::ReadDescriptor(Obj* descriptor)
{
    mp_descriptor = descriptor;
    if (!descriptor) return;
    m_flags = FindFlags(descriptor, "Flags");
    for (const char* key : {"FontFile", "FontFile2", "FontFile3"}) {
        if (Obj* s = FindStream(descriptor, key)) {
            mp_file = s;
            m_file_key = key;
            m_file_subtype = std::string(FindName(s, "Subtype"));
            break;
        }
    }
}

bool Font::IsSubset() const
{
    auto tagged = [](std::string_view name) { return Std14::Untagged(name).size() != name.size(); };
    return tagged(m_base_font) || tagged(FindName(mp_descriptor, "FontName"));
}

const FontProgram* Font::GetProgram() const
{
    if (!m_program_tried) {
        m_program_tried = true;
        if (mp_file) {
            if (auto data = ReadDecoded(mp_file, kMaxProgramBytes)) mp_program = OpenShared(std::move(*data));
        }
    }
    return mp_program.get();
}

bool Font::IsProgramDamaged() const { return mp_file && !GetProgram(); }

void Font::Decode(Common::ByteView s, std::vector<CharCode>& out) const
{
    out.clear();
    if (m_kind != e_type0) {
        out.reserve(s.size());
        for (Common::Byte b : s) out.push_back({b, 1, b});
        return;
    }
    std::size_t pos = 0;
    while (pos < s.size()) {
        CharCode c;
        if (mp_cmap) {
            CMap::Code code = mp_cmap->Next(s, pos);
            c = {code.code, static_cast<std::uint8_t>(code.nbytes), mp_cmap->CID(code)};
        } else {
            // No usable CMap: read two-byte codes as Identity-H does.
            std::uint32_t v = s[pos++];
            std::uint8_t n = 1;
            if (pos < s.size()) {
                v = (v << 8) | s[pos++];
                n = 2;
            }
            c = {v, n, v};
        }
        out.push_back(c);
    }
}

bool Font::ToUnicode(const CharCode& c, std::u16string& out) const
{
    out.clear();
    if (mp_to_unicode && mp_to_unicode->ToUnicode(c.code, out)) return true;
    if (m_kind != e_type0) {
        if (c.code > 255) return false;
        if (!m_uni_done[c.code]) {
            m_uni_done.set(c.code);
            std::string_view name = GlyphName(c.code);
            for (char32_t cp : NameText(name)) Common::AppendUTF16(m_uni[c.code], cp);
            m_uni_ok[c.code] = !m_uni[c.code].empty();
        }
        out = m_uni[c.code];
        return m_uni_ok[c.code];
    }
    if (mp_collection) {
        if (char32_t cp = mp_collection->Map(c.cid)) {
            Common::AppendUTF16(out, cp);
            return true;
        }
    }
    return false;
}

long Font::GlyphId(const CharCode& c, GlyphLookup lookup) const
{
    if (!GetProgram()) return -1;
    return m_kind == e_type0 ? CompositeGlyph(c.cid) : SimpleGlyph(c.code, lookup);
}

double Font::GetWidth(const CharCode& c) const
{
    if (m_kind != e_type0) {
        if (c.code > 255) return m_missing_width;
        if (m_has_width[c.code]) return m_widths[c.code];
        if (!m_width_done[c.code]) {
            m_width_done.set(c.code);
            m_resolved_width[c.code] = m_missing_width;
            // A Widths array with a MissingWidth covers every code itself; otherwise the
            // standard font's metrics, by the code's name, else by the name the base
            // encoding gives it (a .notdef laid over the space keeps the space's width).
            bool covered = m_has_width.any() && FindIn(mp_descriptor, "MissingWidth");
            if (!m_std14.empty() && !covered) {
                auto w = Std14::Width(m_std14, GlyphName(c.code));
                if (!w) w = Std14::Width(m_std14, BaseGlyphName(m_encoding.GetBase(), c.code));
                if (w) m_resolved_width[c.code] = *w;
            }
        }
        return m_resolved_width[c.code];
    }
    auto it = std::upper_bound(m_w.begin(), m_w.end(), c.cid, [](std::uint32_t v, const WRange& r) { return v < r.first; });
    if (it != m_w.begin() && c.cid <= std::prev(it)->last) return std::prev(it)->width;
    return m_dw;
}

bool Font::HasExplicitWidth(const CharCode& c) const
{
    if (m_kind != e_type0) return c.code < 256 && m_has_width[c.code];
    auto it = std::upper_bound(m_w.begin(), m_w.end(), c.cid, [](std::uint32_t v, const WRange& r) { return v < r.first; });
    return it != m_w.begin() && c.cid <= std::prev(it)->last;
}

Obj* Font::GetCharProc(std::uint32_t code) const
{
    if (m_kind != e_type3) return nullptr;
    std::string_view name = GlyphName(code);
    if (name.empty()) return nullptr;
    return FindStream(FindDict(mp_dict, "CharProcs"), name);
}

Obj* Font::GetType3Resources() const { return FindDict(mp_dict, "Resources"); }

}  // namespace qvx::PDF
