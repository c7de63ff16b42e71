#include "sdf/Parser.h"

#include <cmath>
#include <cstring>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/CharClass.h"
#include "sdf/Objects.h"
#include "sdf/ParseException.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::SDF {

using namespace CharClass;

Parser::Parser(Common::ByteView data, SDFDocImpl* doc)
    : mp_doc(doc), m_begin(data.data()), m_cur(data.data()), m_end(data.data() + data.size()), m_full_end(m_end)
{
    if (doc) {
        m_level = doc->HookLevel();
        m_part = CheckState::PartOf(m_level);
        m_utf8_names = m_level >= 1 && m_level <= 11 && m_part >= 2 && doc->GetCheckState().convert;
    }
}

static Common::ByteView ViewOf(Filters::Filter& in, Common::Bytes& owned)
{
    if (auto* mem = dynamic_cast<Filters::MemoryFilter*>(&in); mem && mem->IsInputFilter()) {
        Common::ByteView all = mem->Data();
        return all.subspan(static_cast<std::size_t>(mem->Tell()));
    }
    Filters::FilterReader r(in);
    owned = r.ReadAll();
    return owned;
}

Parser::Parser(Filters::Filter& in, SDFDocImpl* doc) : Parser(Common::ByteView{}, doc)
{
    Common::ByteView v = ViewOf(in, m_owned);
    m_begin = m_cur = v.data();
    m_end = m_full_end = v.data() + v.size();
}

Parser::~Parser() = default;

void Parser::Seek(std::uint64_t pos)
{
    auto size = static_cast<std::uint64_t>(m_end - m_begin);
    m_cur = m_begin + (pos < size ? pos : size);
}

void Parser::SetLimit(std::uint64_t end)
{
    auto full = static_cast<std::uint64_t>(m_full_end - m_begin);
    m_end = m_begin + (end < full ? end : full);
    if (m_cur > m_end) m_cur = m_end;
}

void Parser::SkipStreamEOL()
{
    for (int c; (c = GetByte()) >= 0;) {
        if (c == '\n' || c == 0) break;
        if (c == '\r') {
            if (PeekByte() == '\n') GetByte();
            break;
        }
    }
}

bool Parser::TokenAfterEOL() const { return mp_tok_start && mp_tok_start > m_begin && IsEOL(mp_tok_start[-1]); }

void Parser::Report(std::int32_t code)
{
    if (mp_doc) mp_doc->GetCheckState().ReportAt(m_level, code, m_cur_num);
}

Parser::TokenKind Parser::NextToken()
{
    const Byte* p = m_cur;
    const Byte* e = m_end;
    for (;;) {
        while (p < e && (kTable[*p] & kWhite)) ++p;
        if (p < e && *p == '%') {
            while (p < e && !IsEOL(*p)) ++p;
            continue;
        }
        break;
    }
    mp_tok_start = p;
    if (p == e) {
        m_cur = p;
        m_tok = {};
        return e_eof;
    }
    if (kTable[*p] & kDelim) {
        m_cur = p + 1;
        m_tok = {reinterpret_cast<const char*>(p), 1};
        return e_delim;
    }
    const Byte* q = p + 1;
    // Eight bytes at a time while none of them ends the token.
    while (e - q >= 8 && !((kTable[q[0]] | kTable[q[1]] | kTable[q[2]] | kTable[q[3]] | kTable[q[4]] |
                            kTable[q[5]] | kTable[q[6]] | kTable[q[7]]) & kEnds))
        q += 8;
    while (q < e && !(kTable[*q] & kEnds)) ++q;
    m_cur = q;
    m_tok = {reinterpret_cast<const char*>(p), static_cast<std::size_t>(q - p)};
    return e_regular;
}

