// Conversion repairs of embedded fonts that can be made from what the font already holds:
// a CIDSet or CharSet regenerated from the program, a ToUnicode CMap written from the
// glyph names and mappings the font has, and a Latin encoding whose names are those the
// codes showed.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "common/Exception.h"
#include "common/Limits.h"
#include "common/UString.h"
#include "pdf/CMap.h"
#include "pdf/Encoding.h"
#include "pdf/FontProgram.h"
#include "pdf/GlyphList.h"
#include "pdf/ObjUtil.h"
#include "pdf/ResourceCache.h"
#include "pdf/StreamData.h"
#include "pdf/SubstituteProgram.h"
#include "pdf/compliance/FontReplacement.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"

namespace qvx::PDF::FontRules {

using SDF::Obj;

namespace {

bool Usable(const std::u16string& text)
{
    if (text.empty()) return false;
    for (char16_t u : text)
        if (u == 0 || u == 0xFEFF || u == 0xFFFE) return false;
    return true;
}

// A glyph name made of one letter and a number (a73, g12).
bool IsNumberedName(std::string_view name)
{
    return name.size() > 1 && std::isalpha(static_cast<unsigned char>(name[0])) &&
           std::all_of(name.begin() + 1, name.end(), [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); });
}

// The text of a code whose glyph is named by that code's own number (a224 at 224, G065 at
// 65), as TeX's bitmap fonts name theirs: the name says nothing but the code, and readers
// take the code for a Latin-1 character. Only the codes where Latin-1 and TeX's text
// encodings agree on a letter, digit or sign are so read; the rest stay unmapped (the Cork
// encoding has OE and oe at D7 and F7, SS at DF and germandbls at FF).
std::optional<std::u16string> CodeNamedText(std::string_view name, unsigned code)
{
    unsigned number = 0;
    for (char ch : name.substr(1)) {
        number = number * 10 + static_cast<unsigned>(ch - '0');
        if (number > 0xFF) return std::nullopt;
    }
    const bool latin =
        (code >= 0x20 && code <= 0x7E) || (code >= 0xC0 && code != 0xD7 && code != 0xF7 && code != 0xDF && code != 0xFF);
    if (number != code || !latin) return std::nullopt;
    return std::u16string(1, static_cast<char16_t>(code));
}

// A composite font whose ToUnicode is the name Identity-H or Identity-V: readers take each
// two-byte code for its own Unicode value.
bool HasIdentityToUnicode(const Font& font)
{
    const Obj* t = FindIn(font.GetSDFObj(), "ToUnicode");
    return font.IsComposite() && t && t->IsName() && (t->GetName() == "Identity-H" || t->GetName() == "Identity-V");
}

// The text a code gets in a ToUnicode map written anew: its own usable mapping (unless that
// is private-use and its glyph's name stands for a public character), else the name its
// encoding gives it, else the character its glyph stands for in the program's Unicode cmap
// (private-use and control characters are no text).
std::optional<std::u16string> RepairedText(const Font& font, const Font::CharCode& c, const std::map<unsigned, char32_t>& chars)
{
    std::u16string text;
    // Names of the a1, a2... form are dingbats only in ZapfDingbats; Type 3 fonts (TeX's
    // bitmap fonts among them) number their glyphs so, and readers take such text by code.
    if (const std::string_view name = font.GlyphName(c.code); font.GetKind() == Font::e_type3 && !font.GetToUnicode() && IsNumberedName(name))
        return CodeNamedText(name, c.code);
    const bool own = CodeText(font, c, text) && Usable(text);
    if (own && !HasPrivateUse(text)) return text;
    // A private-use value (or none) gives way to the public character the glyph's name
    // stands for.
    if (std::u16string named = PublicTextOfName(font, c.code); !named.empty()) return named;
    if (own) return text;
    text.clear();
    if (font.IsSimple()) {
        for (char32_t cp : font.NameText(font.GlyphName(c.code))) Common::AppendUTF16(text, cp);
        // TeX's math fonts name glyphs the Adobe list does not know (circlecopyrt).
        if (char32_t cp = text.empty() ? GlyphList::TeXNameToUnicode(font.GlyphName(c.code)) : 0) Common::AppendUTF16(text, cp);
    }
    if (Usable(text)) return text;
    // A code the .notdef repair gave its own copy of .notdef shows the blank .notdef of a
    // Type 1 or CFF program: with an advance it is a gap in the text, which readers take as
    // a space; without one it is nothing, and no value can say so.
    if (font.IsSimple() && IsNotdefCopyName(font.GlyphName(c.code)))
        return font.GetWidth(c) > 0 ? std::optional<std::u16string>(u" ") : std::nullopt;
    long gid = font.GlyphId(c, Font::e_as_viewers);
    auto it = gid > 0 ? chars.find(static_cast<unsigned>(gid)) : chars.end();
    text.clear();
    if (it != chars.end() && it->second >= 0x20) {
        Common::AppendUTF16(text, it->second);
    } else if (HasIdentityToUnicode(font) && c.code >= 0x20 && c.code <= 0xFFFF && (c.code < 0xD800 || c.code > 0xDFFF)) {
        // What the program cannot say, the code says as readers read it.
        text = std::u16string(1, static_cast<char16_t>(c.code));
    }
    if (!Usable(text) || HasPrivateUse(text)) return std::nullopt;
    return text;
}

// Whether the CMap reads every code as two bytes, as Identity does: a map of two-byte codes
// then serves all the font's text.
bool ReadsTwoBytes(const CMap& cmap)
{
    if (cmap.IsIdentity()) return true;
    for (unsigned code = 0; code < 0x10000; ++code) {
        const Common::Byte bytes[2] = {static_cast<Common::Byte>(code >> 8), static_cast<Common::Byte>(code)};
        std::size_t pos = 0;
        if (cmap.Next(Common::ByteView(bytes, 2), pos).nbytes != 2) return false;
    }
    return true;
}

}  // namespace

