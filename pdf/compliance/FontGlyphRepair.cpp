// Conversion: codes shown that reach no glyph of the embedded program, or that reach
// .notdef, are given a glyph of their own that draws what readers drew for them, at the
// code's width: a copy of .notdef in a Type 1 or CFF program (bare or OpenType), under the
// name the encoding gives the code (a new one when it gives none); in a simple TrueType font
// the glyph its symbolic Unicode cmap gives the code, else an empty glyph, reached through a
// (3,0) cmap; in a CIDFontType2 a copy of glyph 0 reached through CIDToGIDMap; in a CID-keyed
// CFF program an empty glyph under the CID, as readers draw nothing for a CID it lacks. A
// code of CID 0 through Identity moves to a CID of its own that draws what CID 0 drew.
#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "common/Limits.h"
#include "pdf/CFFProgram.h"
#include "pdf/FontProgram.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/SubstituteProgram.h"
#include "pdf/Type1Program.h"
#include "pdf/compliance/FontReplacement.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"

namespace qvx::PDF::FontRules {

using SDF::Obj;

namespace {

using Codes = std::vector<Font::CharCode>;

constexpr std::string_view kNotdefCopyPrefix = "notdef.c";

bool IsFontFile3(const Font& font, std::string_view subtype)
{
    return font.GetEmbeddedKey() == "FontFile3" && font.GetEmbeddedSubtype() == subtype;
}

// Each copy's glyph opens with the advance it was given, in thousandths of an em.
bool CopiesAgree(const FontProgram& p, const std::vector<std::pair<unsigned, double>>& glyphs)
{
    for (const auto& [gid, width] : glyphs) {
        long advance = p.Advance(gid);
        if (gid == 0 || advance < 0 || std::fabs(advance * 1000.0 / p.UnitsPerEm() - width) > 1.0) return false;
    }
    return true;
}

// A CFF program, bare (FontFile3 Type1C) or in OpenType, with the copies of .notdef under
// their names.
std::optional<Common::Bytes> CFFWithCopies(const Common::Bytes& data, bool sfnt, const Type1Program::Copies& copies,
                                           const std::map<std::string, double>& widths)
{
    std::vector<CFFProgram::Copy> add;
    for (const auto& [name, copy] : copies) add.push_back({0, static_cast<double>(copy.advance), name, 0});
    auto fixed = sfnt ? SubstituteProgram::WithCFFGlyphCopies(data, add) : CFFProgram::WithGlyphCopies(data, add);
    auto opened = fixed ? FontProgram::Open(*fixed) : nullptr;
    if (!opened) return std::nullopt;
    std::vector<std::pair<unsigned, double>> glyphs;
    for (const auto& [name, width] : widths) glyphs.emplace_back(opened->GlyphByName(name), width);
    if (!CopiesAgree(*opened, glyphs)) return std::nullopt;
    return fixed;
}

bool RepairType1(PassContext& ctx, const Font& font, const Codes& codes)
{
    const FontProgram* p = font.GetProgram();
    bool sfnt = IsFontFile3(font, "OpenType") && p && p->Format() == "CFF";
    bool cff = IsFontFile3(font, "Type1C") || sfnt;
    if ((font.GetEmbeddedKey() != "FontFile" && !cff) || !p || !p->HasGlyphNames() || p->UnitsPerEm() <= 0) return false;
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!data) return false;
    std::string notdef = p->GlyphName(0);
    std::map<std::string, double> widths;
    Type1Program::Copies copies;
    std::map<unsigned, std::string> names;
    for (const Font::CharCode& c : codes) {
        // A name the program lacks is added as it is; a code without a name, or naming
        // .notdef, gets one of its own.
        std::string name(font.GlyphName(c.code));
        if (name.empty() || name == ".notdef") {
            name = NotdefCopyName(c.code);
            names.emplace(c.code, name);
        }
        std::optional<long> units = p->CharStringWidth(font.GetWidth(c));
        if (!units) return false;
        copies.emplace(name, Type1Program::Copy{notdef, *units});
        widths.emplace(name, font.GetWidth(c));
    }
    Obj* descriptor = font.GetDescriptor()->Resolve();
    if (cff) {
        auto fixed = CFFWithCopies(*data, sfnt, copies, widths);
        if (!fixed) return false;
        FontReplace::PutStream(ctx, descriptor, "FontFile3", *fixed)->PutName("Subtype", sfnt ? "OpenType" : "Type1C");
    } else {
        auto fixed = Type1Program::WithAdvances(*data, {}, copies);
        if (!fixed || !FontProgram::Open(fixed->data)) return false;
        FontReplace::PutType1Lengths(FontReplace::PutStream(ctx, descriptor, "FontFile", fixed->data), fixed->lengths);
    }
    if (!names.empty()) PutDifferences(font.GetSDFObj()->Resolve(), names);
    // A subset's CharSet lists every glyph of the program.
    if (Obj* charset = Deref(FindIn(descriptor, "CharSet")); charset && charset->IsString()) {
        std::string list(Common::AsChars(charset->GetBuffer()));
        for (const auto& [name, copy] : copies) list += "/" + name;
        descriptor->PutString("CharSet", list);
    }
    return true;
}

// The glyph readers draw for a code of a simple TrueType font that reaches none: a symbolic
// font whose cmap has only Unicode subtables is read by code through them, one whose symbol
// subtables miss the code shows .notdef; a non-symbolic font's .notdef is left out.
std::optional<unsigned> DrawnTrueTypeGlyph(const Font& font, const FontProgram& p, std::uint32_t code)
{
    if (!font.IsSymbolic()) return std::nullopt;
    bool symbol_table = false;
    for (const auto& t : p.CMapTables()) symbol_table |= (t.platform == 3 && t.encoding == 0) || t.platform == 1;
    return symbol_table ? 0 : p.GlyphByCMap(3, 1, code);
}

std::optional<Common::Bytes> AppendCopies(const Font& font, const std::vector<SubstituteProgram::GlyphCopy>& copies)
{
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!data) return std::nullopt;
    return SubstituteProgram::WithGlyphCopies(*data, copies);
}

