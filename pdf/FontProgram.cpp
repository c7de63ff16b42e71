#include "pdf/FontProgram.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_FONT_FORMATS_H
#include FT_CID_H
#include FT_TYPE1_TABLES_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include "common/Limits.h"
#include "pdf/CFFProgram.h"
#include "pdf/Type1Program.h"

namespace qvx::PDF {

namespace {

// One FreeType library for the process; faces are created and used under its lock, since
// FreeType's library object is not thread-safe for face creation.
struct Library {
    FT_Library lib = nullptr;
    std::mutex mutex;
    Library() { FT_Init_FreeType(&lib); }
    ~Library() { FT_Done_FreeType(lib); }
};

Library& Lib()
{
    static Library lib;
    return lib;
}

// The bytes of an SFNT table; empty when the program has none.
Common::Bytes SfntTable(FT_Face face, FT_ULong tag)
{
    FT_ULong size = 0;
    if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &size) != 0 || size == 0) return {};
    Common::Bytes out(size);
    if (FT_Load_Sfnt_Table(face, tag, 0, out.data(), &size) != 0) return {};
    return out;
}

std::size_t U16At(const Common::Bytes& b, std::size_t at) { return at + 2 <= b.size() ? std::size_t{b[at]} << 8 | b[at + 1] : 0; }

// Where each glyph's data begins in glyf, read from loca in the format head names; glyph g
// spans [Offset(g), Offset(g + 1)) for g + 1 < Entries().
struct LocaTable {
    const Common::Bytes& loca;
    bool long_offsets;
    std::size_t Entries() const { return loca.size() / (long_offsets ? 4 : 2); }
    std::size_t Offset(std::size_t g) const
    {
        return long_offsets ? U16At(loca, 4 * g) << 16 | U16At(loca, 4 * g + 2) : 2 * U16At(loca, 2 * g);
    }
};
constexpr std::size_t kHeadSize = 54, kLocaFormat = 50;

// Whether the data of a simple glyph, glyf[at, end), holds what its header announces: contour
// ends that rise, its instructions, a flag for each point (repeats included) and the
// coordinates the flags ask for. Such a glyph is one FreeType reads.
bool SimpleGlyphFits(const Common::Bytes& glyf, std::size_t at, std::size_t end, std::size_t contours)
{
    std::size_t p = at + 10 + 2 * contours;
    if (contours == 0 || p + 2 > end) return contours == 0;
    for (std::size_t c = 1; c < contours; ++c)
        if (static_cast<std::int16_t>(U16At(glyf, at + 10 + 2 * c)) <= static_cast<std::int16_t>(U16At(glyf, at + 8 + 2 * c)))
            return false;
    const std::size_t last = U16At(glyf, p - 2);
    if (last > 0x7FFF) return false;
    p += 2 + U16At(glyf, p);
    std::size_t coordinates = 0;
    for (std::size_t n = 0; n <= last;) {
        if (p >= end) return false;
        const unsigned flag = glyf[p++];
        std::size_t count = 1;
        if (flag & 8) {
            if (p >= end) return false;
            count += glyf[p++];
        }
        coordinates += count * (((flag & 2) ? 1 : (flag & 16) ? 0 : 2) + ((flag & 4) ? 1 : (flag & 32) ? 0 : 2));
        n += count;
        if (n > last + 1) return false;
    }
    return p + coordinates <= end;
}

// The glyph numbers a composite glyph's records name, or nullopt when its records, their
// arguments and transforms, and its instructions do not fit in glyf[at, end).
std::optional<std::vector<std::size_t>> Components(const Common::Bytes& glyf, std::size_t at, std::size_t end)
{
    constexpr unsigned kWords = 0x1, kScale = 0x8, kMore = 0x20, kXYScale = 0x40, kTwoByTwo = 0x80, kInstructions = 0x100;
    std::vector<std::size_t> out;
    std::size_t p = at + 10;
    unsigned flags = kMore;
    while (flags & kMore) {
        if (p + 4 > end) return std::nullopt;
        flags = static_cast<unsigned>(U16At(glyf, p));
        out.push_back(U16At(glyf, p + 2));
        p += 4 + ((flags & kWords) ? 4 : 2) + ((flags & kScale) ? 2 : (flags & kXYScale) ? 4 : (flags & kTwoByTwo) ? 8 : 0);
    }
    if (flags & kInstructions) p += 2 + U16At(glyf, p);
    if (p > end) return std::nullopt;
    return out;
}

