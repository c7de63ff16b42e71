#include "pdf/compliance/FontChecks.h"

#include <algorithm>
#include <cmath>

#include "common/Exception.h"
#include "common/Limits.h"
#include "pdf/FontProgram.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageContent.h"
#include "pdf/compliance/ContentRewrite.h"
#include "pdf/compliance/FontReplacement.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"
#include "sdf/ObjWriter.h"

namespace qvx::PDF {

using SDF::Obj;

namespace FontRules {

bool UnicodeLevel(const PassContext& ctx)
{
    const int l = ctx.state.level;
    return l >= 1 && l <= 12 && (SDF::kUnicodeLevels & SDF::LevelBit(l)) != 0;
}

bool NotdefLevel(const PassContext& ctx) { return ctx.state.level >= 1 && SDF::InForce(SDF::e_PDFA62118, ctx.state.level); }

// A dictionary used as a font whose Type was lost or damaged: conversion names it a font.
static void CheckType(PassContext& ctx, Obj* d)
{
    if (FindName(d, "Type") == "Font") return;
    ctx.Report(SDF::e_PDFA322, d);
    if (Obj* dict = Deref(d); ctx.state.convert && dict) dict->PutName("Type", "Font");
}

// A font without a BaseFont name: conversion names it as its descriptor does, which is the
// name readers look the font up by when they have no better one.
static void CheckBaseFont(PassContext& ctx, Obj* d, Obj* descriptor)
{
    ctx.Report(SDF::e_PDFA324, d);
    Obj* dict = Deref(d);
    if (!ctx.state.convert || !dict) return;
    const std::string_view name = FindName(descriptor, "FontName");
    dict->PutName("BaseFont", name.empty() ? std::string_view("Unnamed") : name);
}

void CheckDictionary(PassContext& ctx, const Font& font)
{
    Obj* d = font.GetSDFObj();
    CheckType(ctx, d);
    static constexpr std::string_view kSimple[] = {"Type1", "MMType1", "TrueType", "Type3", "Type0"};
    bool known = false;
    for (std::string_view s : kSimple) known |= font.GetSubtype() == s;
    if (!known) ctx.Report(SDF::e_PDFA323, d);
    Obj* base = FindIn(d, "BaseFont");
    if (font.GetKind() != Font::e_type3 && (!base || !base->IsName())) CheckBaseFont(ctx, d, font.GetDescriptor());
    if (Obj* desc = font.GetDescendant()) {
        CheckType(ctx, desc);
        if (font.GetDescendantKind() == Font::e_unknown) ctx.Report(SDF::e_PDFA323, desc);
        Obj* dbase = FindIn(desc, "BaseFont");
        if (!dbase || !dbase->IsName()) CheckBaseFont(ctx, desc, FindDict(desc, "FontDescriptor"));
    }
    if (ctx.state.convert) {
        CompleteDescriptor(font);
        NoteUnknownBaseEncoding(ctx, font);
    }
}

Embedding CheckEmbedding(PassContext& ctx, const Font& font)
{
    if (font.GetKind() == Font::e_type3) return Embedding::e_unusable;
    Obj* descriptor = font.GetDescriptor();
    // Conversion replaces a missing, unsuitable or damaged program with a substitute.
    Embedding unusable = ctx.state.convert ? Embedding::e_replace : Embedding::e_unusable;
    if (!descriptor && ctx.state.convert) {
        ctx.Report(SDF::e_PDFA341, font.GetSDFObj());
        return unusable;
    }
    QVX_CHECK(descriptor != nullptr, "Missing FontDescriptor.");
    bool suits = font.GetEmbeddedStream() != nullptr;
    if (suits && font.GetEmbeddedKey() == "FontFile3") {
        const std::string& sub = font.GetEmbeddedSubtype();
        Font::Kind k = font.IsComposite() ? font.GetDescendantKind() : font.GetKind();
        // PDF/A-1 builds on PDF 1.4, which knows no OpenType programs.
        suits = (sub == "OpenType" && ctx.Part() > 1) || (sub == "Type1C" && (k == Font::e_type1 || k == Font::e_mmtype1)) ||
                (sub == "CIDFontType0C" && k == Font::e_cid_type0);
        // Type1C and CIDFontType0C programs are bare CFF, not wrapped in OpenType.
        const FontProgram* p = font.GetProgram();
        if (sub != "OpenType" && p && (p->IsSFNT() || p->Format() != "CFF")) suits = false;
    }
    // FontFile holds a Type 1 program, which only a Type 1 font takes; FontFile2 TrueType
    // outlines, for a TrueType font or a CIDFontType2 (one with CFF outlines is a
    // CIDFontType0). A program that FreeType cannot open is judged as damaged below.
    if (suits && (font.GetEmbeddedKey() == "FontFile" || font.GetEmbeddedKey() == "FontFile2")) {
        const bool type1 = font.GetEmbeddedKey() == "FontFile";
        Font::Kind k = font.IsComposite() ? font.GetDescendantKind() : font.GetKind();
        const FontProgram* p = font.GetProgram();
        suits = type1 ? (k == Font::e_type1 || k == Font::e_mmtype1) && (!p || p->Format() == "Type 1")
                      : (k == Font::e_truetype || k == Font::e_cid_type2) && (!p || p->Format() == "TrueType");
    }
    if (!suits) {
        ctx.Report(SDF::e_PDFA341, font.GetSDFObj());
        return ctx.state.convert && RefileProgram(ctx, font) ? Embedding::e_refiled : unusable;
    }
    if (font.IsProgramDamaged()) {
        ctx.Report(SDF::e_PDFA321, font.GetSDFObj());
        return ctx.state.convert && (RepairLocaFormat(ctx, font) || MendCFF(ctx, font)) ? Embedding::e_refiled : unusable;
    }
    if (font.GetProgram() && font.GetProgram()->HasGlyphTablesBeyondEnd()) {
        ctx.Report(SDF::e_PDFA321, font.GetSDFObj());
        return unusable;
    }
    if (IsSegmentedType1(font)) {
        ctx.Report(SDF::e_PDFA321, font.GetSDFObj());
        return ctx.state.convert && JoinType1Segments(ctx, font) ? Embedding::e_refiled : unusable;
    }
    // Sound, yet written in a form not every reader takes: the copy gets the common form.
    if (ctx.state.convert && HasLongCFFHeader(font) && MendCFF(ctx, font)) return Embedding::e_refiled;
    if (ctx.state.convert && HasUnreadablePost(font) && MendPostTable(ctx, font)) return Embedding::e_refiled;
    return Embedding::e_usable;
}

}  // namespace FontRules

void FontCheck::PageBegin(PassContext& ctx, const Page& page)
{
    m_actual_text.clear();
    mp_struct_parents = FontRules::PageStructParents(ctx.doc, page);
}

FontCheck::FontState& FontCheck::StateOf(PassContext& ctx, const GState& gs)
{
    auto [it, fresh] = m_fonts.try_emplace(gs.font_dict);
    FontState& st = it->second;
    if (fresh) {
        st.font = gs.font;
        FontRules::CheckDictionary(ctx, *st.font);
        FontRules::CheckToUnicodeEntry(ctx, *st.font);
        // Text that draws nothing may keep a font without its program, yet font lists count
        // it as missing: conversion embeds one whatever the text draws, which changes nothing
        // on the page.
        const Font& f = *st.font;
        if (ctx.state.convert && f.GetKind() != Font::e_type3 && f.GetDescriptor() && !f.GetEmbeddedStream())
            ctx.caches.Get<FontReplacements>().Mark(st.font);
    }
    return st;
}

void FontCheck::RenderChecks(PassContext& ctx, FontState& st)
{
    st.rendered = true;
    if (st.font->GetKind() == Font::e_type3) return;
    FontRules::Embedding embedding = FontRules::CheckEmbedding(ctx, *st.font);
    // The rules that follow read the program now filed in the dictionaries.
    if (embedding == FontRules::Embedding::e_refiled) st.font = Font::Create(st.font->GetSDFObj());
    const Font& f = *st.font;
    st.program_ok = embedding == FontRules::Embedding::e_refiled ? !f.IsProgramDamaged() && f.GetEmbeddedStream()
                                                                 : embedding == FontRules::Embedding::e_usable;
    if (embedding == FontRules::Embedding::e_replace) ctx.caches.Get<FontReplacements>().Mark(st.font);
    if (f.IsComposite()) FontRules::CheckComposite(ctx, f);
    if (f.GetKind() == Font::e_truetype && FontRules::CheckTrueTypeEncoding(ctx, f) && ctx.state.convert)
        ctx.caches.Get<FontReplacements>().MarkSingleCMap(st.font);
    // A subset's descriptor owes its CharSet or CIDSet whatever became of the program;
    // conversion rebuilds them from a usable one only.
    if ((st.program_ok || !ctx.state.convert) && !st.subset_checked) {
        st.subset = FontRules::CheckSubset(ctx, f);
        st.subset_checked = true;
    }
}

void FontCheck::OnElement(PassContext& ctx, const Element& el, ElementReader& reader)
{
    if (!ctx.Checks() && !ctx.state.is_pdfua) return;
    switch (el.kind) {
    case Element::e_marked_content_begin: {
        FontRules::CheckActualTextValue(ctx, el.obj, el.stream);
        bool enclosed = !m_actual_text.empty() && m_actual_text.back();
        bool actual = enclosed || FontRules::MarkedContentHasActualText(el.obj, mp_struct_parents);
        if (m_actual_text.size() < Common::Limits::kMaxMarkedContentDepth) m_actual_text.push_back(actual);
        break;
    }
    case Element::e_marked_content_end:
        if (!m_actual_text.empty()) m_actual_text.pop_back();
        break;
    case Element::e_text:
        OnText(ctx, el, reader);
        break;
    default:
        break;
    }
}

void FontCheck::OnIssue(PassContext& ctx, const ContentIssue& issue)
{
    if (issue.op != "Tf" || issue.category != "Font") return;
    if (issue.kind != ContentIssue::e_missing_resource && issue.kind != ContentIssue::e_bad_resource) return;
    m_missing_font = issue.name;
    mp_missing_font_stream = issue.stream;
    // PDF/A-4 wants every name a stream sets defined, whether text follows or not (an empty
    // field's appearance sets its font and shows nothing): conversion defines it as it does
    // a missing font that shows text.
    if (ctx.Checks() && ctx.state.convert && issue.kind == ContentIssue::e_missing_resource &&
        SDF::InForce(SDF::e_PDFA46223, ctx.state.level))
        ctx.caches.Get<MissingFonts>().Add(issue.resources, issue.stream, issue.name, {});
}

// Text with no font to draw it: no program of it is embedded. As for fonts without their
// program, invisible text breaks no rule, yet conversion gives it a font all the same: text
// operators need one, whatever the mode. Text shown with no font set at all gets a font
// under a name of its own (the empty name of MissingFonts), as does a missing empty name. A
// TJ of numbers alone only moves the text position.
void FontCheck::TextWithoutFont(PassContext& ctx, const Element& el, ElementReader& reader)
{
    if (!ctx.Checks() || el.strings.empty()) return;
    if (el.gstate->text_render_mode != 3) ctx.Report(SDF::e_PDFA341, el.stream);
    if (!ctx.state.convert) return;
    const bool named = el.stream == mp_missing_font_stream;
    ctx.caches.Get<MissingFonts>().Add(reader.GetResources().GetDict(), el.stream, named ? m_missing_font : "",
                                       el.strings);
    if (!named)
        ctx.caches.Get<StreamsToClean>()[el.stream].fontless[reader.OffsetInStream()] = {
            el.gstate->text_render_mode, el.gstate->char_spacing, el.gstate->word_spacing};
}

void FontCheck::OnText(PassContext& ctx, const Element& el, ElementReader& reader)
{
    if (!el.gstate) return;
    if (!el.gstate->font_dict) return TextWithoutFont(ctx, el, reader);
    if (!el.gstate->font) return;
    FontState& st = StateOf(ctx, *el.gstate);
    bool drawn = el.gstate->text_render_mode != 3;
    if (drawn && !st.rendered) RenderChecks(ctx, st);
    // A subset embedded for text that draws nothing still owes its CIDSet or CharSet.
    const Font& shown = *st.font;
    if (!drawn && !st.rendered && !st.subset_checked && shown.GetKind() != Font::e_type3 && shown.GetEmbeddedStream() &&
        !shown.IsProgramDamaged()) {
        st.subset = FontRules::CheckSubset(ctx, shown);
        st.subset_checked = true;
    }
    // Conversion gives text with private-use values the ActualText the Unicode levels want,
    // holding the public characters known for it and the values it had otherwise, so that
    // readers extract the same text as before.
    const bool enclosed = !m_actual_text.empty() && m_actual_text.back();
    const bool wrap = ctx.state.convert && !enclosed && ctx.Part() != 4 && FontRules::UnicodeLevel(ctx);
    bool private_use = false;
    std::vector<Font::CharCode> codes;
    for (const Element::Shown& s : el.strings) {
        st.font->Decode(s.bytes, codes);
        for (const Font::CharCode& c : codes) {
            if (ctx.Stopped()) return;
            OnCode(ctx, st, c, drawn, reader.GetResources().GetDict());
            private_use = private_use || (wrap && KeepsPrivateUse(st, c));
        }
    }
    if (private_use) ctx.caches.Get<StreamsToClean>()[el.stream].actual_text[reader.OffsetInStream()] = ActualTextOf(st, el);
}

ActualTextFix FontCheck::ActualTextOf(FontState& st, const Element& el)
{
    ActualTextFix fix;
    std::vector<ActualTextRun>& runs = fix.runs;
    Common::Bytes pending;  // codes of the last run not yet written
    auto flush = [&] {
        if (!pending.empty()) SDF::ObjWriter::AppendHexString(runs.back().shown, pending);
        pending.clear();
    };
    // A gap between codes goes outside every Span: readers see the space it makes.
    auto adjust = [&](double v) {
        if (v == 0) return;
        flush();
        if (runs.empty() || !runs.back().text.empty()) runs.emplace_back();
        runs.back().shown += ContentNumber(v);
    };
    bool cut = true;
    std::vector<Font::CharCode> codes;
    for (const Element::Shown& s : el.strings) {
        adjust(s.adjust_before);
        st.font->Decode(s.bytes, codes);
        std::size_t at = 0;
        for (const Font::CharCode& c : codes) {
            bool private_use = false;
            FontRules::AppendActualText(*st.font, c, fix.whole, private_use);
            const bool kept = KeepsPrivateUse(st, c);
            if (runs.empty() || runs.back().text.empty() == kept) {
                flush();
                runs.emplace_back();
            }
            if (kept) FontRules::AppendActualText(*st.font, c, runs.back().text, private_use);
            cut = cut && at + c.nbytes <= s.bytes.size();
            if (cut) pending.insert(pending.end(), s.bytes.begin() + at, s.bytes.begin() + at + c.nbytes);
            at += c.nbytes;
        }
        cut = cut && at == s.bytes.size();
        flush();
    }
    adjust(el.adjust_after);
    flush();
    if (!cut) runs.clear();
    return fix;
}

bool FontCheck::KeepsPrivateUse(FontState& st, const Font::CharCode& c)
{
    auto [it, fresh] = st.private_use.try_emplace(st.font->IsComposite() ? c.cid : c.code, false);
    if (fresh) {
        std::u16string text;
        FontRules::AppendActualText(*st.font, c, text, it->second);
    }
    return it->second;
}

void FontCheck::OnCode(PassContext& ctx, FontState& st, const Font::CharCode& c, bool drawn, Obj* caller_resources)
{
    const Font& f = *st.font;
    std::uint32_t key = f.IsComposite() ? c.cid : c.code;
    if (ctx.state.convert) ctx.caches.Get<FontReplacements>().AddCode(f, c);
    if (drawn && st.drawn.size() < Common::Limits::kMaxFontCodesChecked && st.drawn.insert(key).second) {
        if (f.GetKind() == Font::e_type3) {
            if (!Type3Glyph(ctx, f, c, caller_resources) && ctx.state.convert)
                ctx.caches.Get<FontReplacements>().AddMissingProcedure(st.font, c);
        } else if (st.program_ok) {
            long gid = FontRules::CheckGlyph(ctx, f, c);
            if (gid >= 0 && ctx.state.convert) ctx.caches.Get<FontReplacements>().FixAdvance(st.font, gid, f.GetWidth(c));
            if (ctx.state.convert && FontRules::LacksGlyph(f, c)) ctx.caches.Get<FontReplacements>().AddUncovered(st.font, c);
            FontRules::CheckSubsetCode(ctx, f, st.subset, c);
        }
    }
    // .notdef may not be shown even where nothing is drawn.
    if (!drawn && f.GetKind() != Font::e_type3 && st.hidden.size() < Common::Limits::kMaxFontCodesChecked &&
        st.hidden.insert(key).second)
        FontRules::CheckHiddenCode(ctx, f, c);
    // A code shown both inside and outside ActualText is judged in each.
    const bool in_actual_text = !m_actual_text.empty() && m_actual_text.back();
    const std::uint64_t seen_key = std::uint64_t{key} | (std::uint64_t{in_actual_text} << 32);
    if (st.seen.size() < Common::Limits::kMaxFontCodesChecked && st.seen.insert(seen_key).second)
        FontRules::CheckUnicode(ctx, f, c, in_actual_text);
}

bool FontCheck::Type3Glyph(PassContext& ctx, const Font& font, const Font::CharCode& c, Obj* caller_resources)
{
    Obj* proc = font.GetCharProc(c.code);
    bool named = FontRules::Type3CodeNamed(font, c.code);
    if (!proc || !named) ctx.Report(SDF::e_PDFA352, font.GetSDFObj());
    if (!proc) return false;
    if (m_type3_depth >= Common::Limits::kMaxType3GlyphNesting) return true;
    ++m_type3_depth;
    ElementReader glyph(ctx.caches.Get<ResourceCache>());
    Obj* res = font.GetType3Resources();
    glyph.Begin(proc, res ? res : caller_resources);
    // Marked content left open by the procedure ends with it.
    std::size_t marked = m_actual_text.size();
    while (const Element* e = glyph.Next()) {
        if (ctx.Stopped()) break;
        OnElement(ctx, *e, glyph);
    }
    m_actual_text.resize(std::min(marked, m_actual_text.size()));
    double wx = glyph.GlyphWidth();
    glyph.End();
    --m_type3_depth;
    if (std::isfinite(wx)) FontRules::CheckType3Width(ctx, font, c, wx * font.GetFontMatrix().a * 1000);
    return font.GetEncoding().IsDifference(c.code);
}

}  // namespace qvx::PDF