void PutSystemInfo(Obj* holder, const CMap::SystemInfo& info)
{
    Obj* dict = holder->PutDict("CIDSystemInfo");
    dict->PutString("Registry", info.registry);
    dict->PutString("Ordering", info.ordering);
    dict->PutNumber("Supplement", std::max(0, info.supplement));
}

void RepairToUnicode(PassContext& ctx, const Font& font)
{
    // Composite fonts are written for CMaps of two-byte codes (Identity, or an embedded one
    // of the same shape, such as the one the .notdef repair writes), each code read as the
    // CID its CMap gives.
    const bool composite = font.IsComposite();
    const CMap* font_cmap = font.GetCMap();
    if (composite && !(font_cmap && ReadsTwoBytes(*font_cmap))) return;
    if (!ctx.caches.Get<ToUnicodeRebuilt>().insert(font.GetSDFObj()->Resolve()).second) return;
    const FontProgram* p = font.GetProgram();
    const std::map<unsigned, char32_t> chars = p ? p->GlyphCharacters() : std::map<unsigned, char32_t>{};
    std::map<unsigned, std::u16string> texts;
    const unsigned count = composite ? 0x10000 : 256;
    for (unsigned code = 0; code < count; ++code) {
        Font::CharCode c{code, static_cast<std::uint8_t>(composite ? 2 : 1), composite ? font_cmap->CID({code, 2}) : code};
        // A CID without a glyph shows nothing, whatever its collection says.
        if (composite && font.GlyphId(c) <= 0) continue;
        if (auto text = RepairedText(font, c, chars)) texts[code] = *text;
    }
    // A map that gave only values that are no text is written empty: it said nothing.
    if (texts.empty() && !font.GetToUnicodeObj()) return;
    std::string cmap = WriteToUnicodeCMap(texts, composite ? 2 : 1);
    FontReplace::PutStream(ctx, font.GetSDFObj()->Resolve(), "ToUnicode", Common::Bytes(cmap.begin(), cmap.end()));
}

