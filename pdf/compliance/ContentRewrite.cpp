#include "pdf/compliance/ContentRewrite.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/Limits.h"
#include "common/UString.h"
#include "filters/ASCIIHexEncode.h"
#include "filters/FilterReader.h"
#include "filters/FlateEncode.h"
#include "filters/MemoryFilter.h"
#include "pdf/ExtGState.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageContent.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/ObjectChecks.h"
#include "sdf/CharClass.h"
#include "sdf/NumberToken.h"
#include "sdf/Obj.h"
#include "sdf/ObjWriter.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

namespace {

// The longest strings PDF/A allows, in bytes: PDF/A-1, and PDF/A-2 and -3.
constexpr std::size_t kLongestStringPart1 = 65535, kLongestString = 32767;

// A dictionary's entries as content syntax, without the brackets around them.
std::string EntriesText(const SDF::Obj& dict)
{
    Filters::MemoryFilter sink;
    {
        Filters::FilterWriter w(sink);
        dict.Write(w);
    }
    std::string_view text = Common::AsChars(sink.Data());
    return text.size() >= 4 ? std::string(text.substr(2, text.size() - 4)) : std::string();
}

bool IsTokenEnd(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return SDF::CharClass::IsWhite(u) || SDF::CharClass::IsDelim(u) || c == '%';
}

// What a content stream's tokens may break, as the run found it.
struct TokenRepairs {
    int part = 0;
    bool numbers = false;     // numbers beyond the limits of part
    bool names = false;       // names that are not UTF-8
    bool odd_hex = false;     // hexadecimal strings with an odd number of digits
    std::size_t longest = 0;  // longest string allowed in a text-showing operation, or 0
};

// A hexadecimal string token ("<...>") whose digits are odd in number, written with the zero
// that readers take as its last digit; empty when the token is even or holds anything but
// digits and white space.
std::string EvenHexString(std::string_view token)
{
    std::string digits;
    for (char c : token.substr(1, token.size() >= 2 ? token.size() - 2 : 0)) {
        if (SDF::CharClass::IsWhite(static_cast<unsigned char>(c))) continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        digits += c;
    }
    if (digits.size() % 2 == 0 || token.back() != '>') return {};
    return "<" + digits + "0>";
}

// Appends bytes to out with every number token beyond the limits of part written again, with
// names that are not UTF-8 written as conversion read them, and with odd hexadecimal strings
// made even, each when fix asks for it; comments are passed over. Returns whether it appended.
bool TokensWithinLimits(std::string_view bytes, const TokenRepairs& fix, std::string& out)
{
    std::string written;
    bool changed = false;
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const char c = bytes[i];
        std::size_t j = i + 1;
        if (c == '(') {
            for (int depth = 1; j < n && depth > 0; ++j) {
                if (bytes[j] == '\\') ++j;
                else if (bytes[j] == '(') ++depth;
                else if (bytes[j] == ')') --depth;
            }
        } else if (c == '<' && j < n && bytes[j] == '<') {
            ++j;
        } else if (c == '<') {
            while (j < n && bytes[j] != '>') ++j;
            ++j;
            const std::string even = fix.odd_hex ? EvenHexString(bytes.substr(i, std::min(j, n) - i)) : std::string();
            if (!even.empty()) {
                written += even;
                changed = true;
                i = j;
                continue;
            }
        } else if (c == '%') {
            while (j < n && bytes[j] != '\n' && bytes[j] != '\r') ++j;
        } else if (c == '/') {
            while (j < n && !IsTokenEnd(bytes[j])) ++j;
            std::string name;
            if (fix.names) SDF::CharClass::AppendDecodedName(bytes.substr(i + 1, j - i - 1), name);
            if (fix.names && !Common::IsValidUTF8(name)) {
                SDF::ObjWriter::AppendName(written, Common::AsValidUTF8(name));
                changed = true;
                i = j;
                continue;
            }
        } else if (!IsTokenEnd(c)) {
            while (j < n && !IsTokenEnd(bytes[j])) ++j;
            const std::string_view token = bytes.substr(i, j - i);
            const bool numeric = SDF::CharClass::IsDigit(c) || c == '+' || c == '-' || c == '.';
            const SDF::NumberToken number = numeric ? SDF::ReadNumberToken(token, fix.part) : SDF::NumberToken{};
            if (fix.numbers && SDF::NumberLimitCode(number, fix.part)) {
                written += SDF::NumberWithinLimits(number, fix.part);
                changed = true;
                i = j;
                continue;
            }
        }
        j = std::min(j, n);
        written += bytes.substr(i, j - i);
        i = j;
    }
    if (changed) out += written;
    return changed;
}

