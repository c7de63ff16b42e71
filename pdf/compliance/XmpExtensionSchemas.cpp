#include "pdf/compliance/XmpExtensionSchemas.h"

#include <set>

#include "common/Exception.h"

#include "pdf/compliance/XmpNamespaces.h"

namespace qvx::PDF {

namespace {

constexpr std::string_view kPredefinedValueTypes[] = {
    "Alt",       "Bag",        "Seq",         "Boolean",  "Choice",         "Colorant",      "Date",
    "Dimensions", "Font",      "Integer",     "Lang Alt", "Locale",         "MIMEType",      "ProperName",
    "Real",      "Text",       "Thumbnail",   "URI",      "URL",            "XPath",         "AgentName",
    "Part",      "RenditionClass", "ResourceEvent", "ResourceRef", "Version", "Job",         "CFAPattern",
    "DeviceSettings", "Flash", "GPSCoordinate", "OECF/SFR", "Rational"};

// The schema walk: reads fields of the items of pdfaExtension:schemas and records what
// is missing or malformed.
class SchemaWalker {
public:
    SchemaWalker(const XmpCheckContext& ctx, const XmpMeta& meta) : m_ctx(ctx), m_meta(meta) {}

    // False when the validation ends early: no schemas at all, or an item without its
    // namespace URI.
    bool Run(const XmpUndescribed& undescribed, int& pending)
    {
        std::string schemas = Prefix(XmpNs::kPDFAExtension) + "schemas";
        std::optional<XmpProperty> root = Get(schemas);
        if (!root) {
            m_ctx.Report(SDF::e_PDFA783);
            return false;
        }
        if (!XmpOpt::IsArray(root->options) || XmpOpt::IsOrdered(root->options)) m_ctx.Report(SDF::e_PDFA784);
        int count = XmpOpt::IsArray(root->options) ? m_meta.CountArrayItems(XmpNs::kPDFAExtension, schemas) : 0;
        for (int i = 1; i <= count; ++i) {
            std::string item = XmpComposeArrayItemPath(schemas, i);
            std::optional<XmpProperty> uri = Get(Field(item, XmpNs::kPDFASchema, "namespaceURI"));
            if (!uri) {
                m_ctx.Report(SDF::e_PDFA782);
                return false;
            }
            auto described = undescribed.find(uri->value);
            if (described == undescribed.end()) continue;
            --pending;
            Schema(item, described->second);
        }
        return true;
    }

private:
    struct SchemaState {
        std::set<std::string> custom_types;
        std::map<std::string, std::string> property_of_type;   // value type -> property name
    };

    static std::string Prefix(std::string_view ns)
    {
        std::optional<std::string> p = XmpPrefixOf(ns);
        QVX_CHECK(p.has_value(), "Unregistered XMP namespace " + std::string(ns));
        return *p;
    }
    static std::string Field(const std::string& path, std::string_view ns, std::string_view name)
    {
        return XmpComposeStructFieldPath(path, ns, name);
    }
    std::optional<XmpProperty> Get(const std::string& path) const
    {
        return m_meta.GetProperty(XmpNs::kPDFAExtension, path);
    }
    int Count(const std::string& path) const { return m_meta.CountArrayItems(XmpNs::kPDFAExtension, path); }
    static bool IsSeq(const XmpProperty& p) { return XmpOpt::IsOrdered(p.options) && !XmpOpt::IsAlt(p.options); }

    void Schema(const std::string& item, const std::map<std::string, bool>& props)
    {
        SchemaState s;
        Properties(item, props, s);
        if (!s.custom_types.empty()) ValueTypes(item, props, s);
    }

    void Properties(const std::string& item, const std::map<std::string, bool>& props, SchemaState& s)
    {
        std::string path = Field(item, XmpNs::kPDFASchema, "property");
        std::optional<XmpProperty> seq = Get(path);
        if (!seq) return m_ctx.Report(SDF::e_PDFA785);
        if (!IsSeq(*seq)) return m_ctx.Report(SDF::e_PDFA786);
        long undescribed = static_cast<long>(props.size());
        for (int j = 1, n = Count(path); j <= n; ++j) {
            std::string prop = XmpComposeArrayItemPath(path, j);
            std::string name;
            if (std::optional<XmpProperty> p = Get(Field(prop, XmpNs::kPDFAProperty, "name")); !p) m_ctx.Report(SDF::e_PDFA787);
            else if (!XmpOpt::IsSimple(p->options)) m_ctx.Report(SDF::e_PDFA788);
            else {
                name = p->value;
                if (props.count(name)) --undescribed;
                else m_ctx.Report(SDF::e_PDFA789);
            }
            std::optional<XmpProperty> vt = Get(Field(prop, XmpNs::kPDFAProperty, "valueType"));
            if (!vt) {
                m_ctx.Report(SDF::e_PDFA7810);
                continue;
            }
            std::string type;
            if (!XmpOpt::IsSimple(vt->options)) m_ctx.Report(SDF::e_PDFA7810);
            else type = vt->value;
            if (!IsPredefinedExtensionValueType(type)) s.custom_types.insert(type);
            s.property_of_type[type] = name;
        }
        if (undescribed != 0) m_ctx.Report(SDF::e_PDFA789);
    }

