// Simple fonts get a TrueType substitute reached by glyph name: the font becomes a
// non-symbolic TrueType font whose encoding (WinAnsiEncoding with Differences) names, for
// every code shown, the glyph the code named before, so each code shows the same character
// at the same width.
#include "pdf/compliance/FontReplacement.h"

#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "filters/FilterReader.h"
#include "filters/FlateEncode.h"
#include "filters/MemoryFilter.h"
#include "pdf/CFFProgram.h"
#include "pdf/CMap.h"
#include "pdf/Encoding.h"
#include "pdf/FontProgram.h"
#include "pdf/FontSubstitution.h"
#include "pdf/GlyphList.h"
#include "pdf/ObjUtil.h"
#include "pdf/Page.h"
#include "pdf/ResourceCache.h"
#include "pdf/Std14.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Dict.h"
#include "sdf/Obj.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

using SDF::Obj;

void FontReplacements::Mark(const std::shared_ptr<const Font>& font)
{
    m_fonts.try_emplace(font->GetSDFObj()->Resolve(), Entry{font, {}});
}

void FontReplacements::AddMissingProcedure(const std::shared_ptr<const Font>& font, const Font::CharCode& c)
{
    auto [it, fresh] = m_missing_procs.try_emplace(font->GetSDFObj()->Resolve(), Entry{font, {}});
    it->second.codes.emplace(c.code, c);
}

void FontReplacements::AddUncovered(const std::shared_ptr<const Font>& font, const Font::CharCode& c)
{
    auto [it, fresh] = m_uncovered.try_emplace(font->GetSDFObj()->Resolve(), Entry{font, {}});
    it->second.codes.emplace(font->IsComposite() ? c.cid : c.code, c);
}

bool FontReplacements::Claim(const SDF::Obj* shared) { return m_claimed.insert(shared).second; }

void FontReplacements::MarkSingleCMap(const std::shared_ptr<const Font>& font)
{
    m_single_cmap.try_emplace(font->GetSDFObj()->Resolve(), Entry{font, {}});
}

void FontReplacements::AddCode(const Font& font, const Font::CharCode& c)
{
    for (auto* marked : {&m_fonts, &m_single_cmap}) {
        auto it = marked->find(font.GetSDFObj()->Resolve());
        if (it != marked->end()) it->second.codes.emplace(font.IsComposite() ? c.cid : c.code, c);
    }
}

void FontReplacements::FixAdvance(const std::shared_ptr<const Font>& font, long gid, double width)
{
    auto [it, fresh] = m_advances.try_emplace(font->GetSDFObj()->Resolve(), Advances{font, {}});
    it->second.widths.emplace(static_cast<unsigned>(gid), width);
}

