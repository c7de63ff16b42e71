// Conversion: a font that names one of the standard 14 fonts without embedding a program
// receives the metric-compatible URW base35 Type 1 program (the outlines readers draw such a
// font with), its glyphs given the font's Widths where they differ, a descriptor when it
// has none, and, when it has no Widths, widths taken from that program.
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/Limits.h"
#include "pdf/FontProgram.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/SubstituteProgram.h"
#include "pdf/Std14.h"
#include "pdf/Type1Program.h"
#include "pdf/compliance/FontReplacement.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF::FontRules {

using SDF::Obj;

namespace {

std::optional<Common::Bytes> ReadProgram(std::string_view standard)
{
    std::ifstream in(Std14::ProgramFile(standard), std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<std::uint64_t>(size) > Common::Limits::kMaxSubstituteFontBytes) return std::nullopt;
    Common::Bytes data(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(data.data()), size)) return std::nullopt;
    return data;
}

// The standard programs embedded as they stand, by name: one stream that every font embedding
// the same program shares (producers may give each page a Helvetica dictionary of its own).
struct StandardPrograms : std::map<std::string, Obj*, std::less<>> {};

// Each standard program embedded, by its stream: the fonts that embed it with the codes
// their text shows (none for a font that shows no text).
struct StandardUses : std::map<Obj*, std::vector<std::pair<Obj*, std::set<unsigned>>>> {};

Obj* NewDescriptor(SDF::SDFDoc& doc, const Font& font, bool symbolic)
{
    Obj* d = doc.CreateIndirectDict();
    d->PutName("Type", "FontDescriptor");
    d->PutName("FontName", font.GetBaseFont());
    d->PutNumber("Flags", symbolic ? Font::e_symbolic : Font::e_nonsymbolic);
    Obj* box = d->PutArray("FontBBox");
    for (double v : {-200.0, -300.0, 1200.0, 1000.0}) box->PushBackNumber(v);
    d->PutNumber("ItalicAngle", 0);
    d->PutNumber("Ascent", 800);
    d->PutNumber("Descent", -200);
    d->PutNumber("CapHeight", 700);
    d->PutNumber("StemV", 80);
    return d;
}

}  // namespace

bool EmbedStandardFont(PassContext& ctx, const Font& font, const std::set<unsigned>& shown)
{
    if (!font.IsSimple() || font.GetKind() == Font::e_type3) return false;
    std::string_view standard = Std14::Canonical(font.GetBaseFont());
    if (standard.empty()) return false;
    auto data = ReadProgram(standard);
    if (!data) return false;
    auto program = FontProgram::Open(*data);
    if (!program || program->UnitsPerEm() <= 0) return false;

    // A code without a glyph shows .notdef.
    auto advance = [&](unsigned code) { return program->Advance(program->GlyphByName(font.GlyphName(code))); };
    Obj* dict = font.GetSDFObj()->Resolve();
    Type1Program::Advances advances;
    if (FindArray(dict, "Widths")) {
        // Text stays where the font's Widths put it: the program must draw every code shown
        // at that width, to the thousandth of an em the width rule allows. Readers draw the
        // font with this program's glyphs at those widths, so the glyphs are given them:
        // unless the program lacks one, two codes want one glyph at two new widths, or the font
        // is so narrow that readers squeeze its glyphs (left to the substitutes).
        double upem = program->UnitsPerEm();
        for (unsigned code : shown) {
            double want = font.GetWidth({code, 1, code});
            if (std::abs(want * upem / 1000.0 - static_cast<double>(advance(code))) <= upem / 1000.0) continue;
            std::string name(font.GlyphName(code));
            std::optional<long> units = program->CharStringWidth(want);
            if (name.empty() || program->GlyphByName(name) == 0 || !units) return false;
            if (auto [it, fresh] = advances.emplace(name, *units); !fresh && it->second != *units) return false;
        }
        double own_m = program->Advance(program->GlyphByName("m")) * 1000.0 / upem;
        auto width_of = [&](unsigned code) { return font.GetWidth({code, 1, code}); };
        if (!advances.empty() && FontReplace::NarrowingOf(font, own_m, width_of) != 1) return false;
    } else {
        // The widths readers placed the text with: the standard metrics of the glyph each code
        // names through the font's encoding (taken before the program changes it), and 0 for
        // a code that names none.
        Obj* widths = dict->PutArray("Widths");
        for (unsigned code = 0; code < 256; ++code) {
            std::optional<int> w = Std14::Width(standard, font.GlyphName(code));
            long a = advance(code);
            widths->PushBackNumber(w ? *w : a > 0 && !font.GlyphName(code).empty() ? std::round(a * 1000.0 / program->UnitsPerEm()) : 0);
        }
        dict->PutNumber("FirstChar", 0);
        dict->PutNumber("LastChar", 255);
    }
    Type1Program::Lengths lengths = Type1Program::ProgramLengths(*data);
    if (!advances.empty()) {
        auto fixed = Type1Program::WithAdvances(*data, advances);
        if (!fixed || !FontProgram::Open(fixed->data)) return false;
        data = std::move(fixed->data);
        lengths = fixed->lengths;
    }
    if (font.GetKind() == Font::e_truetype) dict->PutName("Subtype", "Type1");
    // WinAnsiEncoding gives code 160 the space only in a note, which some checkers' tables
    // lack: shown, it is named in the font's own encoding.
    if (shown.count(160) && FindName(dict, "Encoding") == "WinAnsiEncoding") PutDifferences(dict, {{160, "space"}});

    const bool symbolic = standard == "Symbol" || standard == "ZapfDingbats";
    Obj* descriptor = font.GetDescriptor();
    if (!descriptor) {
        descriptor = NewDescriptor(ctx.doc, font, symbolic);
        dict->Put("FontDescriptor", descriptor);
    }
    descriptor = descriptor->Resolve();
    // The whole program goes in: a CharSet or CIDSet written for another one would not list
    // its glyphs, and a name tagged as a subset's would ask for a CharSet of this one.
    for (const char* key : {"FontFile", "FontFile2", "FontFile3", "CharSet", "CIDSet"}) descriptor->Erase(key);
    if (font.IsSubset()) {
        const std::string name(Std14::Untagged(font.GetBaseFont()));
        dict->PutName("BaseFont", name);
        descriptor->PutName("FontName", name);
    }
    StandardPrograms& programs = ctx.caches.Get<StandardPrograms>();
    auto same = advances.empty() ? programs.find(standard) : programs.end();
    Obj* stream = same != programs.end() ? same->second : nullptr;
    if (stream) {
        FontReplace::MarkShared(ctx, stream);
    } else {
        stream = ctx.doc.CreateIndirectStream(std::move(*data));
        FontReplace::PutType1Lengths(stream, lengths);
        if (advances.empty()) programs.emplace(standard, stream);
    }
    descriptor->Put("FontFile", stream);
    if (!symbolic) ctx.caches.Get<StandardUses>()[stream].emplace_back(dict, shown);
    // Readers know the characters of Symbol's and ZapfDingbats' codes only while the font is
    // the standard one; once a program is embedded they read its glyph names, which for the
    // dingbats are no text. The names the codes had say what the text is.
    if (symbolic && !font.GetToUnicodeObj()) RepairToUnicode(ctx, font);
    return true;
}

