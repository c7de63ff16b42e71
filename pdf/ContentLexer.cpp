#include "pdf/ContentLexer.h"

#include <algorithm>

#include "common/Limits.h"
#include "pdf/Image.h"
#include "sdf/Objects.h"
#include "sdf/CharClass.h"

namespace qvx::PDF {

namespace CC = SDF::CharClass;
using SDF::Obj;

double ContentLexer::ParseNumber(std::string_view t)
{
    std::size_t i = 0;
    bool neg = false;
    if (i < t.size() && t[i] == '-') {
        neg = true;
        ++i;
    }
    while (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    double v = 0;
    int digits = 0;
    while (i < t.size() && CC::IsDigit(t[i])) {
        v = v * 10 + (t[i++] - '0');
        if (++digits > 38) return 0;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        double f = 0.1;
        while (i < t.size() && CC::IsDigit(t[i])) {
            v += (t[i++] - '0') * f;
            f *= 0.1;
        }
    }
    if (i != t.size()) return 0;  // trailing junk: the token reads as 0
    return neg ? -v : v;
}

void ContentLexer::ReadLiteral(std::string& out)
{
    int depth = 1;
    while (m_pos < m_data.size()) {
        char c = static_cast<char>(m_data[m_pos++]);
        if (c == '\\') {
            if (m_pos >= m_data.size()) break;
            char e = static_cast<char>(m_data[m_pos++]);
            switch (e) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case '\r':
                if (m_pos < m_data.size() && m_data[m_pos] == '\n') ++m_pos;
                break;
            case '\n': break;
            default:
                if (e >= '0' && e <= '7') {
                    int v = e - '0';
                    for (int k = 0; k < 2 && m_pos < m_data.size() && m_data[m_pos] >= '0' && m_data[m_pos] <= '7'; ++k) {
                        v = v * 8 + (m_data[m_pos++] - '0');
                    }
                    out += static_cast<char>(v & 0xFF);
                } else {
                    out += e;
                }
            }
            continue;
        }
        if (c == '\r') {
            if (m_pos < m_data.size() && m_data[m_pos] == '\n') ++m_pos;
            out += '\n';
            continue;
        }
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) return;
        out += c;
    }
}

void ContentLexer::ReadHex(std::string& out)
{
    int hi = -1;
    while (m_pos < m_data.size()) {
        int c = m_data[m_pos++];
        if (c == '>') break;
        int h = CC::HexValue(c);
        if (h < 0) continue;  // white space, and damage, is skipped
        if (hi < 0) {
            hi = h;
        } else {
            out += static_cast<char>(hi * 16 + h);
            hi = -1;
        }
    }
    if (hi >= 0) out += static_cast<char>(hi * 16);
}

void ContentLexer::ReadName(std::string& out)
{
    while (m_pos < m_data.size() && CC::IsRegular(m_data[m_pos])) {
        char c = static_cast<char>(m_data[m_pos++]);
        if (c == '#' && m_pos + 1 < m_data.size()) {
            int h1 = CC::HexValue(m_data[m_pos]), h2 = CC::HexValue(m_data[m_pos + 1]);
            if (h1 >= 0 && h2 >= 0) {
                out += static_cast<char>(h1 * 16 + h2);
                m_pos += 2;
                continue;
            }
        }
        out += c;
    }
}

ContentLexer::Tok ContentLexer::Token(Operand& into, std::string_view& keyword)
{
    m_pos = CC::SkipWhiteAndComments(m_data, m_pos);
    if (m_pos >= m_data.size()) return Tok::e_end;
    int c = m_data[m_pos];
    switch (c) {
    case '(':
        ++m_pos;
        into.kind = Operand::e_string;
        into.text.clear();
        ReadLiteral(into.text);
        return Tok::e_string;
    case '<':
        if (m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '<') {
            m_pos += 2;
            return Tok::e_dict_open;
        }
        ++m_pos;
        into.kind = Operand::e_string;
        into.text.clear();
        ReadHex(into.text);
        return Tok::e_string;
    case '>':
        if (m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '>') {
            m_pos += 2;
            return Tok::e_dict_close;
        }
        ++m_pos;
        return Tok::e_bad;
    case '[': ++m_pos; return Tok::e_array_open;
    case ']': ++m_pos; return Tok::e_array_close;
    case '/':
        ++m_pos;
        into.kind = Operand::e_name;
        into.text.clear();
        ReadName(into.text);
        return Tok::e_name;
    case ')':
    case '{':
    case '}':
        ++m_pos;
        return Tok::e_bad;
    default: break;
    }
    std::size_t start = m_pos;
    while (m_pos < m_data.size() && CC::IsRegular(m_data[m_pos])) ++m_pos;
    std::string_view t = Common::AsChars(m_data.subspan(start, m_pos - start));
    if (c == '+' || c == '-' || c == '.' || CC::IsDigit(c)) {
        into.kind = Operand::e_number;
        into.number = ParseNumber(t);
        return Tok::e_number;
    }
    keyword = t;
    return Tok::e_keyword;
}