namespace FontReplace {

std::string PostScriptName(std::string_view base_font)
{
    std::string family = SplitFontName(base_font).family;
    return family.empty() ? "Font" : family;
}

Style StyleOf(const Font& font)
{
    Obj* d = font.GetDescriptor();
    int flags = font.GetFlags();
    std::string_view std14 = font.GetStandardName();
    Style s;
    s.bold = FindNumber(d, "FontWeight", 400) >= 600;
    s.italic = (flags & Font::e_italic) || FindNumber(d, "ItalicAngle", 0) != 0;
    s.fixed = (flags & Font::e_fixed_pitch) || std14.starts_with("Courier");
    return s;
}

namespace {

// Object numbers of the objects referred to more than once in the file (tools that merge
// equal streams make them: one map or program for several fonts, one stream as a font's
// Encoding and its ToUnicode). A repair of one holder's stream must not change what the
// others read.
struct SharedStreams {
    explicit SharedStreams(SDF::SDFDoc& doc)
    {
        std::map<std::uint32_t, int> refs;
        std::function<void(Obj*, int)> count = [&](Obj* o, int depth) {
            if (!o || depth > 16) return;
            // A reference is counted by its number: the object it names is not loaded.
            if (o->IsIndirect() && depth > 0) {
                if (++refs[o->GetObjNum()] == 2) nums.insert(o->GetObjNum());
                return;
            }
            if (o->IsArray())
                for (std::size_t i = 0; i < o->Size(); ++i) count(o->GetAt(i), depth + 1);
            else if (o->IsDict() || o->IsStream())
                for (auto it = o->DictBegin(); it != o->DictEnd(); ++it) count(it.Value(), depth + 1);
        };
        ForEachObject(doc, [&](Obj* obj) { count(obj, 0); });
    }
    std::set<std::uint32_t> nums;
};

}  // namespace

bool IsShared(PassContext& ctx, const Obj* obj)
{
    return obj && obj->IsIndirect() && ctx.caches.Get<SharedStreams>(ctx.doc).nums.count(obj->GetObjNum());
}

void MarkShared(PassContext& ctx, const Obj* obj)
{
    if (obj && obj->IsIndirect()) ctx.caches.Get<SharedStreams>(ctx.doc).nums.insert(obj->GetObjNum());
}

SDF::Obj* PutStream(PassContext& ctx, Obj* dict, std::string_view key, const Common::Bytes& data)
{
    auto sink = std::make_unique<Filters::MemoryFilter>();
    Filters::MemoryFilter* packed = sink.get();
    Filters::FlateEncode enc(std::move(sink));
    Filters::FilterWriter w(enc);
    w.WriteBuffer(data);
    w.Finish();
    // A stream already there (a damaged program, an old map) keeps its object number, unless
    // something else reads it too.
    Obj* stream = dict->FindObj(key);
    const bool own = stream && stream->IsIndirect() && !stream->IsFree() && stream->IsStream() &&
                     !ctx.caches.Get<SharedStreams>(ctx.doc).nums.count(stream->GetObjNum());
    if (own) {
        for (const char* k : {"DecodeParms", "Subtype", "Length1", "Length2", "Length3", "F", "FFilter", "FDecodeParms"})
            stream->Erase(k);
        stream->SetStreamData(packed->Release());
    } else {
        stream = ctx.doc.CreateIndirectStream(packed->Release());
        dict->Put(key, stream);
    }
    stream->PutName("Filter", "FlateDecode");
    return stream;
}

void PutType1Lengths(Obj* stream, const Type1Program::Lengths& lengths)
{
    stream->PutNumber("Length1", static_cast<double>(lengths.clear));
    stream->PutNumber("Length2", static_cast<double>(lengths.encrypted));
    stream->PutNumber("Length3", static_cast<double>(lengths.tail));
}

Obj* EmbedProgram(PassContext& ctx, const Font& font, Obj* holder, const std::string& font_name,
                  const SubstituteProgram& program, Common::Bytes data)
{
    Obj* descriptor = font.GetDescriptor();
    if (!descriptor) {
        descriptor = ctx.doc.CreateIndirectDict();
        descriptor->PutName("Type", "FontDescriptor");
        descriptor->PutNumber("Flags", font.GetFlags() ? font.GetFlags() : Font::e_nonsymbolic);
        holder->Put("FontDescriptor", descriptor);
    } else if (!ctx.caches.Get<FontReplacements>().Claim(descriptor->Resolve())) {
        // A descriptor another font shares and that already holds that font's substitute:
        // this font gets a copy with its own program.
        descriptor = ctx.doc.AddObj(descriptor->Resolve()->Clone());
        for (const char* key : {"FontFile", "FontFile2", "FontFile3"}) descriptor->Erase(key);
        holder->Put("FontDescriptor", descriptor);
    }
    descriptor = descriptor->Resolve();
    descriptor->PutName("FontName", font_name);
    FillDescriptorMetrics(descriptor, program.GetMetrics());
    // The program found under another key moves to FontFile2.
    Obj* old = nullptr;
    for (const char* key : {"FontFile", "FontFile2", "FontFile3"}) {
        Obj* s = descriptor->FindObj(key);
        if (s && s->IsIndirect() && !s->IsFree() && s->IsStream() && !old) old = s;
        descriptor->Erase(key);
    }
    for (const char* key : {"CharSet", "CIDSet"}) descriptor->Erase(key);
    if (old) descriptor->Put("FontFile2", old);
    double length = static_cast<double>(data.size());
    Obj* stream = PutStream(ctx, descriptor, "FontFile2", data);
    stream->PutNumber("Length1", length);
    return descriptor;
}

double NarrowingOf(const Font& font, double own_m, const std::function<double(unsigned)>& width_of)
{
    constexpr double kNarrower = 0.9;
    if (font.IsSymbolic()) return 1;
    for (unsigned code = 0; code < 256; ++code) {
        if (font.GlyphName(code) != "m") continue;
        double w = width_of(code);
        return w > 10 && w > font.GetMissingWidth() && own_m > 0 && w < kNarrower * own_m ? w / own_m : 1;
    }
    return 1;
}

namespace {

bool IsWinAnsiName(unsigned code, std::string_view name) { return BaseGlyphName(BaseEncoding::e_win_ansi, code) == name; }

// A symbolic font without Encoding shows glyphs by code through its own program.
bool DrawsByCode(const Font& font) { return font.IsSymbolic() && !font.GetEncodingObj() && font.GetStandardName().empty(); }

// The character a code shows: its glyph name's; for a font that draws by code, the one
// character the font's ToUnicode map gives it.
std::optional<char32_t> CharOfCode(const Font& font, unsigned code)
{
    if (!DrawsByCode(font)) {
        std::u32string u = GlyphList::ToUnicode(font.GlyphName(code));
        return u.size() == 1 ? std::optional<char32_t>(u[0]) : std::nullopt;
    }
    // With the program gone, only the ToUnicode map tells what such a code was (the names
    // of a standard encoding that the font's codes would get say nothing of its glyphs).
    std::u16string text;
    const CMap* map = font.GetToUnicode();
    if (!map || !map->ToUnicode(code, text) || text.size() != 1) return std::nullopt;
    // Controls, private use and halves of pairs name no character a substitute draws.
    const char16_t c = text[0];
    if (c < 0x20 || (c >= 0xD800 && c < 0xF900) || c == 0xFFFD) return std::nullopt;
    return c;
}

}  // namespace

bool PutLatinEncoding(Obj* dict, const Font& font, const std::set<unsigned>& codes)
{
    // Per code a name of the glyph list for the character it shows (the Differences of a
    // non-symbolic TrueType font may use no other).
    std::map<unsigned, std::string> names;
    for (unsigned code : codes) {
        std::optional<char32_t> ch = CharOfCode(font, code);
        if (!ch) {
            // A code that named no glyph stays so where WinAnsiEncoding names none either.
            if (!BaseGlyphName(BaseEncoding::e_win_ansi, code).empty()) names[code] = ".notdef";
            continue;
        }
        // A font that draws by code has no names of its own to keep.
        std::string_view name = DrawsByCode(font) ? std::string_view() : font.GlyphName(code);
        std::string listed(GlyphList::IsListed(name) ? name : GlyphList::NameFor(*ch));
        if (listed.empty()) return false;
        names[code] = listed;
    }
    Obj* enc = dict->PutDict("Encoding");
    enc->PutName("Type", "Encoding");
    enc->PutName("BaseEncoding", "WinAnsiEncoding");
    Obj* diffs = nullptr;
    unsigned next = 256;
    for (const auto& [code, name] : names) {
        if (IsWinAnsiName(code, name)) continue;
        if (!diffs) diffs = enc->PutArray("Differences");
        if (code != next) diffs->PushBackNumber(code);
        diffs->PushBackName(name);
        next = code + 1;
    }
    if (!diffs) dict->PutName("Encoding", "WinAnsiEncoding");
    return true;
}

namespace {

// The standard font whose metrics readers place text with when a font that is not one of
// them has no Widths: the fixed-pitch, serif or sans one of the font's weight and slant, the
// serif one when no descriptor says which.
std::string StandardLookalike(const Font& font, const Style& style)
{
    if (style.fixed) return "Courier";  // every glyph of every Courier is 600 wide
    int flags = static_cast<int>(FindNumber(font.GetDescriptor(), "Flags", Font::e_serif));
    if (flags & Font::e_serif)
        return style.bold ? (style.italic ? "Times-BoldItalic" : "Times-Bold") : (style.italic ? "Times-Italic" : "Times-Roman");
    return std::string("Helvetica") + (style.bold ? (style.italic ? "-BoldOblique" : "-Bold") : (style.italic ? "-Oblique" : ""));
}

}  // namespace

bool ReplaceSimple(PassContext& ctx, const FontReplacements::Entry& e)
{
    const Font& font = *e.font;
    auto char_of = [&](unsigned code) { return CharOfCode(font, code); };
    // With the program gone, a font that draws by code is replaced only where its ToUnicode
    // map names every code shown.
    const bool by_code = DrawsByCode(font);
    Style style = StyleOf(font);
    SubstituteRequest request{font.GetBaseFont(), "", style.bold, style.italic, style.fixed, {}};
    for (const auto& [code, c] : e.codes) {
        if (auto ch = char_of(code)) request.chars.push_back(*ch);
        else if (by_code) return false;
    }
    if (request.chars.empty()) return false;
    ChosenSubstitute chosen = FindSubstitute(request);
    if (!chosen.program) return false;

    // Without Widths, a font that is not one of the standard 14 was placed with the metrics
    // of the standard font most like it; a glyph those lack, with the substitute's advance.
    std::string lookalike;
    if (!FindArray(font.GetSDFObj(), "Widths") && font.GetStandardName().empty()) lookalike = StandardLookalike(font, style);
    auto placed = [&](unsigned code, const Font::CharCode& c) {
        if (lookalike.empty()) return font.GetWidth(c);
        if (auto w = Std14::Width(lookalike, font.GlyphName(code))) return static_cast<double>(*w);
        auto ch = char_of(code);
        return std::round(ch ? chosen.program->Advance(*ch) : chosen.program->GlyphAdvance(0));
    };
    SubstituteProgram::Widths widths;
    std::optional<double> notdef_width;
    for (const auto& [code, c] : e.codes) {
        if (auto ch = char_of(code)) widths.emplace(*ch, placed(code, c));
        else if (!notdef_width) notdef_width = placed(code, c);
    }
    auto subset = chosen.program->MakeSubset(widths, notdef_width, NarrowingOf(font, chosen.program->Advance(U'm'), [&](unsigned code) { return placed(code, {code, 1, code}); }));
    if (!subset || !FontProgram::Open(subset->data)) return false;

    // The widths text was placed with and the names codes show, taken before the
    // dictionary changes.
    double all_widths[256];
    for (unsigned code = 0; code < 256; ++code) all_widths[code] = placed(code, {code, 1, code});
    Obj* dict = font.GetSDFObj()->Resolve();
    std::set<unsigned> codes;
    for (const auto& [code, c] : e.codes) codes.insert(code);
    if (!PutLatinEncoding(dict, font, codes)) return false;
    std::string name = SubstituteProgram::SubsetTag(widths) + PostScriptName(font.GetBaseFont());
    Obj* descriptor = EmbedProgram(ctx, font, dict, name, *chosen.program, std::move(subset->data));
    int flags = static_cast<int>(FindNumber(descriptor, "Flags", 0));
    descriptor->PutNumber("Flags", (flags & ~Font::e_symbolic) | Font::e_nonsymbolic);

    dict->PutName("Subtype", "TrueType");
    dict->PutName("BaseFont", name);
    dict->PutNumber("FirstChar", 0);
    dict->PutNumber("LastChar", 255);
    Obj* w = dict->PutArray("Widths");
    for (double v : all_widths) w->PushBackNumber(v);
    return true;
}

}  // namespace FontReplace