// TrueType outlines need a full maxp (version 1.0), a head that says how loca is written,
// and glyphs that can be read: a composite glyph that draws itself, or a component past the
// end, leaves a reader without an outline. FreeType tolerates what other readers refuse.
// Loading every glyph through FreeType costs several times the rest of a check on a large
// font, so a glyph whose data plainly holds a simple outline, or components that are such
// glyphs (nesting a few levels at most), is only measured; any other is loaded.
bool TrueTypeIntact(FT_Face face)
{
    if (!FT_IS_SFNT(face)) return true;
    Common::Bytes glyf = SfntTable(face, TTAG_glyf);
    if (glyf.empty()) return true;
    Common::Bytes maxp = SfntTable(face, TTAG_maxp), head = SfntTable(face, TTAG_head), loca = SfntTable(face, TTAG_loca);
    constexpr std::size_t kMaxpSize = 32;
    if (maxp.size() < kMaxpSize || maxp[0] != 0 || maxp[1] != 1 || maxp[2] != 0 || maxp[3] != 0) return false;
    if (head.size() < kHeadSize || head[kLocaFormat] != 0 || head[kLocaFormat + 1] > 1) return false;
    const LocaTable table{loca, head[kLocaFormat + 1] == 1};
    const std::size_t count = static_cast<std::size_t>(face->num_glyphs);
    const std::size_t entries = table.Entries();
    enum : std::uint8_t { e_unknown, e_visiting, e_plain, e_doubtful };
    std::vector<std::uint8_t> state(count, e_unknown);
    auto plain = [&](auto& self, std::size_t g, unsigned depth) -> bool {
        if (g >= count || state[g] == e_visiting || depth > Common::Limits::kMaxGlyphNesting) return false;
        if (state[g] != e_unknown) return state[g] == e_plain;
        state[g] = e_visiting;
        bool ok = false;
        if (g + 1 < entries) {
            const std::size_t at = table.Offset(g), end = table.Offset(g + 1);
            if (at == end) {
                ok = end <= glyf.size();  // no outline
            } else if (at + 10 <= end && end <= glyf.size()) {
                const auto contours = static_cast<std::int16_t>(U16At(glyf, at));
                if (contours >= 0) {
                    ok = SimpleGlyphFits(glyf, at, end, static_cast<std::size_t>(contours));
                } else if (auto parts = Components(glyf, at, end)) {
                    ok = std::all_of(parts->begin(), parts->end(), [&](std::size_t c) { return self(self, c, depth + 1); });
                }
            }
        }
        state[g] = ok ? e_plain : e_doubtful;
        return ok;
    };
    for (std::size_t g = 0; g < count; ++g)
        if (!plain(plain, g, 0) && FT_Load_Glyph(face, static_cast<FT_UInt>(g), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0)
            return false;
    return true;
}

}  // namespace

struct FontProgram::Impl {
    Common::Bytes data;
    FT_Face face = nullptr;
    ~Impl()
    {
        if (face) {
            std::lock_guard<std::mutex> lock(Lib().mutex);
            FT_Done_Face(face);
        }
    }
};

Common::ByteView FontProgram::Data() const { return mp->data; }

std::unique_ptr<FontProgram> FontProgram::Open(Common::Bytes data)
{
    Library& lib = Lib();
    if (!lib.lib || data.empty()) return nullptr;
    std::unique_ptr<FontProgram> p(new FontProgram);
    p->mp = std::make_unique<Impl>();
    p->mp->data = std::move(data);
    std::lock_guard<std::mutex> lock(lib.mutex);
    if (FT_New_Memory_Face(lib.lib, p->mp->data.data(), static_cast<FT_Long>(p->mp->data.size()), 0, &p->mp->face) != 0) {
        p->mp->face = nullptr;
        return nullptr;
    }
    FT_Face f = p->mp->face;
    if (!TrueTypeIntact(f) || Type1Program::HasDamagedEntries(p->mp->data)) return nullptr;
    const char* format = FT_Get_Font_Format(f);
    if (!FT_IS_SFNT(f) && format && std::string_view(format) == "CFF" && !CFFProgram::IsIntact(p->mp->data)) return nullptr;
    for (int i = 0; i < f->num_charmaps; ++i) {
        // FreeType adds a Unicode charmap made from the glyph names to a TrueType program
        // without one; it is not a subtable of the program's cmap.
        if (FT_IS_SFNT(f) && FT_Get_CMap_Format(f->charmaps[i]) < 0) continue;
        p->m_cmaps.push_back({f->charmaps[i]->platform_id, f->charmaps[i]->encoding_id});
    }
    return p;
}