// A Tj or TJ showing a string longer than longest, written as a TJ whose strings are cut
// into pieces within it: pieces side by side in one array show as the whole string does. The
// cuts fall at even offsets, between the codes of one- and two-byte encodings alike.
bool LongStringsCut(const Operation& op, std::size_t longest, std::string& out)
{
    if (op.flags || (op.op != Op::e_Tj && op.op != Op::e_TJ) || op.Size() != 1) return false;
    const std::size_t piece = longest - longest % 2;
    std::string shown;
    bool cut = false;
    auto add_string = [&](Common::ByteView bytes) {
        cut = cut || bytes.size() > longest;
        std::size_t at = 0;
        do {
            SDF::ObjWriter::AppendHexString(shown, bytes.subspan(at, std::min(piece, bytes.size() - at)));
            at += piece;
        } while (at < bytes.size());
    };
    if (op.op == Op::e_Tj) {
        if (!op[0].IsString()) return false;
        add_string(op[0].Bytes());
    } else {
        const SDF::Obj* array = op[0].obj.get();
        if (!array || !array->IsArray()) return false;
        for (std::size_t i = 0; i < array->Size(); ++i) {
            const SDF::Obj* item = array->GetAt(i);
            if (item->IsString()) add_string(item->GetBuffer());
            else if (item->IsNumber()) shown.append(" ").append(ContentNumber(item->GetNumber())).append(" ");
            else return false;
        }
    }
    if (!cut) return false;
    out.append(" [").append(shown).append("] TJ");
    return true;
}

// Whether a dictionary's Filter entry (a name or an array of names) holds a filter PDF/A
// does not permit, or anything but names.
bool HasForbiddenFilter(const SDF::Obj* dict)
{
    SDF::Obj* f = FindIn(dict, "Filter");
    if (!f) return false;
    if (f->IsName()) return !IsPermittedFilter(f->GetName());
    if (!f->IsArray()) return true;
    for (std::size_t i = 0; i < f->Size(); ++i)
        if (SDF::Obj* n = Deref(f->GetAt(i)); !n || !n->IsName() || !IsPermittedFilter(n->GetName())) return true;
    return false;
}

// Inline image data under a filter the level forbids (LZW, for one), decoded and written
// again Flate-compressed as hexadecimal text (no EI can appear in it, and inline images are
// small); dict is given the new filters. Null when the data does not decode.
std::optional<Common::Bytes> ReencodedInlineData(SDF::Obj& dict, Common::ByteView data)
{
    std::optional<Common::Bytes> samples = ReadDecodedInline(dict, data, Common::Limits::kMaxContentBytes);
    if (!samples) return std::nullopt;
    auto sink = std::make_unique<Filters::MemoryFilter>();
    Filters::MemoryFilter* mem = sink.get();
    Filters::FlateEncode chain(std::make_unique<Filters::ASCIIHexEncode>(std::move(sink)));
    Filters::FilterWriter w(chain);
    w.WriteBuffer(*samples);
    w.Finish();
    SDF::Obj* filters = dict.PutArray("Filter");
    filters->PushBackName("ASCIIHexDecode");
    filters->PushBackName("FlateDecode");
    dict.Erase("DecodeParms");
    return mem->Release();
}

bool Listed(const std::map<std::size_t, std::string>& operators, const Operation& op)
{
    auto it = operators.find(op.offset);
    return it != operators.end() && it->second == op.keyword;
}

// A number operator written with the last operands it has, as many as it takes; false when
// one of those is no number.
bool WithOperandsTaken(const Operation& op, std::string& out)
{
    const auto taken = static_cast<std::size_t>(std::max(0, OperandCount(op.op)));
    if (op.Size() < taken) return false;
    std::string written;
    for (std::size_t i = op.Size() - taken; i < op.Size(); ++i) {
        if (!op[i].IsNumber()) return false;
        char buf[64];
        auto [end, error] = std::to_chars(buf, buf + sizeof buf, op[i].number, std::chars_format::fixed);
        if (error != std::errc()) return false;
        written.append(" ").append(buf, end);
    }
    out += written;
    out.append(" ").append(op.keyword);
    return true;
}

// The d0 of a glyph whose width operator was damaged, with the first two numbers of its
// operands; false when they are no finite numbers.
bool GlyphWidthOperator(std::string_view operands, std::string& out)
{
    double w[2];
    std::size_t i = 0;
    for (double& v : w) {
        while (i < operands.size() && IsTokenEnd(operands[i])) ++i;
        std::size_t j = i;
        while (j < operands.size() && !IsTokenEnd(operands[j])) ++j;
        auto [end, error] = std::from_chars(operands.data() + i, operands.data() + j, v);
        if (error != std::errc() || end != operands.data() + j || !std::isfinite(v)) return false;
        i = j;
    }
    out.append(" " + ContentNumber(w[0]) + " " + ContentNumber(w[1]) + " d0");
    return true;
}