    void ValueTypes(const std::string& item, const std::map<std::string, bool>& props, SchemaState& s)
    {
        std::string path = Field(item, XmpNs::kPDFASchema, "valueType");
        std::optional<XmpProperty> seq = Get(path);
        if (!seq || !IsSeq(*seq)) {
            m_ctx.Report(seq ? SDF::e_PDFA7817 : SDF::e_PDFA7816);
            return m_ctx.Report(SDF::e_PDFA7818);
        }
        long remaining = static_cast<long>(s.custom_types.size());
        std::set<std::string> defined_types, field_types;
        for (int k = 1, n = Count(path); k <= n; ++k) {
            std::string vt = XmpComposeArrayItemPath(path, k);
            std::string type_name;
            if (std::optional<XmpProperty> t = Get(Field(vt, XmpNs::kPDFAType, "type")); !t) m_ctx.Report(SDF::e_PDFA7819);
            else if (!XmpOpt::IsSimple(t->options)) m_ctx.Report(SDF::e_PDFA7820);
            else {
                type_name = t->value;
                defined_types.insert(type_name);
                if (s.custom_types.count(type_name)) --remaining;
                else m_ctx.Report(SDF::e_PDFA7818);
            }
            std::optional<XmpProperty> desc = Get(Field(vt, XmpNs::kPDFAType, "description"));
            if (!desc || !XmpOpt::IsSimple(desc->options)) m_ctx.Report(SDF::e_PDFA7821);
            if (!Get(Field(vt, XmpNs::kPDFAType, "namespaceURI"))) m_ctx.Report(SDF::e_PDFA7822);
            bool has_fields = Fields(Field(vt, XmpNs::kPDFAType, "field"), field_types);
            auto pair = s.property_of_type.find(type_name);
            if (pair == s.property_of_type.end()) continue;
            auto prop = props.find(pair->second);
            if (prop != props.end() && prop->second != has_fields) m_ctx.Report(SDF::e_PDFA7831);
        }
        if (remaining != 0) m_ctx.Report(SDF::e_PDFA7818);
        // A custom type used by a field must itself be described by a pdfaType:type entry.
        for (const std::string& t : field_types) {
            if (defined_types.count(t)) continue;
            m_ctx.Report(SDF::e_PDFA7830);
            break;
        }
    }

    // Checks the field items of a value type; returns whether the type has fields.
    bool Fields(const std::string& path, std::set<std::string>& field_types)
    {
        std::optional<XmpProperty> seq = Get(path);
        if (!seq) return false;
        if (!XmpOpt::IsOrdered(seq->options)) {
            m_ctx.Report(SDF::e_PDFA7823);
            return false;
        }
        for (int f = 1, n = Count(path); f <= n; ++f) {
            std::string field = XmpComposeArrayItemPath(path, f);
            if (std::optional<XmpProperty> p = Get(Field(field, XmpNs::kPDFAField, "name")); !p) m_ctx.Report(SDF::e_PDFA7824);
            else if (!XmpOpt::IsSimple(p->options)) m_ctx.Report(SDF::e_PDFA7825);
            if (std::optional<XmpProperty> p = Get(Field(field, XmpNs::kPDFAField, "description")); !p)
                m_ctx.Report(SDF::e_PDFA7828);
            else if (!XmpOpt::IsSimple(p->options)) m_ctx.Report(SDF::e_PDFA7829);
            if (std::optional<XmpProperty> p = Get(Field(field, XmpNs::kPDFAField, "valueType")); !p)
                m_ctx.Report(SDF::e_PDFA7826);
            else if (!XmpOpt::IsSimple(p->options)) m_ctx.Report(SDF::e_PDFA7827);
            else if (!IsPredefinedExtensionValueType(p->value)) field_types.insert(p->value);
        }
        return true;
    }

    const XmpCheckContext& m_ctx;
    const XmpMeta& m_meta;
};

void CheckExtensionPrefixes(const XmpCheckContext& ctx, const std::map<std::string, std::set<std::string>>& declared)
{
    struct Expected { std::string_view ns, prefix; std::int32_t code; };
    static constexpr Expected kExpected[] = {{XmpNs::kPDFAExtension, "pdfaExtension:", SDF::e_PDFA7811},
                                             {XmpNs::kPDFASchema, "pdfaSchema:", SDF::e_PDFA7812},
                                             {XmpNs::kPDFAProperty, "pdfaProperty:", SDF::e_PDFA7813},
                                             {XmpNs::kPDFAType, "pdfaType:", SDF::e_PDFA7814},
                                             {XmpNs::kPDFAField, "pdfaField:", SDF::e_PDFA7815}};
    for (const Expected& e : kExpected) {
        std::string_view expected = e.prefix.substr(0, e.prefix.size() - 1);
        bool wrong = false;
        if (auto d = declared.find(std::string(e.ns)); d != declared.end())
            for (const std::string& p : d->second) wrong = wrong || p != expected;
        std::optional<std::string> prefix = XmpPrefixOf(e.ns);
        if (wrong || (prefix && *prefix != e.prefix)) ctx.Report(e.code);
    }
}

}  // namespace

bool IsPredefinedExtensionValueType(std::string_view type)
{
    for (std::string_view t : kPredefinedValueTypes)
        if (type.starts_with(t)) return true;
    return false;
}

void ValidateExtensionSchemas(const XmpCheckContext& ctx, const XmpMeta& meta, const XmpPredefinedResult& found,
                              const std::map<std::string, std::set<std::string>>& declared)
{
    if (found.undescribed.empty()) return;
    if (!found.extension_present) return ctx.Report(SDF::e_PDFA781);
    CheckExtensionPrefixes(ctx, declared);
    int pending = static_cast<int>(found.undescribed.size());
    if (SchemaWalker(ctx, meta).Run(found.undescribed, pending) && pending != 0) ctx.Report(SDF::e_PDFA781);
}

}  // namespace qvx::PDF
