// Reading CMap programs into CMap objects.
#include <algorithm>

#include "common/Limits.h"
#include "pdf/CMap.h"
#include "pdf/GlyphList.h"
#include "pdf/PSLexer.h"

namespace qvx::PDF {

class CMapParser {
public:
    CMapParser(CMap& cmap, Common::ByteView data, int depth) : m_cmap(cmap), m_lex(data), m_depth(depth) {}
    void Run();

private:
    static bool CodeOf(const PSToken& t, std::uint32_t& code, int& nbytes);
    static std::u16string Utf16Of(const PSToken& t);
    void Codespace();
    void CidSection(std::vector<CMap::Range>& into, bool ranges);
    void BfChar();
    void BfRange();
    void AddUni(std::uint32_t lo, std::uint32_t hi, int nbytes, const PSToken& value);

    CMap& m_cmap;
    PSLexer m_lex;
    int m_depth;
    std::size_t m_entries = 0;
    // bf mappings whose value is one code of one or two bytes, read as CIDs when the CMap
    // has no CID section of its own.
    std::vector<CMap::Range> m_bf_cids;
};

namespace {
// Mappings kept from one CMap program (Adobe's largest have about 20 000).
constexpr std::size_t kMaxEntries = 1u << 20;
}  // namespace

bool CMapParser::CodeOf(const PSToken& t, std::uint32_t& code, int& nbytes)
{
    if (t.kind != PSToken::e_string || t.text.empty() || t.text.size() > 4) return false;
    code = 0;
    for (unsigned char c : t.text) code = (code << 8) | c;
    nbytes = static_cast<int>(t.text.size());
    return true;
}

std::u16string CMapParser::Utf16Of(const PSToken& t)
{
    std::u16string out;
    if (t.kind == PSToken::e_name) {
        for (char32_t cp : GlyphList::ToUnicode(t.text)) {
            if (cp >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                out += static_cast<char16_t>(cp);
            }
        }
        return out;
    }
    const std::string& b = t.text;
    if (b.size() == 1) return std::u16string(1, static_cast<unsigned char>(b[0]));
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        out += static_cast<char16_t>((static_cast<unsigned char>(b[i]) << 8) | static_cast<unsigned char>(b[i + 1]));
    }
    return out;
}

void CMapParser::Codespace()
{
    for (;;) {
        PSToken a = m_lex.Next();
        if (a.kind != PSToken::e_string) return;  // endcodespacerange, or damage
        PSToken b = m_lex.Next();
        if (b.kind != PSToken::e_string) return;
        if (a.text.empty() || a.text.size() > 4 || a.text.size() != b.text.size()) continue;
        CMap::Space s{static_cast<int>(a.text.size()), {}, {}};
        for (std::size_t i = 0; i < a.text.size(); ++i) {
            s.lo[i] = static_cast<std::uint8_t>(a.text[i]);
            s.hi[i] = static_cast<std::uint8_t>(b.text[i]);
        }
        m_cmap.m_space.push_back(s);
    }
}

void CMapParser::CidSection(std::vector<CMap::Range>& into, bool ranges)
{
    for (;;) {
        PSToken a = m_lex.Next();
        if (a.kind != PSToken::e_string) return;
        PSToken b = ranges ? m_lex.Next() : a;
        PSToken v = m_lex.Next();
        std::uint32_t lo, hi;
        int n1, n2;
        if (!CodeOf(a, lo, n1) || !CodeOf(b, hi, n2) || v.kind != PSToken::e_int) {
            if (v.kind == PSToken::e_keyword) return;
            continue;
        }
        // The CID limit holds for every entry the program gives, also one too large to map.
        if (v.i >= 0)
            m_cmap.m_max_cid = std::max<std::uint64_t>(m_cmap.m_max_cid, static_cast<std::uint64_t>(v.i) + (hi < lo ? 0 : hi - lo));
        if (hi < lo || v.i < 0 || v.i > 0xFFFFFFFFll || ++m_entries > kMaxEntries) continue;
        into.push_back({lo, hi, static_cast<std::uint8_t>(n1), static_cast<std::uint32_t>(v.i)});
    }
}

void CMapParser::AddUni(std::uint32_t lo, std::uint32_t hi, int nbytes, const PSToken& value)
{
    if (++m_entries > kMaxEntries) return;
    m_cmap.m_uni.push_back({lo, hi, Utf16Of(value)});
    std::uint32_t cid;
    int cid_bytes;
    if (value.kind == PSToken::e_string && value.text.size() <= 2 && CodeOf(value, cid, cid_bytes))
        m_bf_cids.push_back({lo, hi, static_cast<std::uint8_t>(nbytes), cid});
}

