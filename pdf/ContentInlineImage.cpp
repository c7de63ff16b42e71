// Inline images: the BI dictionary and the extent of the data up to EI.
#include <cmath>

#include "pdf/ContentLexer.h"
#include "pdf/ContentLexerReader.h"
#include "pdf/Image.h"
#include "pdf/ObjUtil.h"
#include "sdf/CharClass.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

namespace CC = SDF::CharClass;
using SDF::Obj;

namespace {

// Bytes after EI that must look like content for an EI found by searching to count.
constexpr std::size_t kEIProbe = 64;

int ComponentsOf(const Obj* cs)
{
    if (!cs) return 0;
    if (cs->IsName()) {
        std::string_view n = cs->GetName();
        if (n == "DeviceGray") return 1;
        if (n == "DeviceRGB") return 3;
        if (n == "DeviceCMYK") return 4;
        return 0;  // a named resource: unknown here
    }
    if (cs->IsArray() && cs->Size() > 0) {
        Obj* head = cs->GetAt(0);
        if (head->IsName() && (head->GetName() == "Indexed" || head->GetName() == "I")) return 1;
    }
    return 0;
}

// Data under ASCIIHex or ASCII85 is text in which "EI" can stand anywhere.
bool TextFiltered(const Obj* dict)
{
    const Obj* f = dict->FindObj("Filter");
    if (f && f->IsArray()) f = f->Size() > 0 ? f->GetAt(0) : nullptr;
    if (!f || !f->IsName()) return false;
    std::string_view n = f->GetName();
    return n == "ASCIIHexDecode" || n == "ASCII85Decode";
}

}  // namespace

std::size_t ContentLexer::InlineDataLength(const Obj* dict) const
{
    constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);
    double len = FindNumber(dict, "Length", -1);
    if (len >= 0 && std::isfinite(len) && len <= static_cast<double>(m_data.size())) return static_cast<std::size_t>(len);
    if (Obj* f = dict->FindObj("Filter"); f && !(f->IsArray() && f->Size() == 0)) return kUnknown;
    double w = FindNumber(dict, "Width", 0), h = FindNumber(dict, "Height", 0);
    bool mask = FindBool(dict, "ImageMask", false);
    double bpc = mask ? 1 : FindNumber(dict, "BitsPerComponent", 0);
    int comps = mask ? 1 : ComponentsOf(dict->FindObj("ColorSpace"));
    if (!(w > 0 && h > 0 && bpc > 0 && comps > 0) || w > 1e7 || h > 1e7 || bpc > 16) return kUnknown;
    double row = std::ceil(w * comps * bpc / 8);
    double total = row * h;
    if (total > static_cast<double>(m_data.size())) return kUnknown;
    return static_cast<std::size_t>(total);
}

// An EI at i: white space before (or nothing, for empty data), a token end after. Some
// writers put EI straight after the last byte of binary data (its end is known only to its
// filter); such an EI counts when white space or the stream's end follows it.
bool ContentLexer::FindEI(std::size_t from, bool binary, std::size_t& data_end, std::size_t& after) const
{
    const std::size_t n = m_data.size();
    for (std::size_t i = from; i + 1 < n; ++i) {
        if (m_data[i] != 'E' || m_data[i + 1] != 'I') continue;
        const bool white = i > from && CC::IsWhite(m_data[i - 1]);
        if (i + 2 < n && !CC::EndsToken(m_data[i + 2])) continue;
        if (i > from && !white && !(binary && (i + 2 == n || CC::IsWhite(m_data[i + 2])))) continue;
        // What follows must be content: printable text and white space only.
        bool plausible = true;
        for (std::size_t k = i + 2; k < n && k < i + 2 + kEIProbe && plausible; ++k) {
            Common::Byte b = m_data[k];
            plausible = CC::IsWhite(b) || (b >= 0x20 && b < 0x7F);
        }
        if (!plausible) continue;
        data_end = white ? i - 1 : i;
        after = i + 2;
        return true;
    }
    return false;
}

void ContentLexer::ReadInlineImage(Operation& out)
{
    // The dictionary: objects up to the keyword ID.
    std::uint8_t flags = 0;
    bool have_id = ReadUntilKeyword(flags) && m_keyword == "ID";
    if (flags) out.flags |= Operation::e_bad_inline_image;
    TakeOperands(flags);
    auto dict = SDF::Dict::Create();
    for (std::size_t i = 0; i + 1 < m_operands.size(); i += 2) {
        Operand& key = m_operands[i];
        Operand& val = m_operands[i + 1];
        if (key.kind != Operand::e_name) {
            out.flags |= Operation::e_bad_inline_image;
            continue;
        }
        std::string_view full = ExpandInlineImageKey(key.text);
        std::unique_ptr<Obj> v;
        switch (val.kind) {
        case Operand::e_number: v = SDF::Number::Create(val.number); break;
        case Operand::e_bool: v = SDF::Bool::Create(val.boolean); break;
        case Operand::e_string: v = SDF::Str::Create(val.text); break;
        case Operand::e_name:
            v = SDF::Name::Create(full == "ColorSpace" || full == "Filter" ? ExpandInlineImageName(val.text)
                                                                            : std::string_view(val.text));
            break;
        case Operand::e_array:
        case Operand::e_dict: v = std::move(val.obj); break;
        default: v = SDF::Null::Create(); break;
        }
        if (v->IsArray() && (full == "Filter" || full == "ColorSpace") && v->Size() > 0) {
            std::size_t n = full == "Filter" ? v->Size() : 1;
            for (std::size_t k = 0; k < n; ++k) {
                Obj* e = v->GetAt(k);
                if (e->IsName()) e->SetName(ExpandInlineImageName(e->GetName()));
            }
        }
        dict->Put(full, std::move(v));
    }
    if (m_operands.size() % 2) out.flags |= Operation::e_bad_inline_image;
    m_operands.clear();
    mp_inline_dict = std::move(dict);
    out.inline_dict = mp_inline_dict.get();
    if (!have_id) {
        // BI without ID: the keyword that ended the dictionary is lost with it.
        out.flags |= Operation::e_bad_inline_image;
        return;
    }
    std::size_t pos = static_cast<std::size_t>(mp_reader->Tell());
    // One white-space byte separates ID from the data.
    if (pos < m_data.size() && CC::IsWhite(m_data[pos])) ++pos;
    std::size_t start = pos;
    std::size_t len = InlineDataLength(out.inline_dict);
    if (len != static_cast<std::size_t>(-1) && start + len <= m_data.size()) {
        std::size_t p = CC::SkipWhiteAndComments(m_data, start + len);
        if (CC::KeywordAt(m_data, p, "EI")) {
            out.inline_data = m_data.subspan(start, len);
            mp_reader->Seek(p + 2);
            return;
        }
    }
    std::size_t data_end, after;
    if (FindEI(start, !TextFiltered(out.inline_dict), data_end, after)) {
        out.inline_data = m_data.subspan(start, data_end - start);
        mp_reader->Seek(after);
        return;
    }
    out.flags |= Operation::e_unterminated;
    out.inline_data = m_data.subspan(start);
    mp_reader->Seek(m_data.size());
}

}  // namespace qvx::PDF