namespace {

constexpr std::size_t kMaxArray = 8191;

// W, or a list in it, is longer than PDF/A-1 takes arrays.
bool HasLongArrays(Obj* w)
{
    if (!w) return false;
    bool longer = w->Size() > kMaxArray;
    for (std::size_t i = 0; i < w->Size() && !longer; ++i) {
        Obj* item = Deref(w->GetAt(i));
        longer = item && item->IsArray() && item->Size() > kMaxArray;
    }
    return longer;
}

void WriteWidthsShorter(const Font& font)
{
    constexpr std::size_t kListChunk = 8000, kLongRun = 64;
    constexpr std::uint32_t kMaxCIDs = 1u << 16;  // wider spans break the CID limit anyway
    Obj* w = FindArray(font.GetDescendant(), "W");
    if (!HasLongArrays(w)) return;
    // The width of every CID from the first W gives to the last, as the font reads them
    // (later entries over earlier ones, DW between them): the CIDs between entries are written
    // with DW, so that lists run on over them and W stays short.
    std::uint32_t lo = UINT32_MAX, hi = 0;
    for (const Font::WRange& r : font.GetWRanges()) lo = std::min(lo, r.first), hi = std::max(hi, r.last);
    if (lo > hi || hi - lo >= kMaxCIDs) return;
    std::vector<double> widths(hi - lo + 1);
    for (std::uint32_t cid = lo; cid <= hi; ++cid) widths[cid - lo] = font.GetWidth(Font::CharCode{cid, 2, cid});
    // Long runs of one width as "first last width", the rest in lists none longer than a
    // chunk: each run so written starts a new list, and W must stay short itself. Runs of 64
    // at least are fewer than 1,024 in the 65,536 CIDs a font has.
    while (w->Size()) w->EraseAt(w->Size() - 1);
    Obj* list = nullptr;
    for (std::size_t i = 0; i < widths.size();) {
        std::size_t end = i + 1;
        while (end < widths.size() && widths[end] == widths[i]) ++end;
        if (end - i >= kLongRun) {
            w->PushBackNumber(lo + i);
            w->PushBackNumber(lo + end - 1);
            w->PushBackNumber(widths[i]);
            list = nullptr;
            i = end;
            continue;
        }
        if (!list || list->Size() >= kListChunk) {
            w->PushBackNumber(lo + i);
            list = w->PushBackArray();
        }
        list->PushBackNumber(widths[i++]);
    }
}

}  // namespace

void RepairLongWidths(PassContext& ctx)
{
    if (ctx.Part() != 1) return;
    ForEachObject(ctx.doc, [&](Obj* obj) {
        if (!obj->IsDict() || FindName(obj, "Type") != "Font" || FindName(obj, "Subtype") != "Type0") return;
        Obj* descendants = FindArray(obj, "DescendantFonts");
        Obj* descendant = descendants && descendants->Size() > 0 ? Deref(descendants->GetAt(0)) : nullptr;
        if (!HasLongArrays(FindArray(descendant, "W"))) return;
        // Read anew: the widths as the file now has them, after every other repair.
        try {
            if (auto font = Font::Create(obj)) WriteWidthsShorter(*font);
        } catch (const Common::Exception&) {
            // A font that cannot be read keeps its widths as they are.
        }
    });
}

namespace {

// Where the font's encoding names a base encoding no reader knows: the entry that names it.
// Type 3 fonts need their Encoding dictionary and keep it.
Obj* UnknownBaseEncodingHolder(Obj* font)
{
    const std::string_view subtype = FindName(font, "Subtype");
    if (subtype != "Type1" && subtype != "MMType1" && subtype != "TrueType" && subtype != "Type3") return nullptr;
    Obj* enc = Deref(FindIn(font, "Encoding"));
    Obj* holder = enc && enc->IsDict() ? enc : subtype != "Type3" ? font : nullptr;
    Obj* name = enc && enc->IsDict() ? Deref(FindIn(enc, "BaseEncoding")) : enc;
    BaseEncoding base;
    return holder && name && name->IsName() && !BaseEncodingFromName(name->GetName(), base) ? holder : nullptr;
}

}  // namespace