// The CIDs now reach glyphs: a CIDSet lists them.
void AddToCIDSet(PassContext& ctx, const Font& font, const std::set<std::uint32_t>& cids)
{
    Obj* descriptor = font.GetDescriptor()->Resolve();
    Obj* cidset = FindStream(descriptor, "CIDSet");
    if (!cidset || cids.empty()) return;
    std::size_t bytes = (*cids.rbegin() + 8) / 8;
    auto bits = ReadDecoded(cidset, 0x10000 / 8);
    if (!bits) return;
    if (bits->size() < bytes) bits->resize(bytes, 0);
    for (std::uint32_t cid : cids) (*bits)[cid / 8] |= static_cast<Common::Byte>(0x80 >> (cid % 8));
    FontReplace::PutStream(ctx, descriptor, "CIDSet", *bits);
}

bool RepairTrueType(PassContext& ctx, const Font& font, const Codes& codes)
{
    const FontProgram* p = font.GetProgram();
    if (!p || p->Format() != "TrueType" || font.GetEmbeddedKey() != "FontFile2") return false;
    // Without Encoding the codes' text comes from ToUnicode alone: one is written first
    // from the names the codes have. A symbolic font that has no Encoding already has its
    // text read by code, which the new cmap keeps (gs subsets whose space has no glyph).
    if (!FindStream(font.GetSDFObj(), "ToUnicode")) RepairToUnicode(ctx, font);
    bool read_by_code = font.IsSymbolic() && !FindIn(font.GetSDFObj(), "Encoding");
    if (!SymbolCMapFits(font) && !read_by_code) return false;
    std::map<unsigned, unsigned> glyphs;
    for (unsigned code = 0; code < 256; ++code) {
        long gid = font.GlyphId({code, 1, code});
        if (gid > 0) glyphs.emplace(code, static_cast<unsigned>(gid));
    }
    std::vector<SubstituteProgram::GlyphCopy> copies;
    auto next = static_cast<unsigned>(p->GlyphCount());
    for (const Font::CharCode& c : codes) {
        copies.push_back({DrawnTrueTypeGlyph(font, *p, c.code), font.GetWidth(c)});
        glyphs[c.code] = next++;
    }
    auto grown = AppendCopies(font, copies);
    if (!grown) return false;
    auto fixed = SubstituteProgram::WithSymbolCMap(*grown, glyphs);
    if (!fixed || !FontProgram::Open(*fixed)) return false;
    PutTrueType(ctx, font, *fixed);
    Obj* descriptor = font.GetDescriptor()->Resolve();
    int flags = static_cast<int>(FindNumber(descriptor, "Flags", 0));
    descriptor->PutNumber("Flags", (flags & ~Font::e_nonsymbolic) | Font::e_symbolic);
    font.GetSDFObj()->Resolve()->Erase("Encoding");
    return true;
}

// A CID of a composite font to be given a glyph: a copy of source, or one without outline.
struct CIDGlyph {
    std::uint32_t cid;
    double width;
    std::optional<unsigned> source;
};