bool Parser::GetObj()
{
    const std::size_t depth = m_frames.size();
    for (;;) {
        TokenKind kind = NextToken();
        if (kind == e_eof) {
            if (m_frames.size() > depth) {
                CloseEarly(depth);
                return true;
            }
            return false;
        }
        char c = m_tok[0];
        if (kind == e_delim) {
            switch (c) {
            case '(': ReadLiteralString(); break;
            case ')':
                if (!m_salvage) QVX_THROW("matched )", "')' is not matched");
                Mended();
                break;
            case '<':
                if (PeekByte() == '<') {
                    ++m_cur;
                    OpenFrame(true);
                } else if (!ReadHexString()) {
                    OpenFrame(true);
                }
                break;
            case '>':
                if (PeekByte() == '>' && CloseArraysInDict(depth)) {
                    ++m_cur;
                    CloseDict();
                    break;
                }
                if (!m_salvage) QVX_THROW_PARSE("PeekByte() == '>' && CloseArraysInDict(depth)", "'<<' is not matched");
                // A lone > or a >> with no dictionary open is a damaged byte: closing on it
                // would cut off the entries after it.
                if (PeekByte() == '>') ++m_cur;
                Mended();
                break;
            case '[': OpenFrame(false); break;
            case '/': ReadName(); break;
            case ']':
                if (m_frames.size() > depth && !m_frames.back().dict) {
                    CloseArray();
                    break;
                }
                [[fallthrough]];
            default:  // a stray ] or a brace: taken as a keyword
                if (m_frames.size() > depth) {
                    m_cur = mp_tok_start;
                    CloseEarly(depth);
                    return true;
                }
                return false;
            }
        } else if (c == '+' || c == '-' || c == '.' || IsDigit(c)) {
            ReadNumber();
        } else if (m_tok == "true" || m_tok == "false") {
            PushObj(ObjSlot(Bool::Create(m_tok == "true")));
        } else if (m_tok == "null") {
            PushObj(ObjSlot(MakeNull()));
        } else if (!HandleKeyword(m_tok)) {
            if (m_frames.size() == depth) return false;
            if (ClosesOpenObjects(m_tok)) {
                m_cur = mp_tok_start;  // read again by the next call
                CloseEarly(depth);
                return true;
            }
            // A stray word inside a dictionary or array (a name with a space in it, a lost
            // slash): the entries after it stay. In a key's place it is dropped, in a
            // value's place it reads as null.
            Mended();
            const Frame& f = m_frames.back();
            if (!f.dict || (m_stack.size() - f.start) % 2 == 1) PushObj(ObjSlot(MakeNull()));
        }
        if (m_frames.size() == depth) return true;
    }
}

void Parser::OpenFrame(bool dict)
{
    if (m_frames.size() + 1 >= static_cast<std::size_t>(Common::Limits::kMaxObjectNesting))
        QVX_THROW("m_level < gl_max_levels", "Exceeds maximum nesting level");
    m_frames.push_back({dict, m_stack.size()});
}

void Parser::CloseArray()
{
    std::size_t start = m_frames.back().start;
    m_frames.pop_back();
    std::size_t n = m_stack.size() - start;
    if (m_level >= 1 && n > 8191) Report(e_PDFA1121);
    auto a = Array::Create();
    a->Reserve(n);
    for (std::size_t i = start; i < m_stack.size(); ++i) a->Append(Box(m_stack[i]));
    m_stack.resize(start);
    PushObj(ObjSlot(std::move(a)));
}

void Parser::CloseDict()
{
    std::size_t start = m_frames.back().start;
    m_frames.pop_back();
    std::vector<DictEntry> entries;
    if (m_salvage && HasBadKey(start)) {
        PairSalvaged(start, entries);
    } else {
        std::size_t n = m_stack.size() - start;
        if (n % 2 != 0) {
            Mended();
            m_stack.pop_back();
            --n;
        }
        if (m_level >= 1 && n / 2 > 4095) Report(e_PDFA1122);
        entries.reserve(n / 2);
        for (std::size_t i = start; i < m_stack.size(); i += 2) {
            Item& k = m_stack[i];
            if (k.kind != Item::e_name) QVX_THROW_PARSE("k.kind == Item::e_name", "Bad key");
            entries.push_back({std::move(m_names[k.name]), Box(m_stack[i + 1])});
        }
    }
    m_stack.resize(start);
    auto d = Dict::Create();
    d->Assign(std::move(entries));
    PushObj(ObjSlot(std::move(d)));
}

