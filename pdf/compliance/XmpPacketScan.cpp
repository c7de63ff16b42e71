#include "pdf/compliance/XmpPacketScan.h"

#include "common/Exception.h"
#include "common/Limits.h"
#include "common/UString.h"

namespace qvx::PDF {

void XmpPacketBuffer::Append(std::string_view chunk, bool more)
{
    QVX_CHECK(!m_complete, "XMP packet data after its final chunk");
    QVX_CHECK(m_bytes.size() + chunk.size() <= Common::Limits::kXmpMaxPacketBytes,
              "XMP packet larger than " + std::to_string(Common::Limits::kXmpMaxPacketBytes) + " bytes");
    m_bytes.append(chunk);
    m_complete = !more;
}

namespace {

enum class Encoding { e_utf8, e_utf16be, e_utf16le, e_utf32be, e_utf32le };

std::uint8_t At(std::string_view b, std::size_t i) { return i < b.size() ? static_cast<std::uint8_t>(b[i]) : 0xAA; }

// Returns the encoding and the length of the byte order mark.
std::pair<Encoding, std::size_t> Detect(std::string_view b)
{
    std::uint8_t b0 = At(b, 0), b1 = At(b, 1), b2 = At(b, 2), b3 = At(b, 3);
    if (b.size() >= 4 && b0 == 0 && b1 == 0 && b2 == 0xFE && b3 == 0xFF) return {Encoding::e_utf32be, 4};
    if (b.size() >= 4 && b0 == 0xFF && b1 == 0xFE && b2 == 0 && b3 == 0) return {Encoding::e_utf32le, 4};
    if (b.size() >= 2 && b0 == 0xFE && b1 == 0xFF) return {Encoding::e_utf16be, 2};
    if (b.size() >= 2 && b0 == 0xFF && b1 == 0xFE) return {Encoding::e_utf16le, 2};
    if (b.size() >= 4 && b0 == 0 && b1 == 0 && b2 == 0 && b3 != 0) return {Encoding::e_utf32be, 0};
    if (b.size() >= 4 && b0 != 0 && b1 == 0 && b2 == 0 && b3 == 0) return {Encoding::e_utf32le, 0};
    if (b.size() >= 2 && b0 == 0 && b1 != 0) return {Encoding::e_utf16be, 0};
    if (b.size() >= 2 && b0 != 0 && b1 == 0) return {Encoding::e_utf16le, 0};
    return {Encoding::e_utf8, 0};
}

std::string FromUTF16(std::string_view b, bool big)
{
    std::u16string units;
    units.reserve(b.size() / 2);
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        auto hi = static_cast<std::uint8_t>(b[big ? i : i + 1]), lo = static_cast<std::uint8_t>(b[big ? i + 1 : i]);
        units.push_back(static_cast<char16_t>(hi << 8 | lo));
    }
    return Common::UString(std::move(units)).ToUTF8();
}

std::string FromUTF32(std::string_view b, bool big)
{
    std::string out;
    out.reserve(b.size() / 4);
    for (std::size_t i = 0; i + 3 < b.size(); i += 4) {
        char32_t cp = 0;
        for (int k = 0; k < 4; ++k)
            cp = cp << 8 | static_cast<std::uint8_t>(b[big ? i + k : i + 3 - k]);
        Common::AppendUTF8(out, cp);
    }
    return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Walker {
public:
    explicit Walker(XmpPacketScan& scan) : m_scan(scan), m_text(scan.text) {}

    void Run()
    {
        std::size_t i = 0;
        while ((i = m_text.find('<', i)) != std::string_view::npos) {
            std::string_view rest = m_text.substr(i);
            std::size_t next;
            if (rest.starts_with("<?")) next = Instruction(i);
            else if (rest.starts_with("<!--")) next = SkipPast(i + 4, "-->");
            else if (rest.starts_with("<![CDATA[")) next = SkipPast(i + 9, "]]>");
            else if (rest.starts_with("<!")) {
                QVX_CHECK(!rest.starts_with("<!DOCTYPE"), "XMP packet with a document type declaration");
                next = SkipPast(i + 2, ">");
            } else if (rest.starts_with("</")) {
                if (m_depth > 0) --m_depth;
                next = SkipPast(i + 2, ">");
                if (m_depth == 0 && !m_root_name.empty() && m_root_end == 0) m_root_end = next;
            } else next = StartTag(i);
            if (next == std::string_view::npos) return;
            i = next;
        }
    }

    // The outermost element: where it begins and ends (0 when unknown), and its name.
    std::size_t RootStart() const { return m_root_start; }
    std::size_t RootEnd() const { return m_root_end; }
    std::string_view RootName() const { return m_root_name; }

private:
    std::size_t SkipPast(std::size_t from, std::string_view end) const
    {
        std::size_t p = m_text.find(end, from);
        return p == std::string_view::npos ? p : p + end.size();
    }

    std::size_t Instruction(std::size_t at)
    {
        std::size_t end = m_text.find("?>", at + 2);
        if (end == std::string_view::npos) return end;
        std::string_view body = m_text.substr(at + 2, end - at - 2);
        std::size_t name_end = 0;
        while (name_end < body.size() && !IsSpace(body[name_end])) ++name_end;
        if (body.substr(0, name_end) == "xpacket") {
            m_scan.wrapper_seen = true;
            std::string_view data = body.substr(name_end);
            if (data.find("bytes") != std::string_view::npos || data.find("encoding") != std::string_view::npos)
                m_scan.header_attributes_clean = false;
        }
        return end + 2;
    }

    std::size_t StartTag(std::size_t at)
    {
        char quote = 0;
        for (std::size_t i = at + 1; i < m_text.size(); ++i) {
            char c = m_text[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') quote = c;
            else if (c == '>') {
                Declarations(m_text.substr(at, i - at));
                if (m_depth == 0 && m_root_name.empty()) {
                    std::size_t n = at + 1;
                    while (n < i && !IsSpace(m_text[n]) && m_text[n] != '/') ++n;
                    m_root_start = at;
                    m_root_name = m_text.substr(at + 1, n - at - 1);
                    if (m_text[i - 1] == '/') m_root_end = i + 1;
                }
                if (m_text[i - 1] != '/') {
                    ++m_depth;
                    QVX_CHECK(m_depth <= Common::Limits::kXmpMaxNesting, "XMP packet nested too deeply");
                }
                return i + 1;
            }
        }
        return std::string_view::npos;
    }

    // Collects the xmlns:prefix="uri" attributes of one start tag.
    void Declarations(std::string_view tag)
    {
        constexpr std::string_view kXmlns = "xmlns:";
        for (std::size_t p = tag.find(kXmlns); p != std::string_view::npos; p = tag.find(kXmlns, p + 1)) {
            if (p == 0 || !IsSpace(tag[p - 1])) continue;
            std::size_t eq = tag.find('=', p);
            if (eq == std::string_view::npos) return;
            std::size_t q = eq + 1;
            while (q < tag.size() && IsSpace(tag[q])) ++q;
            if (q >= tag.size() || (tag[q] != '"' && tag[q] != '\'')) continue;
            std::size_t end = tag.find(tag[q], q + 1);
            if (end == std::string_view::npos) return;
            std::string_view prefix = tag.substr(p + kXmlns.size(), eq - p - kXmlns.size());
            while (!prefix.empty() && IsSpace(prefix.back())) prefix.remove_suffix(1);
            m_scan.declared_prefixes[std::string(tag.substr(q + 1, end - q - 1))].insert(std::string(prefix));
        }
    }

    XmpPacketScan& m_scan;
    std::string_view m_text;
    std::uint32_t m_depth = 0;
    std::size_t m_root_start = 0, m_root_end = 0;
    std::string_view m_root_name;
};

// The XML declaration names the encoding the bytes had; after transcoding it would make
// the toolkit's parser read UTF-8 as UTF-16, so it goes.
std::string WithoutXmlDeclaration(std::string text)
{
    bool declaration = text.starts_with("<?xml") && text.size() > 5 && IsSpace(text[5]);
    std::size_t end = declaration ? text.find("?>") : std::string::npos;
    if (end != std::string::npos) text.erase(0, end + 2);
    return text;
}

}  // namespace

std::string XmpToUTF8(std::string_view bytes)
{
    auto [enc, bom] = Detect(bytes);
    std::string_view body = bytes.substr(bom);
    switch (enc) {
    case Encoding::e_utf16be: return WithoutXmlDeclaration(FromUTF16(body, true));
    case Encoding::e_utf16le: return WithoutXmlDeclaration(FromUTF16(body, false));
    case Encoding::e_utf32be: return WithoutXmlDeclaration(FromUTF32(body, true));
    case Encoding::e_utf32le: return WithoutXmlDeclaration(FromUTF32(body, false));
    case Encoding::e_utf8: break;
    }
    return std::string(bytes);
}

XmpPacketScan ScanXmpPacket(std::string_view bytes)
{
    XmpPacketScan scan;
    scan.was_utf8 = Detect(bytes).first == Encoding::e_utf8 && Common::IsValidUTF8(bytes);
    scan.text = XmpToUTF8(bytes);
    Walker walker(scan);
    walker.Run();
    // The x:xmpmeta element around rdf:RDF is optional, yet the toolkit reads a packet
    // without it as empty: the element is added for it.
    std::string_view root = walker.RootName();
    if (walker.RootEnd() > walker.RootStart() && (root == "RDF" || root.ends_with(":RDF"))) {
        scan.text.insert(walker.RootEnd(), "</x:xmpmeta>");
        scan.text.insert(walker.RootStart(), "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">");
    }
    return scan;
}

}  // namespace qvx::PDF
