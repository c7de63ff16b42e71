#include "pdf/compliance/XmpToolkit.h"

#include <iostream>
#include <streambuf>

#include "common/Exception.h"
#include "pdf/compliance/XmpDates.h"

namespace qvx::PDF {

namespace {

std::recursive_mutex& ToolkitMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

NullBuffer& Discard()
{
    static NullBuffer buffer;
    return buffer;
}

std::string Z(std::string_view s) { return std::string(s); }

}  // namespace

void XmpThrowIfError(bool ok, const char* what)
{
    if (ok) return;
    int err = xmp_get_error();
    if (err != 0) QVX_THROW("xmp_get_error() == 0", std::string("XMP toolkit error ") + std::to_string(err) + " in " + what);
}

XmpLock::XmpLock() : m_lock(ToolkitMutex())
{
    mp_saved_cerr = std::cerr.rdbuf(&Discard());
    m_initialised = xmp_init();
}

XmpLock::~XmpLock()
{
    if (m_initialised) xmp_terminate();
    std::cerr.rdbuf(mp_saved_cerr);
}

XmpStr::XmpStr() : mp(xmp_string_new())
{
    QVX_CHECK(mp != nullptr, "Cannot allocate an XMP string");
}

XmpStr::~XmpStr() { xmp_string_free(mp); }

std::string XmpStr::Text() const
{
    const char* s = xmp_string_cstr(mp);
    return s ? std::string(s, xmp_string_len(mp)) : std::string();
}

XmpIterator::XmpIterator(const XmpMeta& meta, std::string_view ns, std::string_view path, Mode mode)
{
    std::string n(ns), p(path);
    mp = xmp_iterator_new(meta.Get(), n.empty() ? nullptr : n.c_str(), p.empty() ? nullptr : p.c_str(),
                          static_cast<XmpIterOptions>(mode));
    XmpThrowIfError(mp != nullptr, "xmp_iterator_new");
    QVX_CHECK(mp != nullptr, "Cannot iterate the XMP packet");
}

XmpIterator::~XmpIterator() { xmp_iterator_free(mp); }

bool XmpIterator::Next(XmpNode& node)
{
    XmpStr ns, path, value;
    std::uint32_t options = 0;
    bool ok = xmp_iterator_next(mp, ns.Get(), path.Get(), value.Get(), &options);
    XmpThrowIfError(ok, "xmp_iterator_next");
    if (!ok) return false;
    node.ns = ns.Text();
    node.path = path.Text();
    node.value = value.Text();
    node.options = options;
    return true;
}

void XmpIterator::SkipSubtree() { XmpThrowIfError(xmp_iterator_skip(mp, XMP_ITER_SKIPSUBTREE), "xmp_iterator_skip"); }

XmpMeta::XmpMeta()
{
    std::lock_guard<std::recursive_mutex> guard(ToolkitMutex());
    QVX_CHECK(xmp_init(), "Cannot initialise the XMP toolkit");
    mp = xmp_new_empty();
    if (!mp) {
        xmp_terminate();
        QVX_THROW("mp != nullptr", "Cannot create an XMP metadata object");
    }
}

std::shared_ptr<XmpMeta> XmpMeta::Create() { return std::shared_ptr<XmpMeta>(new XmpMeta()); }

XmpMeta::~XmpMeta()
{
    std::lock_guard<std::recursive_mutex> guard(ToolkitMutex());
    xmp_free(mp);
    xmp_terminate();
}

void XmpMeta::Parse(std::string_view packet)
{
    XmpThrowIfError(xmp_parse(mp, packet.data(), packet.size()), "xmp_parse");
}

std::string XmpMeta::Serialize(std::uint32_t padding) const
{
    XmpStr out;
    bool ok = xmp_serialize_and_format(mp, out.Get(), 0, padding, "\n", "   ", 0);
    XmpThrowIfError(ok, "xmp_serialize");
    QVX_CHECK(ok, "Cannot serialise the XMP packet");
    return out.Text();
}

std::optional<XmpProperty> XmpMeta::GetProperty(std::string_view ns, std::string_view path) const
{
    XmpStr value;
    XmpProperty p;
    bool ok = xmp_get_property(mp, Z(ns).c_str(), Z(path).c_str(), value.Get(), &p.options);
    XmpThrowIfError(ok, "xmp_get_property");
    if (!ok) return std::nullopt;
    p.value = value.Text();
    return p;
}

std::optional<XmpDateTime> XmpMeta::GetDate(std::string_view ns, std::string_view path) const
{
    XmpDateTime d{};
    std::uint32_t options = 0;
    bool ok = xmp_get_property_date(mp, Z(ns).c_str(), Z(path).c_str(), &d, &options);
    XmpThrowIfError(ok, "xmp_get_property_date");
    if (!ok) return std::nullopt;
    return d;
}

std::optional<XmpProperty> XmpMeta::GetArrayItem(std::string_view ns, std::string_view path, int index) const
{
    XmpStr value;
    XmpProperty p;
    bool ok = xmp_get_array_item(mp, Z(ns).c_str(), Z(path).c_str(), index, value.Get(), &p.options);
    XmpThrowIfError(ok, "xmp_get_array_item");
    if (!ok) return std::nullopt;
    p.value = value.Text();
    return p;
}

int XmpMeta::CountArrayItems(std::string_view ns, std::string_view path) const
{
    // Every item exists in the parsed packet, so the packet's size bounds the walk.
    std::string n(ns);
    int count = 0;
    while (xmp_has_property(mp, n.c_str(), XmpComposeArrayItemPath(path, count + 1).c_str())) ++count;
    XmpThrowIfError(false, "xmp_has_property");
    return count;
}

std::optional<std::string> XmpMeta::GetLocalizedText(std::string_view ns, std::string_view path,
                                                     std::string_view generic_lang,
                                                     std::string_view specific_lang) const
{
    XmpStr actual, value;
    std::uint32_t options = 0;
    bool ok = xmp_get_localized_text(mp, Z(ns).c_str(), Z(path).c_str(), Z(generic_lang).c_str(),
                                     Z(specific_lang).c_str(), actual.Get(), value.Get(), &options);
    if (!ok && xmp_get_error() != 0) return ChooseNestedLocalizedText(ns, path, specific_lang);
    if (!ok) return std::nullopt;
    return value.Text();
}

std::optional<std::string> XmpMeta::ChooseNestedLocalizedText(std::string_view ns, std::string_view path,
                                                               std::string_view lang) const
{
    // Exempi nests an aliased language alternative (tiff:ImageDescription read into
    // dc:description) as the x-default item of another one, which its own lookup refuses.
    std::optional<XmpProperty> chosen;
    std::string chosen_path;
    for (int i = 1;; ++i) {
        std::optional<XmpProperty> item = GetArrayItem(ns, path, i);
        if (!item) break;
        std::string item_path = XmpComposeArrayItemPath(path, i);
        std::optional<XmpProperty> item_lang = GetProperty(ns, item_path + "/?xml:lang");
        if (!chosen || (item_lang && item_lang->value == lang)) {
            chosen = item;
            chosen_path = item_path;
        }
        if (item_lang && item_lang->value == lang) break;
    }
    if (!chosen) return std::nullopt;
    if (XmpOpt::IsSimple(chosen->options)) return chosen->value;
    if (!XmpOpt::IsAltText(chosen->options)) QVX_THROW("simple item", "Language alternative item is not simple");
    std::optional<XmpProperty> inner = GetArrayItem(ns, chosen_path, 1);
    for (int i = 1; inner; inner = GetArrayItem(ns, chosen_path, ++i)) {
        std::optional<XmpProperty> inner_lang = GetProperty(ns, XmpComposeArrayItemPath(chosen_path, i) + "/?xml:lang");
        if (inner_lang && inner_lang->value == lang && XmpOpt::IsSimple(inner->options)) return inner->value;
    }
    QVX_THROW("nested x-default item", "Language alternative without a simple item");
}

void XmpMeta::SetProperty(std::string_view ns, std::string_view path, std::string_view value,
                          std::uint32_t options)
{
    bool ok = xmp_set_property(mp, Z(ns).c_str(), Z(path).c_str(), Z(value).c_str(), options);
    XmpThrowIfError(ok, "xmp_set_property");
}

void XmpMeta::SetDate(std::string_view ns, std::string_view path, const XmpDateTime& value)
{
    SetProperty(ns, path, XmpDateText(value), 0);
}

void XmpMeta::SetLocalizedText(std::string_view ns, std::string_view path, std::string_view generic_lang,
                               std::string_view specific_lang, std::string_view value)
{
    bool ok = xmp_set_localized_text(mp, Z(ns).c_str(), Z(path).c_str(), Z(generic_lang).c_str(),
                                     Z(specific_lang).c_str(), Z(value).c_str(), 0);
    XmpThrowIfError(ok, "xmp_set_localized_text");
}

void XmpMeta::AppendArrayItem(std::string_view ns, std::string_view path, std::uint32_t array_options,
                              std::string_view value)
{
    bool ok = xmp_append_array_item(mp, Z(ns).c_str(), Z(path).c_str(), array_options, Z(value).c_str(), 0);
    XmpThrowIfError(ok, "xmp_append_array_item");
}

void XmpMeta::DeleteProperty(std::string_view ns, std::string_view path)
{
    XmpThrowIfError(xmp_delete_property(mp, Z(ns).c_str(), Z(path).c_str()), "xmp_delete_property");
}

std::optional<std::string> XmpPrefixOf(std::string_view ns)
{
    XmpStr prefix;
    bool ok = xmp_namespace_prefix(Z(ns).c_str(), prefix.Get());
    XmpThrowIfError(ok, "xmp_namespace_prefix");
    if (!ok) return std::nullopt;
    return prefix.Text();
}

std::optional<std::string> XmpNamespaceOf(std::string_view prefix)
{
    // The registry is keyed by the prefix with its colon.
    std::string p(prefix);
    if (p.empty() || p.back() != ':') p += ':';
    XmpStr ns;
    bool ok = xmp_prefix_namespace_uri(p.c_str(), ns.Get());
    XmpThrowIfError(ok, "xmp_prefix_namespace_uri");
    if (!ok) return std::nullopt;
    return ns.Text();
}

void XmpRegisterNamespace(std::string_view ns, std::string_view prefix)
{
    XmpStr registered;
    XmpThrowIfError(xmp_register_namespace(Z(ns).c_str(), Z(prefix).c_str(), registered.Get()),
                    "xmp_register_namespace");
}

std::string XmpComposeArrayItemPath(std::string_view array_path, int index)
{
    return std::string(array_path) + "[" + std::to_string(index) + "]";
}

std::string XmpComposeStructFieldPath(std::string_view struct_path, std::string_view field_ns,
                                      std::string_view field_name)
{
    std::optional<std::string> prefix = XmpPrefixOf(field_ns);
    QVX_CHECK(prefix.has_value(), "Unregistered XMP namespace " + std::string(field_ns));
    return std::string(struct_path) + "/" + *prefix + std::string(field_name);
}

}  // namespace qvx::PDF