FontProgram::~FontProgram() = default;

std::string FontProgram::Format() const
{
    const char* s = FT_Get_Font_Format(mp->face);
    return s ? s : "";
}

int FontProgram::UnitsPerEm() const { return mp->face->units_per_EM; }

long FontProgram::GlyphCount() const { return mp->face->num_glyphs; }

bool FontProgram::HasGlyphNames() const { return FT_HAS_GLYPH_NAMES(mp->face); }

bool FontProgram::IsSFNT() const { return FT_IS_SFNT(mp->face); }

Common::Bytes FontProgram::SFNTTable(std::string_view tag) const
{
    if (tag.size() != 4 || !IsSFNT()) return {};
    return SfntTable(mp->face, FT_MAKE_TAG(tag[0], tag[1], tag[2], tag[3]));
}

bool FontProgram::HasGlyphTablesBeyondEnd() const
{
    const Common::ByteView d = Data();
    if (!IsSFNT() || d.size() < 12 || (d[0] == 't' && d[1] == 't' && d[2] == 'c' && d[3] == 'f')) return false;
    auto read = [&](std::size_t at, int n) {
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | d[at + static_cast<std::size_t>(i)];
        return v;
    };
    const std::uint64_t tables = read(4, 2);
    // Writers may leave out the padding after the last table: up to three bytes.
    constexpr std::uint64_t kPadding = 3;
    for (std::uint64_t i = 0; i < tables; ++i) {
        const std::size_t record = 12 + 16 * static_cast<std::size_t>(i);
        if (record + 16 > d.size()) return true;
        const std::string_view tag(reinterpret_cast<const char*>(d.data() + record), 4);
        const bool glyphs = tag == "glyf" || tag == "loca" || tag == "hmtx" || tag == "cmap" || tag == "CFF " || tag == "CFF2";
        if (glyphs && read(record + 8, 4) + read(record + 12, 4) > d.size() + kPadding) return true;
    }
    return false;
}

bool FontProgram::IsCIDKeyed() const
{
    FT_Bool cid = 0;
    return FT_Get_CID_Is_Internally_CID_Keyed(mp->face, &cid) == 0 && cid;
}

std::string FontProgram::GlyphName(unsigned gid) const
{
    if (!FT_HAS_GLYPH_NAMES(mp->face)) return {};
    char buf[256] = {};
    if (FT_Get_Glyph_Name(mp->face, gid, buf, sizeof buf) != 0) return {};
    return buf;
}

unsigned FontProgram::GlyphByName(std::string_view name) const
{
    std::string n(name);
    return FT_Get_Name_Index(mp->face, n.c_str());
}

long FontProgram::Advance(unsigned gid) const
{
    if (gid >= static_cast<unsigned>(mp->face->num_glyphs)) return -1;
    std::lock_guard<std::mutex> lock(Lib().mutex);
    if (FT_Load_Glyph(mp->face, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_IGNORE_TRANSFORM) != 0) return -1;
    return mp->face->glyph->metrics.horiAdvance;
}

std::optional<long> FontProgram::CharStringWidth(double thousandths) const
{
    // FreeType divides the font matrix by its yy, whose size gives the units per em, and
    // scales advances by what is left of xx.
    FT_Fixed xx = 0x10000;
    if (FT_Get_PS_Font_Value(mp->face, PS_DICT_FONT_MATRIX, 0, &xx, sizeof xx) <= 0 || xx == 0) xx = 0x10000;
    double units = std::round(thousandths * UnitsPerEm() / 1000.0 * 65536.0 / static_cast<double>(xx));
    if (!std::isfinite(units) || std::abs(units) > 32000) return std::nullopt;
    return static_cast<long>(units);
}

unsigned FontProgram::GlyphByCID(unsigned cid) const
{
    if (!IsCIDKeyed()) return cid;
    // FreeType indexes the glyphs of a CID-keyed CFF by CID.
    return cid < static_cast<unsigned>(mp->face->num_glyphs) ? cid : 0;
}

unsigned FontProgram::GlyphByCMap(int platform, int encoding, unsigned code) const
{
    FT_Face f = mp->face;
    for (int i = 0; i < f->num_charmaps; ++i) {
        if (f->charmaps[i]->platform_id == platform && f->charmaps[i]->encoding_id == encoding) {
            std::lock_guard<std::mutex> lock(Lib().mutex);
            if (FT_Set_Charmap(f, f->charmaps[i]) != 0) return 0;
            return FT_Get_Char_Index(f, code);
        }
    }
    return 0;
}