bool RepairCIDFontType2(PassContext& ctx, const Font& font, const std::vector<CIDGlyph>& needs)
{
    const FontProgram* p = font.GetProgram();
    Obj* desc = font.GetDescendant();
    if (!p || !desc || p->Format() != "TrueType" || font.GetEmbeddedKey() != "FontFile2") return false;
    std::vector<SubstituteProgram::GlyphCopy> copies;
    std::map<std::uint32_t, unsigned> glyphs;
    auto next = static_cast<unsigned>(p->GlyphCount());
    for (const CIDGlyph& n : needs) {
        // Readers draw glyph 0 for a CID the map sends nowhere.
        copies.push_back({n.source.value_or(0), n.width});
        glyphs.emplace(n.cid, next++);
    }
    auto fixed = AppendCopies(font, copies);
    if (!fixed || !FontProgram::Open(*fixed)) return false;
    // The map as it was (Identity where there was none), with the new entries.
    std::size_t cids = glyphs.rbegin()->first + 1;
    Common::Bytes map;
    Obj* old = font.GetCIDToGIDMapObj();
    if (old && old->IsStream()) {
        auto read = ReadDecoded(old, 2ull * 0x10000);
        if (!read) return false;
        map = std::move(*read);
        map.resize(map.size() & ~std::size_t{1});
    } else {
        for (std::size_t cid = 0; cid < std::min<std::size_t>(static_cast<std::size_t>(p->GlyphCount()), 0x10000); ++cid) {
            map.push_back(static_cast<Common::Byte>(cid >> 8));
            map.push_back(static_cast<Common::Byte>(cid));
        }
    }
    if (map.size() < 2 * cids) map.resize(2 * cids, 0);
    for (const auto& [cid, gid] : glyphs) {
        map[2 * cid] = static_cast<Common::Byte>(gid >> 8);
        map[2 * cid + 1] = static_cast<Common::Byte>(gid);
    }
    PutTrueType(ctx, font, *fixed);
    FontReplace::PutStream(ctx, desc->Resolve(), "CIDToGIDMap", map);
    return true;
}

bool RepairCIDFontType0(PassContext& ctx, const Font& font, const std::vector<CIDGlyph>& needs)
{
    const FontProgram* p = font.GetProgram();
    if (!p || !p->IsCIDKeyed() || p->UnitsPerEm() <= 0 || !IsFontFile3(font, "CIDFontType0C")) return false;
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!data) return false;
    std::vector<CFFProgram::Copy> copies;
    for (const CIDGlyph& n : needs) {
        std::optional<long> units = p->CharStringWidth(n.width);
        if (!units) return false;
        copies.push_back({n.source, static_cast<double>(*units), {}, n.cid});
    }
    auto fixed = CFFProgram::WithGlyphCopies(*data, copies);
    auto opened = fixed ? FontProgram::Open(*fixed) : nullptr;
    if (!opened) return false;
    std::vector<std::pair<unsigned, double>> glyphs;
    for (const CIDGlyph& n : needs) glyphs.emplace_back(opened->GlyphByCID(n.cid), n.width);
    if (!CopiesAgree(*opened, glyphs)) return false;
    FontReplace::PutStream(ctx, font.GetDescriptor()->Resolve(), "FontFile3", *fixed)->PutName("Subtype", "CIDFontType0C");
    return true;
}

// An Identity CMap made an embedded one that sends code to cid and every other code to
// itself, written as readers expect Identity: ranges of 256 codes, 100 to a block.
void PutMovedIdentity(PassContext& ctx, const Font& font, std::uint32_t code, std::uint32_t cid)
{
    bool vertical = font.GetWMode() == 1;
    std::string name = vertical ? "IdentityMoved-V" : "IdentityMoved-H";
    auto hex = [](std::uint32_t v) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "<%04X>", v & 0xFFFF);
        return std::string(buf);
    };
    std::string ranges, block;
    int in_block = 0;
    auto flush = [&] {
        if (in_block) ranges += std::to_string(in_block) + " begincidrange\n" + block + "endcidrange\n";
        block.clear();
        in_block = 0;
    };
    auto range = [&](std::uint32_t lo, std::uint32_t hi) {
        block += hex(lo) + " " + hex(hi) + " " + std::to_string(lo) + "\n";
        if (++in_block == 100) flush();
    };
    for (std::uint32_t lo = 0; lo < 0x10000; lo += 0x100) {
        std::uint32_t hi = lo + 0xFF;
        if (code < lo || code > hi) {
            range(lo, hi);
            continue;
        }
        if (code > lo) range(lo, code - 1);
        if (code < hi) range(code + 1, hi);
    }
    flush();
    std::string program = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                          "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> def\n"
                          "/CMapName /" + name + " def\n/CMapType 1 def\n/WMode " + (vertical ? "1" : "0") +
                          " def\n1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n" + ranges +
                          "1 begincidchar\n" + hex(code) + " " + std::to_string(cid) + "\nendcidchar\n"
                          "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    Obj* dict = font.GetSDFObj()->Resolve();
    Obj* stream = FontReplace::PutStream(ctx, dict, "Encoding", Common::ToBytes(program));
    stream->PutName("Type", "CMap");
    stream->PutName("CMapName", name);
    Obj* info = stream->PutDict("CIDSystemInfo");
    info->PutString("Registry", "Adobe");
    info->PutString("Ordering", "Identity");
    info->PutNumber("Supplement", 0);
    if (vertical) stream->PutNumber("WMode", 1);
}