void SubsetStandardPrograms(PassContext& ctx)
{
    for (auto& [stream, uses] : ctx.caches.Get<StandardUses>()) {
        // The fonts that still embed it (a repair may have given one a program of its own),
        // and the glyphs their codes shown name now, after any repair gave a code a glyph of
        // its own.
        std::vector<std::pair<Obj*, std::set<unsigned>>> fonts;
        for (auto& use : uses) {
            Obj* descriptor = FindDict(use.first, "FontDescriptor");
            Obj* file = descriptor ? descriptor->FindObj("FontFile") : nullptr;
            if (file && file->IsIndirect() && file->GetObjNum() == stream->GetObjNum()) fonts.push_back(std::move(use));
        }
        Type1Program::Keep keep{"space"};
        bool whole = fonts.empty();
        for (const auto& [dict, shown] : fonts) {
            auto font = Font::Create(dict);
            whole |= shown.empty() || !font;
            for (unsigned code : shown)
                if (font) keep.emplace(font->GlyphName(code));
        }
        Obj* program = stream->Resolve();
        auto data = whole ? std::nullopt : ReadDecoded(program, Common::Limits::kMaxSubstituteFontBytes);
        auto cut = data ? Type1Program::WithAdvances(*data, {}, {}, &keep) : std::nullopt;
        auto opened = cut ? FontProgram::Open(cut->data) : nullptr;
        if (!opened) continue;
        program->SetStreamData(std::move(cut->data));
        program->Erase("Filter");
        program->Erase("DecodeParms");
        FontReplace::PutType1Lengths(program, cut->lengths);
        std::string charset;
        for (long gid = 0; gid < opened->GlyphCount(); ++gid)
            if (std::string name = opened->GlyphName(static_cast<unsigned>(gid)); !name.empty() && name != ".notdef") charset += "/" + name;
        const std::string tag = SubstituteProgram::SubsetTag(charset);
        for (const auto& [dict, shown] : fonts) {
            const std::string name = tag + std::string(Std14::Untagged(FindName(dict, "BaseFont")));
            dict->PutName("BaseFont", name);
            Obj* descriptor = FindDict(dict, "FontDescriptor");
            descriptor->PutName("FontName", name);
            if (ctx.Part() == 1) descriptor->PutString("CharSet", charset);
        }
    }
    ctx.caches.Drop<StandardUses>();
}

}  // namespace qvx::PDF::FontRules