bool IsTextShowing(Op op) { return op == Op::e_Tj || op == Op::e_TJ || op == Op::e_quote || op == Op::e_dquote; }

// A text string in UTF-16 with its byte order mark, written in hex.
std::string HexText(std::u16string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "<FEFF";
    for (char16_t u : text)
        for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(u >> shift) & 0xF];
    return out + ">";
}

// The operation as TJ operations over its runs (a quote first moves to the next line, as
// it would), only the runs that need it in a Span: readers extract the rest as before.
bool AppendRuns(const Operation& op, const std::vector<ActualTextRun>& runs, std::string& out)
{
    if (runs.empty()) return false;
    if (op.op == Op::e_dquote) {
        if (op.Size() != 3 || !op[0].IsNumber() || !op[1].IsNumber()) return false;
        out.append(" " + ContentNumber(op[0].number) + " Tw " + ContentNumber(op[1].number) + " Tc");
    }
    if (op.op == Op::e_quote || op.op == Op::e_dquote) out += " T*";
    for (const ActualTextRun& r : runs) {
        if (!r.text.empty()) out.append(" /Span <</ActualText ").append(HexText(r.text)).append(">> BDC");
        out.append(" [").append(r.shown).append("] TJ");
        if (!r.text.empty()) out.append(" EMC");
    }
    return true;
}

// Text shown with no font set, in the invisible mode and moving nothing, with font_name at
// size 0 when there is one; the rendering mode and spacing come back after it.
void AppendFontless(std::string& out, std::string_view bytes, const FontlessText& state, const std::string& font_name)
{
    if (font_name.empty()) return AppendInvisible(out, bytes, state.mode);
    out.append(" 3 Tr /").append(font_name).append(" 0 Tf 0 Tc 0 Tw").append(bytes);
    out.append(" " + std::to_string(state.mode) + " Tr " + ContentNumber(state.char_spacing) + " Tc " +
               ContentNumber(state.word_spacing) + " Tw ");
}

}  // namespace

bool RewriteContent(SDF::Obj* stream, const OperationEdit& edit, bool whole_only)
{
    if (!stream || !stream->IsStream()) return false;
    std::optional<Common::Bytes> data = ReadDecoded(stream, Common::Limits::kMaxContentBytes);
    if (!data) return false;
    const std::string_view all(reinterpret_cast<const char*>(data->data()), data->size());
    ContentLexer lexer(*data);
    Operation op;
    std::string out;
    std::size_t from = 0;
    bool changed = false;
    while (lexer.Next(op)) {
        const std::size_t to = lexer.Position();
        const std::string_view bytes = all.substr(from, to - from);
        if (whole_only && (op.flags & Operation::e_unterminated)) changed = true;
        else if (edit(op, bytes, out)) changed = true;
        else out += bytes;
        from = to;
    }
    if (whole_only && lexer.TakeEndedInside()) changed = true;
    else out += all.substr(from);
    if (!changed) return false;
    stream->SetStreamData(SDF::FlateBytes(Common::AsBytes(out)));
    stream->PutName("Filter", "FlateDecode");
    stream->Erase("DecodeParms");
    return true;
}

void AppendInvisible(std::string& out, std::string_view bytes, int mode)
{
    out.append(" 3 Tr").append(bytes).append(" " + std::to_string(mode) + " Tr ");
}

