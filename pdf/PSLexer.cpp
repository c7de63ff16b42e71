#include "pdf/PSLexer.h"

#include <cstdlib>

#include "sdf/CharClass.h"

namespace qvx::PDF {

namespace CC = SDF::CharClass;

void PSLexer::SkipWhite() { m_pos = CC::SkipWhiteAndComments(m_data, m_pos); }

void PSLexer::LiteralString(std::string& out)
{
    int depth = 1;
    while (m_pos < m_data.size()) {
        char c = static_cast<char>(m_data[m_pos++]);
        if (c == '\\' && m_pos < m_data.size()) {
            char e = static_cast<char>(m_data[m_pos++]);
            switch (e) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case '\r':
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
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) return;
        out += c;
    }
}

void PSLexer::HexString(std::string& out)
{
    int hi = -1;
    while (m_pos < m_data.size()) {
        int c = m_data[m_pos++];
        if (c == '>') break;
        int h = CC::HexValue(c);
        if (h < 0) continue;
        if (hi < 0) {
            hi = h;
        } else {
            out += static_cast<char>(hi * 16 + h);
            hi = -1;
        }
    }
    if (hi >= 0) out += static_cast<char>(hi * 16);
}

PSToken PSLexer::Next()
{
    PSToken t;
    SkipWhite();
    if (m_pos >= m_data.size()) return t;
    int c = m_data[m_pos];
    switch (c) {
    case '[': ++m_pos; t.kind = PSToken::e_open_array; return t;
    case ']': ++m_pos; t.kind = PSToken::e_close_array; return t;
    case '{': ++m_pos; t.kind = PSToken::e_open_proc; return t;
    case '}': ++m_pos; t.kind = PSToken::e_close_proc; return t;
    case '(':
        ++m_pos;
        t.kind = PSToken::e_string;
        LiteralString(t.text);
        return t;
    case '<':
        if (m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '<') {
            m_pos += 2;
            t.kind = PSToken::e_open_dict;
            return t;
        }
        ++m_pos;
        t.kind = PSToken::e_string;
        HexString(t.text);
        return t;
    case '>':
        m_pos += (m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '>') ? 2 : 1;
        t.kind = PSToken::e_close_dict;
        return t;
    case ')':
        ++m_pos;
        return Next();  // stray: skip
    default: break;
    }
    bool name = c == '/';
    if (name) ++m_pos;
    std::size_t start = m_pos;
    while (m_pos < m_data.size() && CC::IsRegular(m_data[m_pos])) ++m_pos;
    t.text.assign(reinterpret_cast<const char*>(m_data.data()) + start, m_pos - start);
    if (name) {
        t.kind = PSToken::e_name;
        return t;
    }
    if (t.text.empty()) {  // a delimiter we do not know: skip it
        ++m_pos;
        return Next();
    }
    char* end = nullptr;
    const char* s = t.text.c_str();
    long long iv = std::strtoll(s, &end, 10);
    if (end && *end == '\0' && end != s) {
        t.kind = PSToken::e_int;
        t.i = iv;
        t.r = static_cast<double>(iv);
        return t;
    }
    double rv = std::strtod(s, &end);
    if (end && *end == '\0' && end != s) {
        t.kind = PSToken::e_real;
        t.r = rv;
        return t;
    }
    t.kind = PSToken::e_keyword;
    return t;
}

}  // namespace qvx::PDF