std::unique_ptr<Obj> ContentLexer::ToObj(Operand& o)
{
    switch (o.kind) {
    case Operand::e_bool: return SDF::Bool::Create(o.boolean);
    case Operand::e_number: return SDF::Number::Create(o.number);
    case Operand::e_name: return SDF::Name::Create(o.text);
    case Operand::e_string: return SDF::Str::Create(o.text);
    case Operand::e_array:
    case Operand::e_dict: return std::move(o.obj);
    default: return SDF::Null::Create();
    }
}

// Reads the object that token t begins into `into` (arrays and dictionaries recursively).
bool ContentLexer::ReadObject(Tok t, Operand& into, int depth, std::uint8_t& flags)
{
    if (t == Tok::e_number || t == Tok::e_name || t == Tok::e_string) return true;
    if (t != Tok::e_array_open && t != Tok::e_dict_open) return false;
    if (depth >= Common::Limits::kMaxOperandNesting) {
        flags |= Operation::e_bad_token;
        return false;
    }
    bool is_array = t == Tok::e_array_open;
    auto arr = is_array ? SDF::Array::Create() : nullptr;
    auto dict = is_array ? nullptr : SDF::Dict::Create();
    std::string key;
    bool have_key = false;
    for (;;) {
        Operand item;
        std::string_view kw;
        Tok n = Token(item, kw);
        if (n == Tok::e_end) {
            flags |= Operation::e_unterminated;
            break;
        }
        if (n == (is_array ? Tok::e_array_close : Tok::e_dict_close)) break;
        if (n == Tok::e_keyword) {
            if (kw == "true" || kw == "false") {
                item.kind = Operand::e_bool;
                item.boolean = kw == "true";
            } else if (kw == "null") {
                item.kind = Operand::e_null;
            } else {
                // An operator inside an object: the object ends here, damaged.
                m_pos -= kw.size();
                flags |= Operation::e_unterminated;
                break;
            }
        } else if (!ReadObject(n, item, depth + 1, flags)) {
            flags |= Operation::e_bad_token;
            continue;
        }
        if (is_array) {
            if (arr->Size() < Common::Limits::kMaxOperands * 64) arr->PushBack(ToObj(item));
        } else if (!have_key) {
            if (item.kind == Operand::e_name) {
                key = std::move(item.text);
                have_key = true;
            } else {
                flags |= Operation::e_bad_token;
            }
        } else {
            dict->Put(key, ToObj(item));
            have_key = false;
        }
    }
    into.kind = is_array ? Operand::e_array : Operand::e_dict;
    into.obj = is_array ? std::unique_ptr<Obj>(std::move(arr)) : std::unique_ptr<Obj>(std::move(dict));
    return true;
}

bool ContentLexer::Next(Operation& out)
{
    m_operands.clear();
    out = Operation();
    out.operands = &m_operands;
    for (;;) {
        Operand o;
        std::string_view kw;
        Tok t = Token(o, kw);
        if (t == Tok::e_end) return false;
        if (t == Tok::e_keyword) {
            if (kw == "true" || kw == "false") {
                o.kind = Operand::e_bool;
                o.boolean = kw == "true";
            } else if (kw == "null") {
                o.kind = Operand::e_null;
            } else {
                out.keyword = kw;
                out.offset = m_pos - kw.size();
                out.op = OpFromKeyword(kw);
                if (out.op == Op::e_BI) ReadInlineImage(out);
                return true;
            }
        } else if (!ReadObject(t, o, 0, out.flags)) {
            out.flags |= Operation::e_bad_token;
            continue;
        }
        if (m_operands.size() < Common::Limits::kMaxOperands) m_operands.push_back(std::move(o));
        else out.flags |= Operation::e_too_many;
    }
}

}  // namespace qvx::PDF
