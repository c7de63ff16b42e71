#include "pdf/compliance/XmpIdentification.h"

#include <charconv>

#include "pdf/compliance/PDFAConformance.h"
#include "pdf/compliance/XmpNamespaces.h"

namespace qvx::PDF {

namespace {

// PDF/A-1 reads the property once more through the prefix "pdfaid:"; the toolkit refuses
// that path when the packet bound the prefix to another namespace. A packet that binds
// the identification namespace to another prefix is refused the same way.
void CheckPrefixedPath(const XmpCheckContext& ctx, const XmpMeta& meta, std::string_view name,
                       const std::map<std::string, std::set<std::string>>& declared)
{
    bool other_prefix = false;
    if (auto d = declared.find(std::string(XmpNs::kPDFAId)); d != declared.end())
        for (const std::string& p : d->second) other_prefix = other_prefix || p != "pdfaid";
    try {
        meta.GetProperty(XmpNs::kPDFAId, "pdfaid:" + std::string(name));
    } catch (const std::exception&) {
        other_prefix = true;
    }
    if (other_prefix) ctx.Report(SDF::e_PDFA7112);
}

bool IsWholeInteger(std::string_view text)
{
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool IsAllowedPDFAConformance(std::int32_t level, std::string_view c)
{
    switch (level) {
    case e_Level1A: case e_Level2A: case e_Level3A: return c == "A";
    case e_Level1B: return c == "A" || c == "B";
    case e_Level2B: case e_Level3B: return c == "A" || c == "B" || c == "U";
    case e_Level2U: case e_Level3U: return c == "U";
    case e_Level4E: return c == "E";
    case e_Level4F: return c == "F";
    default: return false;
    }
}

void CheckPDFAIdentification(const XmpCheckContext& ctx, const XmpMeta& meta, DocInfoValues& values,
                             const std::map<std::string, std::set<std::string>>& declared)
{
    if (std::optional<XmpProperty> part = meta.GetProperty(XmpNs::kPDFAId, "part")) {
        if (part->value != std::to_string(ctx.Part())) ctx.Report(SDF::e_PDFA7114);
        values.part = Common::UString::FromUTF8(part->value);
        CheckPrefixedPath(ctx, meta, "part", declared);
    } else ctx.Report(SDF::e_PDFA7111);

    if (std::optional<XmpProperty> conf = meta.GetProperty(XmpNs::kPDFAId, "conformance")) {
        if (!IsAllowedPDFAConformance(ctx.state.level, conf->value)) ctx.Report(SDF::e_PDFA7113);
        values.conformance = Common::UString::FromUTF8(conf->value);
        CheckPrefixedPath(ctx, meta, "conformance", declared);
    } else if (ctx.state.level != e_Level4) ctx.Report(SDF::e_PDFA7111);

    if (ctx.IsPDFA1() && meta.GetProperty(XmpNs::kPDFAId, "amd")) {
        XmpIterator it(meta, "", "", XmpIterator::e_all);
        XmpNode node;
        while (it.Next(node)) {
            std::size_t colon = node.path.find(':');
            if (colon != std::string::npos && node.path.substr(colon) == ":amd" && node.path.substr(0, colon) != "pdfaid")
                ctx.Report(SDF::e_PDFA7112);
        }
    }

    std::optional<XmpProperty> rev = meta.GetProperty(XmpNs::kPDFAId, "rev");
    std::string text = rev ? rev->value : std::string();
    if (text.size() != 4) ctx.Report(SDF::e_PDFA46735);
    if (!IsWholeInteger(text)) ctx.Report(SDF::e_PDFA46735);
}

XmpUAIdentification CheckPDFUAIdentification(const XmpCheckContext& ctx, const XmpMeta& meta)
{
    XmpUAIdentification found;
    std::optional<XmpProperty> title = meta.GetProperty(XmpNs::kDC, "title");
    std::optional<std::string> text;
    if (title && XmpOpt::IsAltText(title->options)) text = meta.GetLocalizedText(XmpNs::kDC, "title", "", "x-default");
    if (text) found.title = Common::UString::FromUTF8(*text);
    else ctx.Report(SDF::e_PDFUA17110);

    std::optional<std::string> ns = XmpNamespaceOf("pdfuaid");
    std::optional<std::string> prefix = XmpPrefixOf(XmpNs::kPDFUAId);
    if (!ns && !prefix) {
        ctx.Report(SDF::e_PDFUA151);
        return found;
    }
    if (!ns || !prefix || *ns != XmpNs::kPDFUAId || *prefix != "pdfuaid:") {
        ctx.Report(SDF::e_PDFUA152);
        return found;
    }
    std::optional<XmpProperty> part = meta.GetProperty(XmpNs::kPDFUAId, "part");
    if (!part) {
        ctx.Report(SDF::e_PDFUA151);
        return found;
    }
    found.part = Common::UString::FromUTF8(part->value);
    if (part->value != "1") ctx.Report(SDF::e_PDFUA153);
    return found;
}

}  // namespace qvx::PDF
