// The token readers of Parser: numbers, names, literal and hexadecimal strings, each with
// its PDF/A checks.
#include <cmath>

#include "common/Exception.h"
#include "common/UString.h"
#include "sdf/CharClass.h"
#include "sdf/NumberToken.h"
#include "sdf/Objects.h"
#include "sdf/Parser.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::SDF {

using namespace CharClass;

void Parser::ReadNumber()
{
    const bool checked = m_level >= 1 && m_level <= 11 && m_part <= 3;
    const NumberToken n = ReadNumberToken(m_tok, checked ? m_part : 0);
    if (checked)
        if (std::int32_t code = NumberLimitCode(n, m_part)) Report(code);
    PushNumber(n.value, n.real, m_tok);
}

void Parser::ReadName()
{
    const Byte* s = m_cur;
    const Byte* p = s;
    bool escaped = false;
    while (p < m_end && !(kTable[*p] & kEnds)) {
        escaped |= *p == '#';
        ++p;
    }
    m_cur = p;
    std::string_view text(reinterpret_cast<const char*>(s), static_cast<std::size_t>(p - s));
    if (escaped) {
        m_namebuf.clear();
        AppendDecodedName(text, m_namebuf);
        text = m_namebuf;
    }
    const bool hooks = m_level >= 1 && m_level <= 11;
    if (hooks && text.size() > 127) Report(e_PDFA1123);
    if ((hooks && m_part >= 2) || m_utf8_names) {
        if (!text.empty() && !Common::IsValidUTF8(text)) {
            if (hooks) Report(e_PDFA187);
            // Conversion reads such a name as Latin-1 text wherever it stands (resource keys
            // and the content naming them alike, a rebuilt trailer too), and writes it so.
            if (m_utf8_names) {
                m_namebuf = Common::AsValidUTF8(text);
                text = m_namebuf;
            }
        }
    }
    Item& it = m_stack.emplace_back();
    it.kind = Item::e_name;
    it.name = static_cast<std::uint32_t>(m_names.size());
    m_names.emplace_back(text);
}

void Parser::ReadLiteralString()
{
    m_strbuf.clear();
    const Byte* p = m_cur;
    const Byte* e = m_end;
    int depth = 1;
    for (;;) {
        if (p == e) {
            m_cur = p;
            QVX_THROW("p != e", "Corrupt string");
        }
        Byte c = *p++;
        if (c == ')') {
            if (--depth == 0) break;
        } else if (c == '(') {
            ++depth;
        } else if (c == '\r') {
            if (p < e && *p == '\n') ++p;
            c = '\n';
        } else if (c == '\\') {
            if (p == e) {
                m_cur = p;
                QVX_THROW("p != e", "Corrupt string");
            }
            c = *p++;
            switch (c) {
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            case 't': c = '\t'; break;
            case 'b': c = '\b'; break;
            case 'f': c = '\f'; break;
            case '\r':
                if (p < e && *p == '\n') ++p;
                continue;
            case '\n': continue;
            default:
                if (c >= '0' && c <= '7') {
                    int v = c - '0';
                    for (int k = 0; k < 2 && p < e && *p >= '0' && *p <= '7'; ++k) v = v * 8 + (*p++ - '0');
                    c = static_cast<Byte>(v & 0xFF);
                }
                break;
            }
        }
        m_strbuf.push_back(c);
    }
    m_cur = p;
    FinishString();
}

bool Parser::ReadHexString()
{
    m_strbuf.clear();
    const Byte* p = m_cur;
    const Byte* e = m_end;
    int high = -1;
    for (;;) {
        if (p == e) {
            m_cur = p;
            QVX_THROW("p != e", "Bad String");
        }
        Byte c = *p++;
        if (c == '>') break;
        if (kTable[c] & kWhite) continue;
        if (c == '%') {
            while (p < e && !IsEOL(*p)) ++p;
            continue;
        }
        int h = HexValue(c);
        if (h < 0) {
            if (!m_salvage) {
                m_cur = p;
                QVX_THROW("h >= 0", "Bad String");
            }
            Mended();
            // A name right after the < means a << lost a byte; otherwise the string ends
            // at the damage and what follows is read as objects again.
            m_cur = p - 1;
            if (c == '/' && high < 0 && m_strbuf.empty()) return false;
            if (high >= 0) m_strbuf.push_back(static_cast<Byte>(high * 16));
            FinishString();
            return true;
        }
        if (high < 0) {
            high = h;
        } else {
            m_strbuf.push_back(static_cast<Byte>(high * 16 + h));
            high = -1;
        }
    }
    m_cur = p;
    if (high >= 0) {
        m_strbuf.push_back(static_cast<Byte>(high * 16));
        if (m_level >= 1) Report(e_PDFA161);
    }
    FinishString();
    return true;
}

void Parser::FinishString()
{
    if (m_level >= 1 && m_level <= 11) {
        std::size_t n = m_strbuf.size();
        if (n >= 65536) Report(e_PDFA11211);
        if (n >= 32768) Report(e_PDFA11212);
    }
    OnString(m_strbuf);
    PushObj(ObjSlot(std::make_unique<Str>(m_strbuf)));
}

}  // namespace qvx::SDF