void NoteUnknownBaseEncoding(PassContext& ctx, const Font& font)
{
    if (UnknownBaseEncodingHolder(font.GetSDFObj()->Resolve()))
        ctx.caches.Get<UnknownBaseEncodings>().insert(font.GetSDFObj()->Resolve());
}

void ForgetUnknownBaseEncodings(PassContext& ctx)
{
    const std::set<Obj*> fonts = std::move(ctx.caches.Get<UnknownBaseEncodings>());
    ctx.caches.Drop<UnknownBaseEncodings>();
    // Other repairs may have given the font a new encoding since.
    bool erased = false;
    for (Obj* font : fonts) {
        Obj* holder = UnknownBaseEncodingHolder(font);
        if (!holder) continue;
        holder->Erase(holder == font ? "Encoding" : "BaseEncoding");
        erased = true;
    }
    // The fonts read so far hold the names just erased.
    if (erased) ctx.caches.Drop<ResourceCache>();
}

void RepairCharSet(const Font& font, SubsetInfo& info)
{
    const FontProgram* p = font.GetProgram();
    Obj* descriptor = font.GetDescriptor();
    if (info.repaired || !p || !p->HasGlyphNames() || !descriptor) return;
    info.repaired = true;
    SubsetInfo::Names names;
    std::string charset;
    long n = std::min(p->GlyphCount(), Common::Limits::kMaxFontGlyphsScanned);
    for (long gid = 0; gid < n; ++gid) {
        std::string name = p->GlyphName(static_cast<unsigned>(gid));
        if (name.empty() || name == ".notdef" || !names.insert(name).second) continue;
        charset += "/" + name;
    }
    descriptor->Resolve()->PutString("CharSet", charset);
    info.charset = std::move(names);
}

void RepairCIDSet(PassContext& ctx, const Font& font, SubsetInfo& info)
{
    const FontProgram* p = font.GetProgram();
    Obj* descriptor = font.GetDescriptor();
    if (info.repaired || !p || !descriptor) return;
    info.repaired = true;
    // A CIDToGIDMap stream may send any CID to a glyph; elsewhere CIDs are glyph numbers.
    Obj* map = font.GetCIDToGIDMapObj();
    bool mapped = font.GetDescendantKind() == Font::e_cid_type2 && map && map->IsStream();
    long n = mapped ? Common::Limits::kMaxFontGlyphsScanned
                    : std::min(p->GlyphCount(), Common::Limits::kMaxFontGlyphsScanned);
    Common::Bytes bits((static_cast<std::size_t>(n) + 7) / 8, 0);
    bool keyed = font.GetDescendantKind() == Font::e_cid_type0 && p->IsCIDKeyed();
    Font::CharCode c;
    for (long cid = 0; cid < n; ++cid) {
        // A CID is present when it reaches a glyph; CID 0 is .notdef, always there.
        c.cid = static_cast<std::uint32_t>(cid);
        long gid = font.GlyphId(c);
        bool present = cid == 0 || (gid > 0 && (!keyed || p->Advance(static_cast<unsigned>(gid)) >= 0));
        if (present) bits[cid / 8] |= static_cast<Common::Byte>(0x80 >> (cid % 8));
    }
    while (bits.size() > 1 && bits.back() == 0) bits.pop_back();
    FontReplace::PutStream(ctx, descriptor->Resolve(), "CIDSet", bits);
    info.cidset = std::move(bits);
}