bool Parser::HasBadKey(std::size_t start) const
{
    // The odd last item is dropped before pairing: it is never a key.
    const std::size_t end = start + (m_stack.size() - start) / 2 * 2;
    for (std::size_t i = start; i < end; i += 2)
        if (m_stack[i].kind != Item::e_name) return true;
    return false;
}

void Parser::PairSalvaged(std::size_t start, std::vector<DictEntry>& entries)
{
    Mended();
    for (std::size_t i = start; i < m_stack.size();) {
        if (m_stack[i].kind == Item::e_name && i + 1 < m_stack.size()) {
            entries.push_back({std::move(m_names[m_stack[i].name]), Box(m_stack[i + 1])});
            i += 2;
        } else {
            ++i;
        }
    }
}

void Parser::Mended()
{
    if (m_level >= 1) Report(e_PDFA11);
}

void Parser::SalvageInConversion() { m_salvage = mp_doc && mp_doc->GetCheckState().convert; }

bool Parser::CloseArraysInDict(std::size_t depth)
{
    std::size_t i = m_frames.size();
    while (i > depth && !m_frames[i - 1].dict) --i;
    if (i == depth) return false;
    if (i < m_frames.size()) {
        Mended();
        while (m_frames.size() > i) CloseArray();
    }
    return true;
}

void Parser::CloseEarly(std::size_t depth)
{
    Mended();
    while (m_frames.size() > depth) {
        if (m_frames.back().dict) CloseDict();
        else CloseArray();
    }
}

ObjSlot Parser::Box(Item& it)
{
    switch (it.kind) {
    case Item::e_number: return ObjSlot(Number::Create(it.number));
    case Item::e_name: return ObjSlot(std::make_unique<Name>(std::move(m_names[it.name])));
    case Item::e_obj: break;
    }
    return std::move(it.obj);
}

void Parser::PushObj(ObjSlot obj)
{
    Item& it = m_stack.emplace_back();
    it.kind = Item::e_obj;
    it.obj = std::move(obj);
}

void Parser::PushNumberItem(double value)
{
    Item& it = m_stack.emplace_back();
    it.kind = Item::e_number;
    it.number = value;
}

void Parser::PushNumber(double value, bool, std::string_view) { PushNumberItem(value); }

std::unique_ptr<Obj> Parser::MakeNull() { return Null::Create(); }

void Parser::OnString(Common::Bytes&) {}

void Parser::ClearStack()
{
    m_stack.clear();
    m_frames.clear();
    m_names.clear();
}

bool Parser::IsNumberAt(std::size_t i) const
{
    const Item& it = m_stack.at(i);
    // IsIndirect first: the type of an indirect object would load it, through this parser.
    return it.kind == Item::e_number || (it.kind == Item::e_obj && it.obj && !it.obj->IsIndirect() &&
                                          it.obj->GetType() == Obj::e_number);
}

double Parser::NumberAt(std::size_t i) const
{
    const Item& it = m_stack.at(i);
    return it.kind == Item::e_number ? it.number : it.obj->GetNumber();
}

bool Parser::IsDictAt(std::size_t i) const
{
    const Item& it = m_stack.at(i);
    return it.kind == Item::e_obj && it.obj && !it.obj->IsIndirect() && it.obj->GetType() == Obj::e_dict;
}

std::unique_ptr<Obj> Parser::TakeAt(std::size_t i)
{
    ObjSlot s = Box(m_stack.at(i));
    // A bare reference cannot be an object's value of its own: it reads as null.
    if (s && s->IsDocumentOwned()) return MakeNull();
    return s.Release();
}

std::optional<std::uint32_t> Parser::NonNegativeInt(double v)
{
    double r = std::nearbyint(v);
    if (!(r >= 0 && r <= 2147483647.0)) return std::nullopt;
    return static_cast<std::uint32_t>(r);
}