// An embedded CMap's text with one mapping more, code to cid, after its own: the later
// mapping of a code wins in readers, as in this one. Nothing when the text cannot be read.
std::optional<Common::Bytes> WithMovedCode(Obj* cmap_stream, const Font::CharCode& code, std::uint32_t cid)
{
    auto data = ReadDecoded(cmap_stream, Common::Limits::kMaxCMapBytes);
    if (!data) return std::nullopt;
    std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
    std::size_t end = text.rfind("endcmap");
    if (end == std::string_view::npos) return std::nullopt;
    // A CMap that gives its CIDs in bf sections is read so only while it has no CID section:
    // the mapping goes into one of its own kind.
    const bool bf = text.find("begincid") == std::string_view::npos && text.find("usecmap") == std::string_view::npos;
    char hex[16], value[16];
    std::snprintf(hex, sizeof hex, "<%0*X>", 2 * code.nbytes, code.code);
    if (bf) std::snprintf(value, sizeof value, "<%04X>", cid);
    else std::snprintf(value, sizeof value, "%u", cid);
    const std::string section = bf ? "bfchar" : "cidchar";
    const std::string mapping = "1 begin" + section + "\n" + hex + " " + value + "\nend" + section + "\n";
    data->insert(data->begin() + static_cast<std::ptrdiff_t>(end), mapping.begin(), mapping.end());
    return data;
}

void PutMovedEmbedded(PassContext& ctx, const Font& font, Obj* cmap_stream, const Common::Bytes& text)
{
    Obj* stream = FontReplace::PutStream(ctx, font.GetSDFObj()->Resolve(), "Encoding", text);
    if (stream == cmap_stream) return;
    // A CMap that other fonts share stays theirs; the new one takes its dictionary.
    for (const char* key : {"Type", "CMapName", "CIDSystemInfo", "WMode", "UseCMap"})
        if (Obj* v = cmap_stream->FindObj(key)) stream->Put(key, v);
}

// The CID a code of CID 0 moves to: one the program lacks that no code shown reaches.
std::uint32_t FreeCID(const Font& font, const std::map<std::uint32_t, Font::CharCode>& shown)
{
    std::set<std::uint32_t> used;
    for (const auto& [key, c] : shown) used.insert(c.cid);
    auto cid = static_cast<std::uint32_t>(font.GetProgram()->GlyphCount());
    if (Obj* map = font.GetCIDToGIDMapObj(); map && map->IsStream())
        if (auto read = ReadDecoded(map, 2ull * 0x10000)) cid = std::max(cid, static_cast<std::uint32_t>(read->size() / 2));
    while (used.count(cid)) ++cid;
    return cid;
}