void RepairSingleCMap(PassContext& ctx, const Font& font, const std::set<unsigned>& shown)
{
    const FontProgram* p = font.GetProgram();
    Obj* descriptor = font.GetDescriptor();
    if (!p || !descriptor || font.GetEmbeddedKey() != "FontFile2") return;
    auto has = [&](int platform, int encoding) {
        for (const auto& t : p->CMapTables())
            if (t.platform == platform && t.encoding == encoding) return true;
        return false;
    };
    int platform = has(3, 0) ? 3 : has(1, 0) ? 1 : 0;
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!data) return;
    std::optional<Common::Bytes> fixed;
    if (platform == 0) {
        // No subtable symbolic codes are read through: a (3,0) one takes each code to the
        // glyph viewers find for it now.
        std::map<unsigned, unsigned> glyphs;
        for (unsigned code = 0; code < 256; ++code)
            if (long gid = font.GlyphId({code, 1, code}, Font::e_as_viewers); gid > 0) glyphs.emplace(code, static_cast<unsigned>(gid));
        fixed = SubstituteProgram::WithSymbolCMap(*data, glyphs);
    } else {
        // The subtable symbolic codes reach first is kept, when every code shown shows the
        // same glyph through it alone.
        for (unsigned code : shown) {
            long gid = font.GlyphId({code, 1, code});
            if (gid <= 0) continue;
            unsigned kept = 0;
            if (platform == 1) kept = p->GlyphByCMap(1, 0, code);
            for (unsigned base : {0u, 0xF000u, 0xF100u, 0xF200u})
                if (platform == 3 && !kept) kept = p->GlyphByCMap(3, 0, base + code);
            if (kept != static_cast<unsigned>(gid)) return;
        }
        fixed = SubstituteProgram::WithOneCMap(*data, platform, 0);
    }
    if (!fixed || !FontProgram::Open(*fixed)) return;
    PutTrueType(ctx, font, *fixed);
}

void RepairSystemInfo(const Font& font, const CMap::SystemInfo& cmap)
{
    // The collection tells readers how to take CIDs only where nothing else does: it may
    // become the CMap's when it names the same collection (with a later supplement), or when
    // the font embeds its program and maps its codes to Unicode.
    const CMap::SystemInfo& own = font.GetCIDSystemInfo();
    // An embedded CMap naming no collection (empty strings) only maps codes: it takes the
    // font's.
    if (cmap.registry.empty() || cmap.ordering.empty()) {
        Obj* enc = Deref(FindIn(font.GetSDFObj(), "Encoding"));
        if (enc && enc->IsStream() && !own.registry.empty() && !own.ordering.empty()) PutSystemInfo(enc, own);
        return;
    }
    bool same = own.registry == cmap.registry && own.ordering == cmap.ordering;
    bool self_contained = font.GetEmbeddedStream() && FindIn(font.GetSDFObj(), "ToUnicode");
    Obj* desc = font.GetDescendant();
    if (!desc || !(same || self_contained)) return;
    PutSystemInfo(desc->Resolve(), cmap);
}

void DescribeEmbeddedCMap(Obj* stream, const CMap& cmap)
{
    // Viewers read the program; readers that compare the stream's entries with it reject a
    // copy whose entries went their own way.
    if (!cmap.GetName().empty()) stream->PutName("CMapName", cmap.GetName());
    const CMap::SystemInfo& info = cmap.GetSystemInfo();
    if (!info.registry.empty() && !info.ordering.empty()) PutSystemInfo(stream, info);
    if (FindNumber(stream, "WMode", 0) != cmap.GetWMode()) stream->PutNumber("WMode", cmap.GetWMode());
}

void CompleteDescriptor(const Font& font)
{
    Obj* desc = font.GetDescriptor();
    if (!desc || font.GetKind() == Font::e_type3) return;
    desc = desc->Resolve();
    if (FindName(desc, "Type") != "FontDescriptor") desc->PutName("Type", "FontDescriptor");
    // The metrics are hints for readers that draw without the program; the embedded program
    // draws the glyphs, so values taken from the font box (or 0, unknown) change nothing.
    Obj* box = FindArray(desc, "FontBBox");
    double top = NumberAt(box, 3, 0), bottom = NumberAt(box, 1, 0);
    auto fill = [&](std::string_view key, double value) {
        Obj* v = FindIn(desc, key);
        if (!v || !v->IsNumber()) desc->PutNumber(key, value);
    };
    fill("ItalicAngle", 0);
    fill("Ascent", top);
    fill("Descent", bottom);
    fill("CapHeight", FindNumber(desc, "Ascent", top));
    fill("StemV", 0);
    // FontName is a required entry; the name the font dictionary gives its program is the one.
    Obj* name = FindIn(desc, "FontName");
    std::string_view base = FindName(font.IsComposite() ? font.GetDescendant() : font.GetSDFObj(), "BaseFont");
    if ((!name || !name->IsName()) && !base.empty()) desc->PutName("FontName", base);
}