namespace {

// A Type 1 program (FontFile) with the advances of fix, its glyphs reached by name.
void SetType1Advances(PassContext& ctx, const FontReplacements::Advances& fix, Obj* descriptor)
{
    const Font& font = *fix.font;
    const FontProgram* program = font.GetProgram();
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!program || !data || program->UnitsPerEm() <= 0) return;
    Type1Program::Advances advances;
    for (const auto& [gid, width] : fix.widths) {
        std::string name = program->GlyphName(gid);
        std::optional<long> units = program->CharStringWidth(width);
        if (name.empty() || !units) return;
        advances.emplace(name, *units);
    }
    auto fixed = Type1Program::WithAdvances(*data, advances);
    if (!fixed || !FontProgram::Open(fixed->data)) return;
    Obj* stream = FontReplace::PutStream(ctx, descriptor->Resolve(), "FontFile", fixed->data);
    FontReplace::PutType1Lengths(stream, fixed->lengths);
}

// A bare CFF program (FontFile3 Type1C or CIDFontType0C) with the advances of fix.
void SetCFFAdvances(PassContext& ctx, const FontReplacements::Advances& fix, Obj* descriptor)
{
    const Font& font = *fix.font;
    const FontProgram* program = font.GetProgram();
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!program || !data || program->UnitsPerEm() <= 0) return;
    std::map<unsigned, double> advances;
    for (const auto& [gid, width] : fix.widths) {
        std::optional<long> units = program->CharStringWidth(width);
        if (!units) return;
        advances.emplace(gid, static_cast<double>(*units));
    }
    auto fixed = CFFProgram::WithAdvances(*data, advances);
    auto opened = fixed ? FontProgram::Open(*fixed) : nullptr;
    if (!opened) return;
    for (const auto& [gid, width] : fix.widths)
        if (std::fabs(opened->Advance(gid) * 1000.0 / opened->UnitsPerEm() - width) > 1.0) return;
    std::string subtype = font.GetEmbeddedSubtype();
    FontReplace::PutStream(ctx, descriptor->Resolve(), "FontFile3", *fixed)->PutName("Subtype", subtype);
}