void CMapParser::BfChar()
{
    for (;;) {
        PSToken a = m_lex.Next();
        if (a.kind != PSToken::e_string) return;
        PSToken v = m_lex.Next();
        std::uint32_t code;
        int n;
        if (!CodeOf(a, code, n)) continue;
        if (v.kind == PSToken::e_string || v.kind == PSToken::e_name) AddUni(code, code, n, v);
        else if (v.kind == PSToken::e_keyword) return;
    }
}

void CMapParser::BfRange()
{
    for (;;) {
        PSToken a = m_lex.Next();
        if (a.kind != PSToken::e_string) return;
        PSToken b = m_lex.Next();
        PSToken v = m_lex.Next();
        std::uint32_t lo, hi;
        int n1, n2;
        bool ok = CodeOf(a, lo, n1) && CodeOf(b, hi, n2) && hi >= lo;
        if (v.kind == PSToken::e_open_array) {
            std::uint32_t code = lo;
            for (PSToken e = m_lex.Next(); e.kind != PSToken::e_close_array && e.kind != PSToken::e_end; e = m_lex.Next()) {
                if (ok && code <= hi && (e.kind == PSToken::e_string || e.kind == PSToken::e_name)) AddUni(code, code, n1, e);
                ++code;
            }
        } else if (ok && v.kind == PSToken::e_string) {
            AddUni(lo, hi, n1, v);
        } else if (v.kind == PSToken::e_keyword) {
            return;
        }
    }
}

void CMapParser::Run()
{
    PSToken prev;  // the token before the current one, for "/Key value" pairs
    for (PSToken t = m_lex.Next(); t.kind != PSToken::e_end; prev = std::move(t), t = m_lex.Next()) {
        if (prev.kind == PSToken::e_name) {
            const std::string& key = prev.text;
            if (key == "WMode" && t.kind == PSToken::e_int) {
                m_cmap.m_wmode = static_cast<int>(t.i);
                m_cmap.m_has_wmode = true;
            } else if (key == "CMapName" && t.kind == PSToken::e_name) {
                m_cmap.m_name = t.text;
            } else if (key == "Registry" && t.kind == PSToken::e_string) {
                m_cmap.m_info.registry = t.text;
                m_cmap.m_info.present = true;
            } else if (key == "Ordering" && t.kind == PSToken::e_string) {
                m_cmap.m_info.ordering = t.text;
                m_cmap.m_info.present = true;
            } else if (key == "Supplement" && t.kind == PSToken::e_int) {
                m_cmap.m_info.supplement = static_cast<int>(t.i);
            }
        }
        if (t.kind != PSToken::e_keyword) continue;
        const std::string& k = t.text;
        if (k == "begincodespacerange") Codespace();
        else if (k == "begincidrange") CidSection(m_cmap.m_cid, true);
        else if (k == "begincidchar") CidSection(m_cmap.m_cid, false);
        else if (k == "beginnotdefrange") CidSection(m_cmap.m_notdef, true);
        else if (k == "beginnotdefchar") CidSection(m_cmap.m_notdef, false);
        else if (k == "beginbfchar") BfChar();
        else if (k == "beginbfrange") BfRange();
        else if (k == "usecmap" && prev.kind == PSToken::e_name) {
            m_cmap.m_use = prev.text;
            if (m_depth < Common::Limits::kMaxCMapChain) m_cmap.mp_use = CMap::Predefined(prev.text, m_depth + 1);
        }
    }
    // Some producers give an encoding CMap's codes to CIDs in bf sections. Most readers take
    // them for CIDs while the CMap has no CID section and builds on no other; so do we.
    if (m_cmap.m_cid.empty() && m_cmap.m_use.empty() && !m_bf_cids.empty()) {
        for (const CMap::Range& r : m_bf_cids)
            m_cmap.m_max_cid = std::max<std::uint64_t>(m_cmap.m_max_cid, std::uint64_t{r.value} + (r.hi - r.lo));
        m_cmap.m_cid = std::move(m_bf_cids);
    }
}

std::shared_ptr<const CMap> CMap::Parse(Common::ByteView data, int depth)
{
    auto cmap = std::make_shared<CMap>();
    CMapParser(*cmap, data, depth).Run();
    cmap->Finish();
    return cmap;
}

void CMap::Finish()
{
    auto by_code = [](const Range& a, const Range& b) {
        return a.nbytes != b.nbytes ? a.nbytes < b.nbytes : a.lo < b.lo;
    };
    std::stable_sort(m_cid.begin(), m_cid.end(), by_code);
    std::stable_sort(m_notdef.begin(), m_notdef.end(), by_code);
    std::stable_sort(m_uni.begin(), m_uni.end(), [](const UniRange& a, const UniRange& b) { return a.lo < b.lo; });
    if (mp_use) {
        if (m_space.empty()) m_space = mp_use->m_space;
        if (!m_info.present) m_info = mp_use->m_info;
        m_max_cid = std::max(m_max_cid, mp_use->m_max_cid);
    }
}

}  // namespace qvx::PDF
