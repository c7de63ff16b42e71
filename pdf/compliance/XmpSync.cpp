#include "pdf/compliance/XmpSync.h"

#include "pdf/compliance/XmpDates.h"
#include "pdf/compliance/XmpNamespaces.h"

namespace qvx::PDF {

namespace {

template <class Check>
void Guarded(const XmpCheckContext& ctx, Check check)
{
    try {
        check();
    } catch (const std::exception&) {
        ctx.Report(SDF::e_PDFA723);
    }
}

void CheckDate(const XmpCheckContext& ctx, const XmpMeta& meta, std::string_view name, bool has_key,
               PDFDate& info, bool& info_newer, bool modify, std::int32_t code)
{
    std::optional<XmpDateTime> xmp = meta.GetDate(XmpNs::kXMP, name);
    if (!xmp) {
        if (has_key) ctx.Report(code);
        return;
    }
    if (ctx.IsPDFA1() && has_key) {
        int order = CompareXmpDates(*xmp, InfoDateToXmp(info));
        if (order != 0) ctx.Report(code);
        if (order < 0) {
            info_newer = true;
            return;
        }
        if (modify) info_newer = false;
    }
    info = XmpDateToInfo(*xmp);
}

// One text check once the XMP text is known to be of the required form.
void Merge(const XmpCheckContext& ctx, const DocInfoValues& values, bool has_key, Common::UString& info,
           const std::string& xmp_utf8, std::int32_t code)
{
    Common::UString xmp = Common::UString::FromUTF8(xmp_utf8);
    if (ctx.IsPDFA1() && has_key) {
        if (info == xmp) return;
        ctx.Report(code);
        if (!values.info_newer) info = std::move(xmp);
        return;
    }
    info = std::move(xmp);
}

void Absent(const XmpCheckContext& ctx, const Common::UString& info, std::int32_t code)
{
    if (!info.IsEmpty()) ctx.Report(code);
}

bool WrittenAsAlt(std::span<const XmpRawProperty> raw, std::string_view name)
{
    for (const XmpRawProperty& p : raw)
        if (p.ns == XmpNs::kDC && p.name == name && p.form != XmpRawProperty::e_alt) return false;
    return true;
}

void CheckLangAlt(const XmpCheckContext& ctx, const XmpMeta& meta, std::span<const XmpRawProperty> raw,
                  DocInfoValues& values, std::string_view name, bool has_key, Common::UString& info, std::int32_t code)
{
    std::optional<XmpProperty> prop = meta.GetProperty(XmpNs::kDC, name);
    if (!prop) return Absent(ctx, info, code);
    if (!WrittenAsAlt(raw, name)) return ctx.Report(SDF::e_PDFA739);
    // The toolkit falls back on the first item when no item is x-default; that is not the
    // form Info's text is compared with.
    std::optional<std::string> text;
    std::string x_default = std::string(name) + "[?xml:lang=\"x-default\"]";
    if (XmpOpt::IsAltText(prop->options) && meta.GetProperty(XmpNs::kDC, x_default))
        text = meta.GetLocalizedText(XmpNs::kDC, name, "", "x-default");
    if (!text) return ctx.Report(SDF::e_PDFA739);
    Merge(ctx, values, has_key, info, *text, code);
}

void CheckSimple(const XmpCheckContext& ctx, const XmpMeta& meta, DocInfoValues& values, std::string_view ns,
                 std::string_view name, bool has_key, Common::UString& info, std::int32_t code)
{
    std::optional<XmpProperty> prop = meta.GetProperty(ns, name);
    if (!prop) return Absent(ctx, info, code);
    if (!XmpOpt::IsSimple(prop->options)) return ctx.Report(SDF::e_PDFA739);
    Merge(ctx, values, has_key, info, prop->value, code);
}

void CheckAuthor(const XmpCheckContext& ctx, const XmpMeta& meta, DocInfoValues& values)
{
    std::optional<XmpProperty> creator = meta.GetProperty(XmpNs::kDC, "creator");
    if (!creator) return Absent(ctx, values.author, SDF::e_PDFA732);
    std::optional<XmpProperty> first;
    if (XmpOpt::IsArray(creator->options)) first = meta.GetArrayItem(XmpNs::kDC, "creator", 1);
    if (!first || !XmpOpt::IsSimple(first->options)) return ctx.Report(SDF::e_PDFA739);
    if (ctx.IsPDFA1() && values.has_author && values.author == Common::UString::FromUTF8(first->value)) {
        if (meta.GetArrayItem(XmpNs::kDC, "creator", 2)) ctx.Report(SDF::e_PDFA739);
        else if (!XmpOpt::IsOrdered(creator->options)) ctx.Report(SDF::e_PDFA739);
        return;
    }
    Merge(ctx, values, values.has_author, values.author, first->value, SDF::e_PDFA732);
}

}  // namespace

void CheckXmpDates(const XmpCheckContext& ctx, const XmpMeta& meta, DocInfoValues& values)
{
    values.info_newer = false;
    Guarded(ctx, [&] {
        CheckDate(ctx, meta, "CreateDate", values.has_creation_date, values.creation_date, values.info_newer, false, SDF::e_PDFA737);
    });
    Guarded(ctx, [&] {
        CheckDate(ctx, meta, "ModifyDate", values.has_mod_date, values.mod_date, values.info_newer, true, SDF::e_PDFA738);
    });
}

void CheckXmpTexts(const XmpCheckContext& ctx, const XmpMeta& meta, std::span<const XmpRawProperty> raw,
                   DocInfoValues& v)
{
    Guarded(ctx, [&] { CheckLangAlt(ctx, meta, raw, v, "title", v.has_title, v.title, SDF::e_PDFA731); });
    Guarded(ctx, [&] { CheckAuthor(ctx, meta, v); });
    Guarded(ctx, [&] { CheckLangAlt(ctx, meta, raw, v, "description", v.has_subject, v.subject, SDF::e_PDFA733); });
    Guarded(ctx, [&] { CheckSimple(ctx, meta, v, XmpNs::kPDF, "Keywords", v.has_keywords, v.keywords, SDF::e_PDFA734); });
    Guarded(ctx, [&] { CheckSimple(ctx, meta, v, XmpNs::kXMP, "CreatorTool", v.has_creator, v.creator, SDF::e_PDFA735); });
    Guarded(ctx, [&] { CheckSimple(ctx, meta, v, XmpNs::kPDF, "Producer", v.has_producer, v.producer, SDF::e_PDFA736); });
}

}  // namespace qvx::PDF