// The embedded program of a font with the advances of fix: TrueType and OpenType programs
// get new horizontal metrics, Type 1 and bare CFF programs new charstring widths. Nothing
// changes when the program is of another kind or the result would not open.
void SetProgramAdvances(PassContext& ctx, const FontReplacements::Advances& fix)
{
    const Font& font = *fix.font;
    Obj* descriptor = font.GetDescriptor();
    if (!descriptor) return;
    if (font.GetEmbeddedKey() == "FontFile") {
        SetType1Advances(ctx, fix, descriptor);
        return;
    }
    std::string_view subtype = font.GetEmbeddedSubtype();
    if (font.GetEmbeddedKey() == "FontFile3" && (subtype == "Type1C" || subtype == "CIDFontType0C")) {
        SetCFFAdvances(ctx, fix, descriptor);
        return;
    }
    bool sfnt = font.GetEmbeddedKey() == "FontFile2" ||
                (font.GetEmbeddedKey() == "FontFile3" && font.GetEmbeddedSubtype() == "OpenType");
    if (!sfnt) return;
    auto program = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!program) return;
    auto fixed = SubstituteProgram::WithAdvances(*program, fix.widths);
    if (!fixed || !FontProgram::Open(*fixed)) return;
    double length = static_cast<double>(fixed->size());
    Obj* stream = FontReplace::PutStream(ctx, descriptor->Resolve(), font.GetEmbeddedKey(), *fixed);
    if (font.GetEmbeddedKey() == "FontFile2") stream->PutNumber("Length1", length);
    else stream->PutName("Subtype", "OpenType");
}

