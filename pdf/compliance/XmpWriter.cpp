#include "pdf/compliance/XmpWriter.h"

#include "pdf/compliance/PDFAConformance.h"
#include "pdf/compliance/XmpDates.h"
#include "pdf/compliance/XmpNamespaces.h"
#include "pdf/compliance/XmpPacketScan.h"

namespace qvx::PDF {

namespace {

constexpr std::uint32_t kPadding = 2048;

bool IsBlankUnit(char16_t c)
{
    return (c >= 0x0001 && c <= 0x0020) || c == 0x00A0 || (c >= 0x2000 && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202F) || (c >= 0x206A && c <= 0x206F);
}

struct Identification {
    const char* part;
    const char* conformance;   // null when the level has none
    const char* rev;
};

Identification IdentificationOf(std::int32_t level)
{
    switch (level) {
    case e_Level1A: return {"1", "A", nullptr};
    case e_Level1B: return {"1", "B", nullptr};
    case e_Level2A: return {"2", "A", nullptr};
    case e_Level2B: return {"2", "B", nullptr};
    case e_Level2U: return {"2", "U", nullptr};
    case e_Level3A: return {"3", "A", nullptr};
    case e_Level3B: return {"3", "B", nullptr};
    case e_Level3U: return {"3", "U", nullptr};
    case e_Level4: return {"4", nullptr, "2020"};
    case e_Level4E: return {"4", "E", "2020"};
    default: return {"4", "F", "2020"};
    }
}

void Fill(XmpMeta& meta, std::int32_t level, const DocInfoValues& v)
{
    meta.SetDate(XmpNs::kXMP, "CreateDate", InfoDateToXmp(v.creation_date));
    meta.SetDate(XmpNs::kXMP, "ModifyDate", InfoDateToXmp(v.mod_date));
    meta.SetLocalizedText(XmpNs::kDC, "title", "", "x-default", v.title.ToUTF8());
    meta.DeleteProperty(XmpNs::kDC, "creator");
    meta.AppendArrayItem(XmpNs::kDC, "creator", XmpOpt::e_array | XmpOpt::e_ordered, v.author.ToUTF8());
    meta.SetLocalizedText(XmpNs::kDC, "description", "", "x-default", v.subject.ToUTF8());
    meta.SetProperty(XmpNs::kPDF, "Keywords", v.keywords.ToUTF8());
    meta.SetProperty(XmpNs::kXMP, "CreatorTool", v.creator.ToUTF8());
    meta.SetProperty(XmpNs::kPDF, "Producer", v.producer.ToUTF8());
    Identification id = IdentificationOf(level);
    meta.SetProperty(XmpNs::kPDFAId, "part", id.part);
    // Level 4 has no conformance letter: one left from the packet would be refused.
    if (id.conformance) meta.SetProperty(XmpNs::kPDFAId, "conformance", id.conformance);
    else meta.DeleteProperty(XmpNs::kPDFAId, "conformance");
    if (id.rev) meta.SetProperty(XmpNs::kPDFAId, "rev", id.rev);
}

// XML 1.0 has no form for these, not even a character reference, and the toolkit ends
// its text at a NUL: left in, the packet would say less than the Info dictionary.
bool XmlCannotHold(char16_t c)
{
    return c < 0x20 ? c != 0x09 && c != 0x0A && c != 0x0D : c == 0xFFFE || c == 0xFFFF;
}

void DropUnitsXmlCannotHold(Common::UString& text)
{
    std::erase_if(text.Units(), XmlCannotHold);
}

}  // namespace

void CleanXmpText(Common::UString& text)
{
    for (char16_t& c : text.Units())
        if (IsBlankUnit(c)) c = u' ';
}

std::string SerializeXmpPacket(const XmpMeta& meta)
{
    std::string text = meta.Serialize(kPadding);
    constexpr std::string_view kAttr = "x:xmptk=\"";
    std::size_t at = text.find(kAttr);
    if (at == std::string::npos) return text;
    std::size_t begin = at + kAttr.size();
    std::size_t end = text.find('"', begin);
    if (end != std::string::npos) text.replace(begin, end - begin, "Lumbra");
    return text;
}

std::string WriteXmpPacket(std::int32_t level, DocInfoValues& values, const XmpMetaHolder& holder)
{
    CleanXmpText(values.title);
    CleanXmpText(values.subject);
    for (Common::UString* text : {&values.title, &values.author, &values.subject, &values.keywords, &values.creator,
                                  &values.producer})
        DropUnitsXmlCannotHold(*text);
    XmpLock lock;
    if (!lock.Initialised()) return {};
    if (holder) {
        try {
            Fill(*holder, level, values);
            return SerializeXmpPacket(*holder);
        } catch (const std::exception&) {
            // The packet refused an edit; the written one then holds only what is set here.
        }
    }
    try {
        std::shared_ptr<XmpMeta> fresh = XmpMeta::Create();
        Fill(*fresh, level, values);
        return SerializeXmpPacket(*fresh);
    } catch (const std::exception&) {
        return {};
    }
}

std::string WriteXmpPacketUA(std::string_view existing, Common::UString& title)
{
    CleanXmpText(title);
    DropUnitsXmlCannotHold(title);
    XmpLock lock;
    if (!lock.Initialised()) return {};
    try {
        std::shared_ptr<XmpMeta> meta = XmpMeta::Create();
        if (!existing.empty()) meta->Parse(ScanXmpPacket(existing).text);
        meta->SetLocalizedText(XmpNs::kDC, "title", "", "x-default", title.ToUTF8());
        XmpRegisterNamespace(XmpNs::kPDFUAId, "pdfuaid");
        meta->SetProperty(XmpNs::kPDFUAId, "part", "1");
        return SerializeXmpPacket(*meta);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace qvx::PDF
