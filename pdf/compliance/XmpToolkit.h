#pragma once
// The XMP toolkit (Exempi, through its C API) behind RAII handles. The toolkit keeps a
// process-global namespace registry, so every use happens under one process-wide mutex:
// hold an XmpLock from initialisation to the last call. Toolkit failures (a false return
// with an error code set) throw Common::Exception; an absent property is not a failure.
//
//     XmpLock lock;                  // serialises all toolkit use in the process
//     if (!lock.Initialised()) ...   // the toolkit could not start
//     auto meta = XmpMeta::Create();
//     meta->Parse(bytes);
//
// Exempi writes its error messages to std::cerr; the lock sends them nowhere while it is
// held so that the engine stays quiet.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <exempi/xmp.h>

namespace qvx::PDF {

// Property option bits of the toolkit.
namespace XmpOpt {
inline constexpr std::uint32_t e_struct = XMP_PROP_VALUE_IS_STRUCT;
inline constexpr std::uint32_t e_array = XMP_PROP_VALUE_IS_ARRAY;
inline constexpr std::uint32_t e_ordered = XMP_PROP_ARRAY_IS_ORDERED;
inline constexpr std::uint32_t e_alt = XMP_PROP_ARRAY_IS_ALT;
inline constexpr std::uint32_t e_alt_text = XMP_PROP_ARRAY_IS_ALTTEXT;
inline constexpr std::uint32_t e_composite = XMP_PROP_COMPOSITE_MASK;
inline constexpr std::uint32_t e_schema_node = 0x80000000u;
inline bool IsSimple(std::uint32_t o) { return (o & e_composite) == 0; }
inline bool IsStruct(std::uint32_t o) { return (o & e_struct) != 0; }
inline bool IsArray(std::uint32_t o) { return (o & e_array) != 0; }
inline bool IsOrdered(std::uint32_t o) { return (o & e_ordered) != 0; }
inline bool IsAlt(std::uint32_t o) { return (o & e_alt) != 0; }
inline bool IsAltText(std::uint32_t o) { return (o & e_alt_text) != 0; }
}  // namespace XmpOpt

// Holds the process-wide toolkit mutex (recursive, so handles may be released inside a
// session) and one initialisation of the toolkit.
class XmpLock {
public:
    XmpLock();
    ~XmpLock();
    XmpLock(const XmpLock&) = delete;
    XmpLock& operator=(const XmpLock&) = delete;

    bool Initialised() const { return m_initialised; }

private:
    std::unique_lock<std::recursive_mutex> m_lock;
    std::streambuf* mp_saved_cerr = nullptr;
    bool m_initialised = false;
};

// A toolkit string, freed on destruction.
class XmpStr {
public:
    XmpStr();
    ~XmpStr();
    XmpStr(const XmpStr&) = delete;
    XmpStr& operator=(const XmpStr&) = delete;

    XmpStringPtr Get() const { return mp; }
    std::string Text() const;

private:
    XmpStringPtr mp;
};

struct XmpProperty {
    std::string value;
    std::uint32_t options = 0;
};

// One node met by an iteration: namespace URI, path ("dc:creator[2]"), value, options.
struct XmpNode {
    std::string ns;
    std::string path;
    std::string value;
    std::uint32_t options = 0;
};

class XmpMeta;

// Iteration over the property tree. Create it, call Next until it returns false.
class XmpIterator {
public:
    enum Mode : std::uint32_t {
        e_all = XMP_ITER_PROPERTIES,
        e_leaves = XMP_ITER_JUSTLEAFNODES,
        e_children = XMP_ITER_JUSTCHILDREN | XMP_ITER_OMITQUALIFIERS,
    };
    // ns empty: all namespaces; path empty: the whole namespace.
    XmpIterator(const XmpMeta& meta, std::string_view ns, std::string_view path, Mode mode);
    ~XmpIterator();
    XmpIterator(const XmpIterator&) = delete;
    XmpIterator& operator=(const XmpIterator&) = delete;

    bool Next(XmpNode& node);
    // Skips the subtree below the node last returned.
    void SkipSubtree();

private:
    XmpIteratorPtr mp;
};

// A metadata object. It keeps one initialisation of the toolkit of its own, so a handle
// that outlives the XmpLock it was made under stays usable under the next one; release it
// under a lock or not, the destructor takes the mutex itself.
class XmpMeta {
public:
    static std::shared_ptr<XmpMeta> Create();
    ~XmpMeta();
    XmpMeta(const XmpMeta&) = delete;
    XmpMeta& operator=(const XmpMeta&) = delete;

    XmpPtr Get() const { return mp; }

    // Parses the whole packet into this object.
    void Parse(std::string_view packet);
    std::string Serialize(std::uint32_t padding) const;

    std::optional<XmpProperty> GetProperty(std::string_view ns, std::string_view path) const;
    // The property read as a date; throws when its text is not a date.
    std::optional<XmpDateTime> GetDate(std::string_view ns, std::string_view path) const;
    // 1-based index.
    std::optional<XmpProperty> GetArrayItem(std::string_view ns, std::string_view path, int index) const;
    int CountArrayItems(std::string_view ns, std::string_view path) const;
    // The item the toolkit chooses for a generic and a specific language.
    std::optional<std::string> GetLocalizedText(std::string_view ns, std::string_view path,
                                                std::string_view generic_lang,
                                                std::string_view specific_lang) const;

    void SetProperty(std::string_view ns, std::string_view path, std::string_view value,
                     std::uint32_t options = 0);
    void SetDate(std::string_view ns, std::string_view path, const XmpDateTime& value);
    void SetLocalizedText(std::string_view ns, std::string_view path, std::string_view generic_lang,
                          std::string_view specific_lang, std::string_view value);
    void AppendArrayItem(std::string_view ns, std::string_view path, std::uint32_t array_options,
                         std::string_view value);
    void DeleteProperty(std::string_view ns, std::string_view path);

private:
    XmpMeta();
    std::optional<std::string> ChooseNestedLocalizedText(std::string_view ns, std::string_view path,
                                                         std::string_view lang) const;
    XmpPtr mp = nullptr;
};

using XmpMetaHolder = std::shared_ptr<XmpMeta>;

// Namespace registry and path composition (Exempi offers none of the latter).
std::optional<std::string> XmpPrefixOf(std::string_view ns);   // "dc:" with the colon
std::optional<std::string> XmpNamespaceOf(std::string_view prefix);
void XmpRegisterNamespace(std::string_view ns, std::string_view prefix);
std::string XmpComposeArrayItemPath(std::string_view array_path, int index);
// Throws when the field's namespace has no registered prefix.
std::string XmpComposeStructFieldPath(std::string_view struct_path, std::string_view field_ns,
                                      std::string_view field_name);

// Throws Common::Exception when the toolkit reports an error for the last call.
void XmpThrowIfError(bool ok, const char* what);

}  // namespace qvx::PDF
