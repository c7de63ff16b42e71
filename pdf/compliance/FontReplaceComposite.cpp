// Composite fonts get a TrueType substitute reached by CID: each CID shown is taken to the
// character the font's ToUnicode or its Adobe collection gives it, and the descendant
// becomes a CIDFontType2 whose CIDToGIDMap leads every such CID to that character's glyph.
// A TrueType CIDFont whose codes give no characters keeps its CIDs as glyph numbers instead
// when the substitute evidently has the glyph order of the font meant, and otherwise reads
// them as characters, as poppler does. The CMap, W and DW stay, so the codes and their
// widths are unchanged.
#include <algorithm>
#include <cmath>

#include "pdf/FontProgram.h"
#include "pdf/FontSubstitution.h"
#include "pdf/GlyphList.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/FontReplacement.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"

namespace qvx::PDF::FontReplace {

using SDF::Obj;

namespace {

// The configuration's name of the font's character collection; empty for one it does not know.
std::string CollectionOf(const CMap::SystemInfo& info)
{
    if (info.ordering == "Identity") return "identity";
    if (info.registry != "Adobe") return {};
    for (const char* o : {"Japan1", "Japan2", "GB1", "CNS1", "Korea1"})
        if (info.ordering == o) {
            std::string lower;
            for (char c : info.ordering) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            return lower;
        }
    return {};
}

// The one character of a code's text, or 0.
char32_t SingleChar(const std::u16string& text)
{
    if (text.size() == 1) return text[0] >= 0xD800 && text[0] < 0xE000 ? 0 : text[0];
    if (text.size() == 2 && text[0] >= 0xD800 && text[0] < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000)
        return 0x10000 + ((text[0] - 0xD800) << 10) + (text[1] - 0xDC00);
    return 0;
}

// The character a named glyph of a Type 1 or CFF program shows (a program no CIDFont takes,
// whose glyphs readers draw by CID all the same); 0 when the name tells none.
char32_t NamedGlyphChar(const Font& font, const Font::CharCode& c)
{
    const FontProgram* p = font.GetProgram();
    if (!p || p->IsSFNT() || !p->HasGlyphNames()) return 0;
    long gid = font.GlyphId(c);
    std::u32string text = gid > 0 ? GlyphList::ToUnicode(p->GlyphName(static_cast<unsigned>(gid))) : std::u32string();
    return text.size() == 1 ? text[0] : 0;
}

// The character a code stands for: what the glyph the program draws for it is named after;
// else the font's ToUnicode when it has one; under a predefined Unicode CMap (UniJIS-UCS2-H,
// UniGB-UTF16-V and the like) the code itself, which readers draw by before the collection's
// character for the CID (that may be another: a no-break space for a space); else the
// collection's; 0 for none.
char32_t CharOf(const Font& font, const Font::CharCode& c)
{
    if (char32_t named = NamedGlyphChar(font, c)) return named;
    const CMap* cmap = font.GetCMap();
    std::string_view name = cmap && cmap->IsPredefined() ? std::string_view(cmap->GetName()) : std::string_view();
    if (!font.GetToUnicode() && name.starts_with("Uni")) {
        if (name.find("-UTF32-") != std::string_view::npos)
            return c.nbytes == 4 && c.code <= 0x10FFFF && (c.code < 0xD800 || c.code >= 0xE000) ? c.code : 0;
        if (name.find("-UCS2-") != std::string_view::npos || name.find("-UTF16-") != std::string_view::npos) {
            std::u16string units;
            for (int shift = 8 * (c.nbytes - 2); shift >= 0; shift -= 16)
                units += static_cast<char16_t>((c.code >> shift) & 0xFFFF);
            return SingleChar(units);
        }
    }
    std::u16string text;
    return font.ToUnicode(c, text) ? SingleChar(text) : 0;
}

Common::Bytes CIDSetOf(const std::set<std::uint32_t>& cids)
{
    Common::Bytes bits(cids.empty() ? 1 : *cids.rbegin() / 8 + 1, 0);
    bits[0] = 0x80;  // CID 0, .notdef, is always there
    for (std::uint32_t cid : cids) bits[cid / 8] |= static_cast<Common::Byte>(0x80 >> (cid % 8));
    return bits;
}

// The descendant becomes a CIDFontType2 holding the substitute's program under name, with the
// CIDSet of cids at PDF/A-1, which wants the CIDs of a subset listed (later parts only ask
// that a CIDSet be right).
void PutProgram(PassContext& ctx, const Font& font, const std::string& name, const SubstituteProgram& program,
                Common::Bytes data, const std::set<std::uint32_t>& cids)
{
    Obj* desc = font.GetDescendant()->Resolve();
    Obj* descriptor = EmbedProgram(ctx, font, desc, name, program, std::move(data));
    if (ctx.Part() == 1) PutStream(ctx, descriptor, "CIDSet", CIDSetOf(cids));
    desc->PutName("Subtype", "CIDFontType2");
    desc->PutName("BaseFont", name);
    // The Type 0 font's name is the CIDFont's, joined to the CMap's when that is predefined.
    std::string_view cmap = FindName(font.GetSDFObj(), "Encoding");
    font.GetSDFObj()->Resolve()->PutName("BaseFont", cmap.empty() ? name : name + "-" + std::string(cmap));
}

// The substitute cut to the characters of chars (by CID), each with its width in widths;
// the descendant leads each CID to its character's glyph through a CIDToGIDMap stream.
// A character the substitute lacks gets a glyph of its own drawn as its .notdef.
bool PutCharacters(PassContext& ctx, const Font& font, const std::string& request_name, const SubstituteProgram& program,
                   const std::map<std::uint32_t, char32_t>& chars, const SubstituteProgram::Widths& widths,
                   std::optional<double> notdef_width)
{
    auto subset = program.MakeSubset(widths, notdef_width);
    if (!subset || !FontProgram::Open(subset->data)) return false;
    // A font no text shows keeps .notdef alone, with CID 0 led to it.
    Common::Bytes map(2 * (chars.empty() ? 1 : static_cast<std::size_t>(chars.rbegin()->first) + 1), 0);
    std::set<std::uint32_t> cids;
    for (const auto& [cid, ch] : chars) {
        unsigned gid = subset->gids.at(ch);
        map[2 * cid] = static_cast<Common::Byte>(gid >> 8);
        map[2 * cid + 1] = static_cast<Common::Byte>(gid);
        cids.insert(cid);
    }
    std::string name = SubstituteProgram::SubsetTag(widths) + PostScriptName(request_name);
    PutProgram(ctx, font, name, program, std::move(subset->data), cids);
    PutStream(ctx, font.GetDescendant()->Resolve(), "CIDToGIDMap", map);
    return true;
}

// Whether the substitute evidently orders its glyphs as the font the CIDs were glyph
// numbers of: the widths the text was set with (by glyph number, .notdef left out) against
// the substitute's advances at those numbers. Either
// - most agree within 2 thousandths of an em (whole-number widths against advances of
//   2,048 units per em): at least two thirds, a metric-compatible family. Times New Roman
//   over Liberation Serif agrees at 7 of 8 glyphs in the files seen; the fonts whose order
//   differs at a third at most (where Arial's first glyphs agree, its later ones do not);
// - or, from 8 glyphs on, they correlate at 0.8 or more: the same order in another design
//   or weight (Century Gothic Bold's capitals against DejaVu Sans Bold's, which shares the
//   Macintosh order of the first glyphs: 0.85), where the fonts of another order stayed
//   below 0.6. Fewer glyphs prove nothing by correlation.
bool SameGlyphOrder(const SubstituteProgram& program, const std::map<unsigned, double>& widths)
{
    constexpr double kAgreeWithin = 2, kAgreeingShare = 2.0 / 3, kMinCorrelated = 8, kCorrelation = 0.8;
    double n = 0, agree = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (const auto& [g, w] : widths) {
        if (g == 0) continue;
        double a = program.GlyphAdvance(g);
        n += 1;
        agree += std::abs(w - a) <= kAgreeWithin;
        sx += w, sy += a, sxx += w * w, syy += a * a, sxy += w * a;
    }
    if (n == 0) return true;  // .notdef alone is the same glyph either way
    if (agree >= kAgreeingShare * n) return true;
    double vx = n * sxx - sx * sx, vy = n * syy - sy * sy;
    return n >= kMinCorrelated && vx > 0 && vy > 0 && (n * sxy - sx * sy) / std::sqrt(vx * vy) >= kCorrelation;
}

// The widths W gives the glyph numbers from 1 to the highest of shown, which has them by
// glyph number: a few glyphs shown prove little by themselves, while the order of the glyphs
// up to them is the font's too (fonts that share the standard Macintosh order share it from
// the first glyph on). Empty when W gives none of them, which proves nothing.
std::map<unsigned, double> WidthsThrough(const Font& font, const std::map<unsigned, double>& shown)
{
    std::map<unsigned, double> out;
    unsigned last = shown.empty() ? 0 : std::min(shown.rbegin()->first, 0xFFFFu);
    for (unsigned g = 1; g <= last; ++g) {
        Font::CharCode c{g, 2, g};
        if (font.HasExplicitWidth(c)) out.emplace(g, font.GetWidth(c));
    }
    return out;
}

// A TrueType CIDFont of no collection whose codes give no characters: its CIDs, through its
// CIDToGIDMap, are glyph numbers of the program the producer had. Readers without that
// program draw the same glyph numbers of the system font they take instead when the map is
// a stream, and for the metric-compatible families (Liberation for Arial, Times New Roman
// and Courier New, whose first 258 glyphs follow the standard Macintosh order as
// Microsoft's do) those are the glyphs meant. So the substitute keeps its glyph numbers and
// the font its map; glyph numbers past the substitute's glyphs, which draw nothing, become
// empty glyphs. Only the advances change, to the widths the text was placed with. Without
// a map stream readers differ: some take the CIDs for glyph numbers, poppler for Unicode
// values. There the glyph numbers are kept only when the widths show that they are the
// substitute's glyphs meant, those of the glyphs shown or those W gives every glyph up to
// them; otherwise both ways show other glyphs, and the CIDs become
// the characters poppler draws.
bool ReplaceByGlyph(PassContext& ctx, const FontReplacements::Entry& e)
{
    const Font& font = *e.font;
    Obj* map = font.GetCIDToGIDMapObj() ? font.GetCIDToGIDMapObj()->Resolve() : nullptr;
    if (font.GetDescendantKind() != Font::e_cid_type2 || font.GetCIDSystemInfo().ordering != "Identity") return false;
    const std::vector<std::uint16_t>* table = map && map->IsStream() ? font.GetCIDToGIDTable() : nullptr;
    if (map && map->IsStream() && !table) return false;

    std::map<unsigned, double> widths;  // by glyph number
    std::set<std::uint32_t> cids;
    for (const auto& [cid, c] : e.codes) {
        if (cid > 0xFFFF) continue;
        unsigned gid = cid;
        if (table) gid = cid < table->size() ? (*table)[cid] : 0;
        widths.emplace(gid, font.GetWidth(c));
        if (gid != 0) cids.insert(cid);
    }
    if (widths.empty()) return false;

    Style style = StyleOf(font);
    std::string base(FindName(font.GetDescendant(), "BaseFont"));
    SubstituteRequest request{base.empty() ? font.GetBaseFont() : base, "identity", style.bold, style.italic,
                              style.fixed, {}};
    ChosenSubstitute chosen = FindSubstitute(request);
    if (!chosen.program) return false;
    std::map<unsigned, double> through = table ? std::map<unsigned, double>() : WidthsThrough(font, widths);
    if (!table && !SameGlyphOrder(*chosen.program, widths) && (through.empty() || !SameGlyphOrder(*chosen.program, through))) {
        std::map<std::uint32_t, char32_t> chars;
        SubstituteProgram::Widths by_char;
        std::optional<double> notdef_width;
        for (const auto& [cid, w] : widths) {
            if (cid == 0) {
                notdef_width = w;
                continue;
            }
            chars[cid] = cid;
            by_char.emplace(cid, w);
        }
        return PutCharacters(ctx, font, request.name, *chosen.program, chars, by_char, notdef_width);
    }
    auto data = chosen.program->KeepGlyphs(widths);
    auto opened = data ? FontProgram::Open(*data) : nullptr;
    if (!opened) return false;
    // CIDs lead to glyphs by their own number: every one below the program's glyph count is
    // present.
    if (!table)
        for (std::uint32_t cid = 1; cid < static_cast<std::uint32_t>(opened->GlyphCount()); ++cid) cids.insert(cid);
    std::string name = SubstituteProgram::SubsetTag(SubstituteProgram::Widths(widths.begin(), widths.end())) + PostScriptName(request.name);
    PutProgram(ctx, font, name, *chosen.program, std::move(*data), cids);
    if (!table) font.GetDescendant()->Resolve()->PutName("CIDToGIDMap", "Identity");
    return true;
}

// A Type 0 font whose DescendantFonts holds no font dictionary (a producer's [null]) shows
// nothing in readers, and no program can go under it: it gets a CIDFont of the CMap's
// character collection (Identity when the CMap names none), for the substitute to be put in
// like any other. Null when the codes cannot be read.
std::shared_ptr<const Font> WithDescendant(PassContext& ctx, const Font& font)
{
    const CMap* cmap = font.GetCMap();
    if (!cmap) return nullptr;
    CMap::SystemInfo info = cmap->GetSystemInfo();
    if (info.registry.empty() || info.ordering.empty()) info = {"Adobe", "Identity", 0, true};
    Obj* desc = ctx.doc.CreateIndirectDict();
    desc->PutName("Type", "Font");
    desc->PutName("Subtype", "CIDFontType2");
    desc->PutName("BaseFont", font.GetBaseFont().empty() ? std::string("Unnamed") : font.GetBaseFont());
    FontRules::PutSystemInfo(desc, info);
    font.GetSDFObj()->Resolve()->PutArray("DescendantFonts")->PushBack(desc);
    return Font::Create(font.GetSDFObj());
}

}  // namespace

bool ReplaceComposite(PassContext& ctx, const FontReplacements::Entry& e)
{
    if (!e.font->GetDescendant()) {
        FontReplacements::Entry fresh{WithDescendant(ctx, *e.font), e.codes};
        return fresh.font && fresh.font->GetDescendant() && ReplaceComposite(ctx, fresh);
    }
    const Font& font = *e.font;
    Obj* desc = font.GetDescendant();
    if (!ctx.caches.Get<FontReplacements>().Claim(desc->Resolve())) {
        // A CIDFont another Type 0 font shares and that holds that font's substitute already:
        // this font gets a copy of its own, its CIDs led to glyphs of their own.
        font.GetSDFObj()->Resolve()->PutArray("DescendantFonts")->PushBack(ctx.doc.AddObj(desc->Resolve()->Clone()));
        FontReplacements::Entry own{Font::Create(font.GetSDFObj()), e.codes};
        return own.font && own.font->GetDescendant() && ReplaceComposite(ctx, own);
    }
    if (!font.GetCMap()) return false;
    std::string collection = CollectionOf(font.GetCIDSystemInfo());
    // A collection no configuration knows (Adobe-UCS, say) tells nothing the font's ToUnicode
    // map does not: the CIDs are read through the map, as an Identity font's are.
    if (collection.empty() && font.GetToUnicodeObj()) collection = "identity";
    if (collection.empty()) return false;

    std::map<std::uint32_t, char32_t> chars;  // by CID
    SubstituteProgram::Widths widths;
    std::optional<double> notdef_width;
    for (const auto& [cid, c] : e.codes) {
        if (cid > 0xFFFF) continue;
        char32_t ch = CharOf(font, c);
        if (ch == 0 || cid == 0) {
            if (!notdef_width) notdef_width = font.GetWidth(c);
            continue;
        }
        chars[cid] = ch;
        widths.emplace(ch, font.GetWidth(c));
    }
    if (widths.empty() && !e.codes.empty()) return ReplaceByGlyph(ctx, e);

    Style style = StyleOf(font);
    std::string base(FindName(desc, "BaseFont"));
    SubstituteRequest request{base.empty() ? font.GetBaseFont() : base, collection, style.bold, style.italic,
                              style.fixed, {}};
    for (const auto& [ch, w] : widths) request.chars.push_back(ch);
    request.partial = collection != "identity";
    ChosenSubstitute chosen = FindSubstitute(request);
    // Characters no installed font has are drawn as missing, as readers here draw them: the
    // family asked for still carries the codes, their widths and their text.
    if (!chosen.program && !request.chars.empty()) {
        request.chars.clear();
        chosen = FindSubstitute(request);
    }
    if (!chosen.program) return false;
    return PutCharacters(ctx, font, request.name, *chosen.program, chars, widths, notdef_width);
}

}  // namespace qvx::PDF::FontReplace