void RepairComposite(PassContext& ctx, const Font& font, const Codes& codes, const std::map<std::uint32_t, Font::CharCode>& shown)
{
    bool truetype = font.GetDescendantKind() == Font::e_cid_type2;
    if (!truetype && font.GetDescendantKind() != Font::e_cid_type0) return;
    std::vector<CIDGlyph> needs;
    std::set<std::uint32_t> cids;
    std::optional<Font::CharCode> notdef;
    std::set<std::uint32_t> notdef_codes;
    for (const Font::CharCode& c : codes) {
        if (c.cid == 0) {
            notdef = c;
            notdef_codes.insert(c.code);
        } else if (c.cid <= 0xFFFF && cids.insert(c.cid).second) {
            needs.push_back({c.cid, font.GetWidth(c), truetype ? std::optional<unsigned>(0) : std::nullopt});
        }
    }
    // CID 0 is .notdef whatever glyph it reaches: only the CMap can send its code elsewhere,
    // to a copy of the glyph drawn. Done for Identity, where every other code keeps its CID,
    // and for an embedded CMap, which takes one mapping more; also in PDF/A-1 copies, which
    // other checkers read as wanting every code shown to reach a glyph of its own.
    const CMap* cmap = font.GetCMap();
    Obj* enc = Deref(FindIn(font.GetSDFObj(), "Encoding"));
    const bool identity = cmap && cmap->IsIdentity() && enc && enc->IsName() && notdef && notdef->nbytes == 2;
    // An embedded CMap that sends several codes shown to CID 0 is left as it is: one copy
    // cannot stand for them all.
    const bool embedded = cmap && enc && enc->IsStream() && notdef_codes.size() == 1;
    std::uint32_t moved = 0;  // the CID the code moves to; 0 when it stays (CID 0 is shown)
    std::optional<Common::Bytes> moved_cmap;
    if (notdef && (NotdefLevel(ctx) || ctx.Part() == 1) && (identity || embedded)) {
        const std::uint32_t cid = FreeCID(font, shown);
        if (embedded && cid <= 0xFFFF) moved_cmap = WithMovedCode(enc, *notdef, cid);
        long drawn = truetype ? font.GlyphId(*notdef) : 0;
        if (cid <= 0xFFFF && drawn >= 0 && (!embedded || moved_cmap)) {
            moved = cid;
            needs.push_back({cid, font.GetWidth(*notdef), static_cast<unsigned>(drawn)});
        }
    }
    if (needs.empty()) return;
    if (!(truetype ? RepairCIDFontType2(ctx, font, needs) : RepairCIDFontType0(ctx, font, needs))) return;
    if (moved) {
        if (moved_cmap) PutMovedEmbedded(ctx, font, enc, *moved_cmap);
        else PutMovedIdentity(ctx, font, notdef->code, moved);
        Obj* desc = font.GetDescendant()->Resolve();
        Obj* w = FindArray(desc, "W");
        if (!w) w = desc->PutArray("W");
        w->PushBackNumber(moved);
        w->PushBackArray()->PushBackNumber(font.GetWidth(*notdef));
        cids.insert(moved);
    }
    AddToCIDSet(ctx, font, cids);
}

}  // namespace

void PutDifferences(Obj* dict, const std::map<unsigned, std::string>& names)
{
    Obj* old = Deref(FindIn(dict, "Encoding"));
    std::unique_ptr<Obj> copy = old && old->IsDict() ? old->Clone() : nullptr;
    Obj* enc = copy ? dict->Put("Encoding", std::move(copy)) : nullptr;
    if (!enc) {
        std::string base(old && old->IsName() ? old->GetName() : "");
        enc = dict->PutDict("Encoding");
        if (!base.empty()) enc->PutName("BaseEncoding", base);
    }
    Obj* diffs = FindArray(enc, "Differences");
    if (!diffs) diffs = enc->PutArray("Differences");
    for (const auto& [code, name] : names) {
        diffs->PushBackNumber(code);
        diffs->PushBackName(name);
    }
}

void PutTrueType(PassContext& ctx, const Font& font, const Common::Bytes& program, Obj* descriptor)
{
    double length = static_cast<double>(program.size());
    if (!descriptor) descriptor = font.GetDescriptor()->Resolve();
    FontReplace::PutStream(ctx, descriptor, "FontFile2", program)->PutNumber("Length1", length);
}

void RepairGlyphCoverage(PassContext& ctx, const Font& font, const std::map<std::uint32_t, Font::CharCode>& shown)
{
    Codes codes;
    for (const auto& [key, c] : shown)
        if (LacksGlyph(font, c)) codes.push_back(c);
    if (codes.empty() || !font.GetDescriptor()) return;
    if (font.IsComposite()) {
        RepairComposite(ctx, font, codes, shown);
    } else if (font.GetKind() == Font::e_truetype) {
        RepairTrueType(ctx, font, codes);
    } else if (font.GetKind() == Font::e_type1 || font.GetKind() == Font::e_mmtype1) {
        // A Unicode map made before the codes had glyphs of their own is made again, now
        // that their names say they show .notdef.
        if (RepairType1(ctx, font, codes) && ctx.caches.Get<ToUnicodeRebuilt>().erase(font.GetSDFObj()->Resolve()))
            RepairToUnicode(ctx, *Font::Create(font.GetSDFObj()));
    }
}

std::string NotdefCopyName(std::uint32_t code) { return std::string(kNotdefCopyPrefix) + std::to_string(code); }

bool IsNotdefCopyName(std::string_view name)
{
    if (!name.starts_with(kNotdefCopyPrefix) || name.size() == kNotdefCopyPrefix.size()) return false;
    return std::all_of(name.begin() + kNotdefCopyPrefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace qvx::PDF::FontRules