// Fonts listed in the resources of pages, their form XObjects and their annotations'
// appearances without text shown in them: font lists, and readers asked to draw them
// later, see them too, so they take a program as well. Those without one are marked for
// replacement like the fonts that text shows.
class ListedFonts {
public:
    ListedFonts(PassContext& ctx, FontReplacements& replacements) : m_ctx(ctx), m_replacements(replacements) {}

    void Mark()
    {
        for (const Page& page : m_ctx.Pages().Pages()) {
            Resources(page.GetResources().GetDict(), 0);
            Obj* annots = FindArray(page.GetSDFObj(), "Annots");
            for (std::size_t i = 0; annots && i < annots->Size(); ++i) {
                Obj* ap = FindDict(Deref(annots->GetAt(i)), "AP");
                for (const char* kind : {"N", "R", "D"}) Appearance(FindIn(ap, kind));
            }
        }
    }

private:
    // Forms within forms are followed this deep.
    static constexpr int kMaxDepth = 8;

    void Appearance(Obj* a)
    {
        a = Deref(a);
        if (a && a->IsStream()) Form(a, 0);
        else if (a && a->IsDict())
            for (auto it = a->DictBegin(); it != a->DictEnd(); ++it) Form(Deref(it.Value()), 0);
    }

    void Form(Obj* form, int depth)
    {
        if (form && form->IsStream() && m_seen.insert(form).second) Resources(FindDict(form, "Resources"), depth + 1);
    }

    void Resources(Obj* res, int depth)
    {
        if (!res || depth > kMaxDepth || m_ctx.Stopped()) return;
        if (Obj* xobjects = FindDict(res, "XObject"))
            for (auto it = xobjects->DictBegin(); it != xobjects->DictEnd(); ++it) Form(Deref(it.Value()), depth);
        Obj* fonts = FindDict(res, "Font");
        if (!fonts) return;
        for (auto it = fonts->DictBegin(); it != fonts->DictEnd(); ++it) {
            Obj* dict = Deref(it.Value());
            if (!dict || !dict->IsDict() || !m_seen.insert(dict).second) continue;
            auto font = m_ctx.caches.Get<ResourceCache>().GetFont(dict);
            Font::Kind kind = font->GetKind();
            if (kind != Font::e_type3 && kind != Font::e_unknown && !font->GetEmbeddedStream()) m_replacements.Mark(font);
        }
    }