std::map<unsigned, char32_t> FontProgram::GlyphCharacters() const
{
    // The Windows Unicode subtables name characters; a Unicode-platform one stands in where
    // they are missing. FreeType's own Unicode charmap of a font without cmap (one it made
    // from glyph names) says no more than the names.
    std::map<unsigned, char32_t> out;
    if (!IsSFNT()) return out;
    FT_Face f = mp->face;
    for (int pass = 0; pass < 2 && out.empty(); ++pass) {
        for (int i = 0; i < f->num_charmaps; ++i) {
            const FT_CharMap m = f->charmaps[i];
            bool wanted = pass == 0 ? m->platform_id == 3 && (m->encoding_id == 1 || m->encoding_id == 10) : m->platform_id == 0;
            if (!wanted) continue;
            std::lock_guard<std::mutex> lock(Lib().mutex);
            if (FT_Set_Charmap(f, m) != 0) continue;
            FT_UInt gid = 0;
            for (FT_ULong ch = FT_Get_First_Char(f, &gid); gid != 0; ch = FT_Get_Next_Char(f, ch, &gid))
                if (ch <= 0x10FFFF) out.emplace(gid, static_cast<char32_t>(ch));
        }
    }
    return out;
}

unsigned FontProgram::GlyphByBuiltinCode(unsigned code) const
{
    FT_Face f = mp->face;
    for (int i = 0; i < f->num_charmaps; ++i) {
        FT_Encoding e = f->charmaps[i]->encoding;
        if (e == FT_ENCODING_ADOBE_CUSTOM || e == FT_ENCODING_ADOBE_STANDARD || e == FT_ENCODING_ADOBE_EXPERT) {
            std::lock_guard<std::mutex> lock(Lib().mutex);
            if (FT_Set_Charmap(f, f->charmaps[i]) != 0) return 0;
            return FT_Get_Char_Index(f, code);
        }
    }
    return 0;
}

std::vector<bool> FontProgram::GlyphsDrawnAlone() const
{
    FT_Face f = mp->face;
    std::vector<bool> out;
    if (!FT_IS_SFNT(f)) return out;
    std::lock_guard<std::mutex> lock(Lib().mutex);
    Common::Bytes head = SfntTable(f, TTAG_head), loca = SfntTable(f, TTAG_loca), glyf = SfntTable(f, TTAG_glyf);
    if (head.size() < kHeadSize || loca.empty() || glyf.empty()) return out;
    const LocaTable table{loca, head[kLocaFormat + 1] == 1};
    out.assign(static_cast<std::size_t>(f->num_glyphs), false);
    std::vector<std::size_t> parts;
    for (std::size_t g = 0; g < out.size() && g + 1 < table.Entries(); ++g) {
        const std::size_t at = table.Offset(g), end = table.Offset(g + 1);
        out[g] = end > at;
        if (end < at + 10 || end > glyf.size() || static_cast<std::int16_t>(U16At(glyf, at)) >= 0) continue;
        if (auto named = Components(glyf, at, end)) parts.insert(parts.end(), named->begin(), named->end());
    }
    for (std::size_t part : parts)
        if (part < out.size()) out[part] = false;
    return out;
}

std::string FontProgram::BuiltinCodeName(unsigned code) const
{
    FT_Face f = mp->face;
    if (code > 255) return {};
    std::lock_guard<std::mutex> lock(Lib().mutex);
    // Other programs answer with an error: only a Type 1 Encoding array has entries to read.
    T1_EncodingType type = T1_ENCODING_TYPE_NONE;
    if (FT_Get_PS_Font_Value(f, PS_DICT_ENCODING_TYPE, 0, &type, sizeof type) != static_cast<FT_Long>(sizeof type) ||
        type != T1_ENCODING_TYPE_ARRAY)
        return {};
    FT_Long size = FT_Get_PS_Font_Value(f, PS_DICT_ENCODING_ENTRY, code, nullptr, 0);
    if (size <= 1) return {};
    std::string name(static_cast<std::size_t>(size), '\0');
    if (FT_Get_PS_Font_Value(f, PS_DICT_ENCODING_ENTRY, code, name.data(), size) != size) return {};
    if (std::size_t end = name.find('\0'); end != std::string::npos) name.resize(end);
    return name;
}

}  // namespace qvx::PDF