bool RepairLatinEncoding(const Font& font)
{
    std::set<unsigned> codes;
    for (unsigned code = 0; code < 256; ++code)
        if (!font.GlyphName(code).empty()) codes.insert(code);
    return FontReplace::PutLatinEncoding(font.GetSDFObj()->Resolve(), font, codes);
}

bool SymbolOutlinesFit(const Font& font)
{
    // Readers take the glyphs of CFF outlines by name whatever the cmap says: only glyf
    // programs in FontFile2 are drawn through the new cmap.
    const FontProgram* p = font.GetProgram();
    return font.GetEmbeddedKey() == "FontFile2" && p && p->Format() == "TrueType" && font.GetDescriptor();
}

bool SymbolCMapFits(const Font& font) { return SymbolOutlinesFit(font) && FindStream(font.GetSDFObj(), "ToUnicode"); }

void RepairSymbolCMap(PassContext& ctx, const Font& font, const std::set<unsigned>& shown)
{
    if (!SymbolOutlinesFit(font)) return;
    // Without the Encoding readers take text from ToUnicode alone: it must map every code.
    // A map that lacks a code shown (a space, often), or a missing map, is first written
    // anew, with the text the encoding's names give the codes it lacked.
    auto maps_shown = [&](const Font& f) {
        const CMap* to_unicode = f.GetToUnicode();
        std::u16string text;
        return to_unicode && std::all_of(shown.begin(), shown.end(), [&](unsigned code) { return to_unicode->ToUnicode(code, text); });
    };
    if (!maps_shown(font)) {
        RepairToUnicode(ctx, font);
        if (!maps_shown(*Font::Create(font.GetSDFObj()))) return;
    }
    std::map<unsigned, unsigned> glyphs;
    for (unsigned code : shown) {
        long gid = font.GlyphId({code, 1, code});
        if (gid > 0 && code < 256) glyphs.emplace(code, static_cast<unsigned>(gid));
    }
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!data) return;
    auto fixed = SubstituteProgram::WithSymbolCMap(*data, glyphs);
    if (!fixed || !FontProgram::Open(*fixed)) return;
    // A descriptor other fonts share stays as they read it: this font takes its own copy,
    // holding the new program.
    Obj* dict = font.GetSDFObj()->Resolve();
    Obj* descriptor = font.GetDescriptor()->Resolve();
    if (FontReplace::IsShared(ctx, dict->FindObj("FontDescriptor"))) {
        Obj* own = ctx.doc.CreateIndirectDict();
        for (auto it = descriptor->DictBegin(); it != descriptor->DictEnd(); ++it)
            if (it.KeyText() != "FontFile2") own->Put(it.KeyText(), it.Value());
        dict->Put("FontDescriptor", own);
        descriptor = own;
    }
    PutTrueType(ctx, font, *fixed, descriptor);
    int flags = static_cast<int>(FindNumber(descriptor, "Flags", 0));
    descriptor->PutNumber("Flags", (flags & ~Font::e_nonsymbolic) | Font::e_symbolic);
    dict->Erase("Encoding");
}