std::uint32_t Parser::ToNonNegativeInt(double v)
{
    std::optional<std::uint32_t> r = NonNegativeInt(v);
    if (!r) QVX_THROW("r >= 0 && r <= 2147483647.0", "Non-negative integer outside allowed range");
    return *r;
}

std::uint32_t Parser::ToPositiveInt(double v)
{
    double r = std::nearbyint(v);
    if (!(r >= 1 && r <= 2147483647.0)) QVX_THROW("r >= 1 && r <= 2147483647.0", "Positive integer outside allowed range");
    return static_cast<std::uint32_t>(r);
}

std::uint32_t Parser::GetNonNegativeIntAt(std::size_t i) const
{
    if (!IsNumberAt(i)) QVX_THROW("IsNumberAt(i)", "Identifier required to be a non-negative integer was not a number.");
    return ToNonNegativeInt(NumberAt(i));
}

std::uint32_t Parser::GetPositiveIntAt(std::size_t i) const
{
    if (!IsNumberAt(i)) QVX_THROW("IsNumberAt(i)", "Identifier required to be a positive integer was not a number.");
    return ToPositiveInt(NumberAt(i));
}

std::string_view Parser::GetNameAt(std::size_t i) const
{
    const Item& it = m_stack.at(i);
    if (it.kind == Item::e_name) return m_names[it.name].Text();
    if (it.kind == Item::e_obj && it.obj && !it.obj->IsIndirect() && it.obj->GetType() == Obj::e_name)
        return it.obj->GetName();
    QVX_THROW("name object at i", "No name object at given location location");
}

std::uint32_t Parser::PopReference(const char* too_few)
{
    std::size_t floor = m_frames.empty() ? 0 : m_frames.back().start;
    const std::size_t n = m_stack.size();
    auto number = [&](std::size_t i) {
        return i >= floor && i < n && IsNumberAt(i) ? NonNegativeInt(NumberAt(i)) : std::nullopt;
    };
    if (m_salvage && !(n >= floor + 2 && number(n - 2))) {
        // A reference that lost its generation ("12 R") still names its object; one that
        // lost its number reads as null (0 is never a target).
        Mended();
        const std::optional<std::uint32_t> num = number(n - 1);
        if (!num) return 0;
        m_stack.pop_back();
        return *num;
    }
    if (n < floor + 2) QVX_THROW("m_stack.size() >= floor + 2", too_few);
    std::uint32_t num = GetNonNegativeIntAt(m_stack.size() - 2);
    m_stack.pop_back();
    m_stack.pop_back();
    return num;
}

void Parser::PushTableReference(std::uint32_t num, std::uint32_t limit)
{
    if (num > limit) QVX_THROW("num <= limit", "Bad obj num");
    // Object 0 is the head of the free list (the table keeps the trailer there): never a target.
    if (num == 0) return PushObj(ObjSlot(MakeNull()));
    Indirect* e = mp_doc->GetEntry(num);
    if (!e) {
        e = mp_doc->SetEntry(num, Indirect::e_in_use, Indirect::kPlaceholder, 0);
        e->SetEngineCreated();
    }
    PushObj(ObjSlot::Borrow(e));
}

bool Parser::ClosesOpenObjects(std::string_view keyword) const
{
    return keyword == "endobj" || keyword == "obj" || keyword == "stream" || keyword == "endstream" ||
           keyword == "xref" || keyword == "trailer" || keyword == "startxref";
}

bool Parser::HandleKeyword(std::string_view keyword)
{
    if (keyword != "R") return false;
    std::uint32_t num = PopReference("Reference expects two arguments");
    Obj* target = mp_doc && num != 0 ? mp_doc->GetObj(num) : nullptr;
    if (target && target->IsIndirect()) PushObj(ObjSlot::Borrow(target));
    else PushObj(ObjSlot(MakeNull()));  // an empty slot of the table
    return true;
}

}  // namespace qvx::SDF