    PassContext& m_ctx;
    FontReplacements& m_replacements;
    std::set<const Obj*> m_seen;
};

}  // namespace

void ReplaceMarkedFonts(PassContext& ctx)
{
    if (!ctx.state.convert) return;
    FontReplacements& replacements = ctx.caches.Get<FontReplacements>();
    ListedFonts(ctx, replacements).Mark();
    for (const auto& [dict, fix] : replacements.AdvanceFixes()) {
        if (ctx.Stopped()) return;
        SetProgramAdvances(ctx, fix);
    }
    // After the advances, which rewrite the same programs.
    for (const auto& [dict, e] : replacements.SingleCMaps()) {
        if (ctx.Stopped()) return;
        std::set<unsigned> shown;
        for (const auto& [code, c] : e.codes) shown.insert(code);
        if (e.font->IsSymbolic()) {
            FontRules::RepairSingleCMap(ctx, *e.font, shown);
        } else if (FontRules::IsCFFTrueType(*e.font)) {
            FontRules::RepairCFFTrueType(ctx, *e.font);
        } else if (auto now = Font::Create(e.font->GetSDFObj()); FontRules::WantsUnicodeCMap(*now)) {
            FontRules::RepairUnicodeCMap(ctx, *now, shown);
        } else if (!FontRules::HasLatinEncoding(*now) || FontRules::WantsNamedEncoding(ctx, *now)) {
            // Also when another font of the same program made it symbolic: this one then
            // drops its Encoding too.
            FontRules::RepairSymbolCMap(ctx, *e.font, shown);
        }
    }
    for (const auto& [dict, e] : replacements.MissingProcedures()) {
        if (ctx.Stopped()) return;
        FontRules::RepairType3Procedures(ctx, *e.font, e.codes);
    }
    for (const auto& [dict, e] : replacements.Entries()) {
        if (ctx.Stopped()) return;
        const Font& font = *e.font;
        if (font.IsComposite()) {
            // The codes the new program has no glyph for are seen only now.
            if (FontReplace::ReplaceComposite(ctx, e)) FontRules::RepairGlyphCoverage(ctx, *Font::Create(font.GetSDFObj()), e.codes);
            continue;
        }
        // A standard 14 font (or a common alias of one) takes the URW program readers draw it
        // with, unless the configuration names another or its Widths place text where that
        // program's glyphs would not fit; then a TrueType substitute made to its widths, or,
        // when there is none, still the URW program at the font's widths. An alias whose
        // descriptor names its family (FontFamily) is drawn with that family where it is
        // installed, so it goes the TrueType way first.
        std::string_view std14 = font.GetStandardName();
        std::set<unsigned> shown;
        for (const auto& [code, c] : e.codes) shown.insert(code);
        // A listed font no text shows gets the printable ASCII codes, so a reader asked to
        // draw with it later (a form's default font) finds its glyphs.
        FontReplacements::Entry listed = e;
        if (listed.codes.empty())
            for (std::uint32_t code = 32; code < 127; ++code) listed.codes.emplace(code, Font::CharCode{code, 1, code});
        bool family = std14 != font.GetBaseFont() && FindIn(font.GetDescriptor(), "FontFamily");
        bool embedded = !std14.empty() && !family && !IsConfigured(font.GetBaseFont()) && FontRules::EmbedStandardFont(ctx, font, shown);
        if (!embedded) embedded = FontReplace::ReplaceSimple(ctx, listed) || (!std14.empty() && FontRules::EmbedStandardFont(ctx, font, {}));
        if (!embedded) continue;
        // The codes the new program has no glyph for are seen only now.
        FontRules::RepairGlyphCoverage(ctx, *Font::Create(font.GetSDFObj()), e.codes);
        // A TrueType substitute whose encoding needed Differences takes the symbolic form
        // where PDF/A-1 is read as wanting a standard encoding name.
        if (auto now = Font::Create(font.GetSDFObj()); FontRules::WantsNamedEncoding(ctx, *now)) FontRules::RepairSymbolCMap(ctx, *now, shown);
    }
    for (const auto& [dict, e] : replacements.Uncovered()) {
        if (ctx.Stopped()) return;
        FontRules::RepairGlyphCoverage(ctx, *e.font, e.codes);
    }
    FontRules::SubsetStandardPrograms(ctx);
}

}  // namespace qvx::PDF