void CleanContentStreams(PassContext& ctx)
{
    const StreamsToClean streams = std::move(ctx.caches.Get<StreamsToClean>());
    ctx.caches.Drop<StreamsToClean>();
    for (const auto& entry : streams) {
        if (ctx.Stopped()) return;
        const StreamCleaning& clean = entry.second;
        // The bytes of the operations taken out before the first one kept: a glyph's width
        // operator comes first, so they are all its operands.
        std::string lead;
        bool leading = true;
        auto edit = [&](const Operation& op, std::string_view bytes, std::string& out) {
            if (auto it = clean.fontless.find(op.offset); it != clean.fontless.end()) {
                leading = false;
                AppendFontless(out, bytes, it->second, clean.font_name);
                return true;
            }
            if (!clean.font_name.empty() && op.op == Op::e_Tf && op.Size() == 2 && op[0].IsName() && op[0].text.empty() &&
                op[1].IsNumber()) {
                leading = false;
                out.append(" /").append(clean.font_name).append(" " + ContentNumber(op[1].number) + " Tf");
                return true;
            }
            if (clean.unknown_intents && op.op == Op::e_ri && op.Size() == 1 && op[0].IsName() &&
                !IsStandardRenderingIntent(op[0].text)) {
                leading = false;
                out.append(" /RelativeColorimetric ri");
                return true;
            }
            const bool faulty = Listed(clean.faulty, op);
            const bool gone = op.op == Op::e_unknown || faulty ||
                              (op.op == Op::e_Do && op.Size() == 1 && op[0].IsName() && clean.missing.contains(op[0].text));
            if (leading && gone) lead += bytes;
            if (leading && faulty && (op.op == Op::e_d0 || op.op == Op::e_d1) && GlyphWidthOperator(lead, out)) {
                leading = false;
                return true;
            }
            leading = leading && gone;
            if (gone) out += ' ';
            return gone || (Listed(clean.crowded, op) && WithOperandsTaken(op, out));
        };
        RewriteContent(entry.first, [&](const Operation& op, std::string_view bytes, std::string& out) {
            auto it = clean.actual_text.find(op.offset);
            if (it == clean.actual_text.end() || !IsTextShowing(op.op)) return edit(op, bytes, out);
            std::string inner;
            const bool edited = edit(op, bytes, inner);
            if (!edited && AppendRuns(op, it->second.runs, out)) return true;
            if (!edited) inner = bytes;
            out.append(" /Span <</ActualText ").append(HexText(it->second.whole)).append(">> BDC");
            if (inner.empty() || !SDF::CharClass::IsWhite(static_cast<unsigned char>(inner[0]))) out += ' ';
            out.append(inner).append(" EMC");
            return true;
        }, clean.ended_inside);
    }
}

void CopyInheritedResources(PassContext& ctx)
{
    const std::vector<InheritedResource> found = std::move(ctx.caches.Get<InheritedResources>());
    ctx.caches.Drop<InheritedResources>();
    for (const InheritedResource& r : found) {
        SDF::Obj* owner = r.owner->Resolve();
        SDF::Obj* resources = FindDict(owner, "Resources");
        if (!resources) resources = owner->PutDict("Resources");
        SDF::Obj* category = FindDict(resources, r.category);
        if (!category) category = resources->PutDict(r.category);
        if (!category->FindObj(r.name)) category->Put(r.name, r.entry);
    }
}

void WriteNumbersWithinLimits(PassContext& ctx)
{
    const std::set<SDF::Obj*> streams = std::move(ctx.caches.Get<ContentStreamsWalked>());
    ctx.caches.Drop<ContentStreamsWalked>();
    const SDF::ErrorStore& errors = ctx.state.errors;
    TokenRepairs fix;
    fix.part = ctx.Part();
    fix.numbers = SDF::NumberLimitsBroken(errors);
    fix.names = errors.Has(SDF::e_PDFA187);
    fix.odd_hex = errors.Has(SDF::e_PDFA161);
    if (fix.part == 1 && errors.Has(SDF::e_PDFA11211)) fix.longest = kLongestStringPart1;
    if ((fix.part == 2 || fix.part == 3) && errors.Has(SDF::e_PDFA11212)) fix.longest = kLongestString;
    if (!fix.numbers && !fix.names && !fix.odd_hex && !fix.longest) return;
    for (SDF::Obj* stream : streams) {
        if (ctx.Stopped()) return;
        RewriteContent(stream, [&fix](const Operation& op, std::string_view bytes, std::string& out) {
            if (fix.longest && LongStringsCut(op, fix.longest, out)) return true;
            return op.op != Op::e_BI && TokensWithinLimits(bytes, fix, out);
        });
    }
}

void RemoveInlineImageEntries(PassContext& ctx)
{
    const std::set<SDF::Obj*> streams = std::move(ctx.caches.Get<StreamsWithInlineImageEntries>());
    ctx.caches.Drop<StreamsWithInlineImageEntries>();
    for (SDF::Obj* stream : streams) {
        if (ctx.Stopped()) return;
        RewriteContent(stream, [](const Operation& op, std::string_view, std::string& out) {
            SDF::Obj* dict = op.inline_dict;
            // A damaged image is left as it was read: its extent is a guess.
            if (op.op != Op::e_BI || !dict || op.flags) return false;
            const bool interpolate = FindBool(dict, "Interpolate", false);
            const std::string_view intent = FindName(dict, "Intent");
            const bool bad_intent = !intent.empty() && !IsStandardRenderingIntent(intent);
            std::optional<Common::Bytes> data = HasForbiddenFilter(dict) ? ReencodedInlineData(*dict, op.inline_data)
                                                                          : std::nullopt;
            if (!interpolate && !bad_intent && !data) return false;
            if (interpolate) dict->Erase("Interpolate");
            if (bad_intent) dict->Erase("Intent");
            out += "\nBI";
            out += EntriesText(*dict);
            out += " ID ";
            out += Common::AsChars(data ? Common::ByteView(*data) : op.inline_data);
            out += "\nEI";
            return true;
        });
    }
}

}  // namespace qvx::PDF