void RepairUnicodeCMap(PassContext& ctx, const Font& font, const std::set<unsigned>& shown)
{
    const FontProgram* p = font.GetProgram();
    Obj* descriptor = font.GetDescriptor();
    if (!p || !descriptor || font.GetEmbeddedKey() != "FontFile2" || p->Format() != "TrueType") return;
    // Readers take a code to its glyph name, the name to its character and the character
    // through the (3,1) subtable: each code keeps the glyph it showed. A name outside the
    // glyph list is still found by name; two codes whose characters collide on different
    // glyphs cannot both keep theirs, so a code shown that would lose its glyph leaves the
    // program as it was.
    std::map<char32_t, unsigned> glyphs;
    for (unsigned code = 0; code < 256; ++code) {
        long gid = font.GlyphId({code, 1, code}, Font::e_as_viewers);
        std::string_view name = font.GlyphName(code);
        if (gid <= 0 || !GlyphList::IsListed(name)) continue;
        std::u32string u = GlyphList::ToUnicode(name);
        bool kept = u.size() == 1 && u[0] < 0xFFFF && glyphs.emplace(u[0], static_cast<unsigned>(gid)).first->second == static_cast<unsigned>(gid);
        if (!kept && shown.count(code)) return;
    }
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!data) return;
    auto fixed = SubstituteProgram::WithUnicodeCMap(*data, glyphs);
    if (!fixed || !FontProgram::Open(*fixed)) return;
    PutTrueType(ctx, font, *fixed);
}

namespace {

// A Type 3 font's Encoding made a dictionary of Differences alone that name, besides the
// codes they named, each code shown by the name readers took it by (from a base encoding,
// too); a shared encoding object stays as the other fonts use it.
void NameType3Codes(const Font& font, Obj* dict, const std::map<std::uint32_t, Font::CharCode>& codes)
{
    std::map<unsigned, std::string_view> names;
    for (const auto& [code, c] : codes)
        if (code < 256 && !font.GetEncoding().IsDifference(code) && !font.GlyphName(code).empty()) names.emplace(code, font.GlyphName(code));
    if (names.empty()) return;
    for (unsigned code = 0; code < 256; ++code)
        if (font.GetEncoding().IsDifference(code) && !font.GlyphName(code).empty()) names.emplace(code, font.GlyphName(code));
    Obj* enc = dict->PutDict("Encoding");
    enc->PutName("Type", "Encoding");
    Obj* diffs = enc->PutArray("Differences");
    unsigned next = 256;
    for (const auto& [code, name] : names) {
        if (code != next) diffs->PushBackNumber(code);
        diffs->PushBackName(name);
        next = code + 1;
    }
}

}  // namespace

bool Type3CodeNamed(const Font& font, std::uint32_t code)
{
    if (font.GetEncoding().IsDifference(code)) return true;
    Obj* enc = Deref(FindIn(font.GetSDFObj(), "Encoding"));
    bool base = enc && (enc->IsName() || FindIn(enc, "BaseEncoding"));
    return base && !font.GlyphName(code).empty();
}

void RepairType3Procedures(PassContext& ctx, const Font& font, const std::map<std::uint32_t, Font::CharCode>& codes)
{
    Obj* dict = font.GetSDFObj()->Resolve();
    NameType3Codes(font, dict, codes);
    Obj* procs = FindDict(dict, "CharProcs");
    Obj* widths = FindArray(dict, "Widths");
    if (!procs || !widths) return;
    double first = FindNumber(dict, "FirstChar", 0);
    for (const auto& [code, c] : codes) {
        if (code > 255) continue;
        // A code without a name stays so: readers take text from the name, and one made up
        // would show as text where there was none.
        std::string name(font.GlyphName(code));
        if (name.empty() || FindStream(procs, name)) continue;
        // Widths of a Type 3 font are in glyph space, as d0 wants them.
        double w = NumberAt(widths, static_cast<std::size_t>(std::max(0.0, code - first)), 0);
        if (code < first || !std::isfinite(w) || std::abs(w) > 1e7) w = 0;
        char content[48];
        std::snprintf(content, sizeof content, "%.3f 0 d0", w);
        procs->Put(name, ctx.doc.CreateIndirectStream(Common::ToBytes(content)));
    }
}

}  // namespace qvx::PDF::FontRules
