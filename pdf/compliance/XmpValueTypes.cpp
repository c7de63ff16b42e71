#include "pdf/compliance/XmpValueTypes.h"

#include <optional>

#include "pdf/compliance/XmpNamespaces.h"

namespace qvx::PDF {

namespace {

using F = XmpFieldType;

constexpr F kMedia[] = {{"duration", "time"}, {"path", "uri"}, {"managed", "boolean"},
                        {"startTime", "time"}, {"track", "text"}, {"webStatement", "uri"}};
constexpr F kTimecode[] = {{"timeValue", "text"}, {"timeFormat", "text"}};
constexpr F kBeatSplice[] = {{"riseInDecibel", "real"}, {"useFileBeatsMarker", "boolean"},
                             {"riseInTimeDuration", "time"}};
constexpr F kProjectLink[] = {{"type", "text"}, {"path", "uri"}};
constexpr F kTimeScale[] = {{"frameSize", "real"}, {"frameOverlappingPercentage", "real"}, {"quality", "text"}};
constexpr F kResample[] = {{"quality", "text"}};
constexpr F kMarker[] = {{"duration", "time"}, {"name", "text"}, {"startTime", "time"}, {"comment", "text"},
                         {"location", "uri"}, {"type", "text"}, {"target", "text"}};
constexpr F kTime[] = {{"scale", "rational"}, {"value", "integer"}};
constexpr F kColorant[] = {{"swatchName", "text"}, {"mode", "text"}, {"type", "text"}, {"cyan", "real"},
                           {"magenta", "real"}, {"yellow", "real"}, {"black", "real"}, {"L", "real"},
                           {"A", "integer"}, {"B", "integer"}, {"red", "integer"}, {"green", "integer"},
                           {"blue", "integer"}};
constexpr F kFont[] = {{"fontName", "text"}, {"fontType", "text"}, {"fontFamily", "text"}, {"fontFace", "text"},
                       {"fontFileName", "text"}, {"versionString", "text"}, {"composite", "boolean"},
                       {"childFontFiles", "seq text"}};
constexpr F kResourceRef[] = {{"managerVariant", "text"}, {"versionID", "text"}, {"renditionParams", "text"},
                              {"manageUI", "uri"}, {"instanceID", "uri"}, {"manageTo", "uri"},
                              {"documentID", "uri"}, {"manager", "agentname"},
                              {"renditionClass", "renditionclass"}};
constexpr F kThumbnail[] = {{"width", "integer"}, {"height", "integer"}, {"format", "text"}, {"image", "text"}};
constexpr F kVersion[] = {{"comments", "text"}, {"modifyDate", "date"}, {"event", "resourceevent"},
                          {"version", "text"}, {"modifier", "propername"}};
constexpr F kResourceEvent[] = {{"softwareAgent", "agentname"}, {"action", "text"}, {"instanceID", "uri"},
                                {"parameters", "text"}, {"when", "date"}};
constexpr F kJob[] = {{"name", "text"}, {"id", "text"}, {"url", "url"}};
constexpr F kDimensions[] = {{"w", "real"}, {"h", "real"}, {"unit", "text"}};
constexpr F kFlash[] = {{"Fired", "boolean"}, {"Return", "text"}, {"Mode", "text"}, {"Function", "boolean"},
                        {"RedEyeMode", "boolean"}};
constexpr F kCFAPattern[] = {{"Columns", "integer"}, {"Rows", "integer"}, {"Values", "seq integer"}};
constexpr F kDeviceSettings[] = {{"Columns", "integer"}, {"Rows", "integer"}, {"Settings", "seq text"}};
constexpr F kOECF[] = {{"Columns", "integer"}, {"Rows", "integer"}, {"Names", "seq text"},
                       {"Values", "seq rational"}};

const XmpStructType kStructTypes[] = {
    {"media", XmpNs::kXMPDM, kMedia},
    {"time", XmpNs::kXMPDM, kTime},
    {"timecode", XmpNs::kXMPDM, kTimecode},
    {"beatsplicestretch", XmpNs::kXMPDM, kBeatSplice},
    {"projectlink", XmpNs::kXMPDM, kProjectLink},
    {"timescalestretch", XmpNs::kXMPDM, kTimeScale},
    {"resamplestretch", XmpNs::kXMPDM, kResample},
    {"marker", XmpNs::kXMPDM, kMarker},
    {"colorant", XmpNs::kXMPG, kColorant},
    {"font", XmpNs::kStFnt, kFont},
    {"resourceref", XmpNs::kStRef, kResourceRef},
    {"thumbnail", XmpNs::kXMPGImg, kThumbnail},
    {"version", XmpNs::kStVer, kVersion},
    {"resourceevent", XmpNs::kStEvt, kResourceEvent},
    {"job", XmpNs::kStJob, kJob},
    {"dimensions", XmpNs::kStDim, kDimensions},
    {"flash", XmpNs::kEXIF, kFlash},
    {"cfapattern", XmpNs::kEXIF, kCFAPattern},
    {"devicesettings", XmpNs::kEXIF, kDeviceSettings},
    {"oecf/sfr", XmpNs::kEXIF, kOECF},
};

// The value patterns of the simple types, matched by hand: a regular-expression library
// costs every run its start-up (and its Unicode tables) for five tiny patterns.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t CountDigits(std::string_view s, std::size_t at)
{
    std::size_t n = 0;
    while (at + n < s.size() && IsDigit(s[at + n])) ++n;
    return n;
}

std::size_t SignLength(std::string_view s) { return !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0; }

// [+-]?\d+
bool IsIntegerText(std::string_view s)
{
    std::size_t at = SignLength(s);
    std::size_t n = CountDigits(s, at);
    return n > 0 && at + n == s.size();
}

// [+-]?\d+\.?\d* or [+-]?\d*\.?\d+: digits with at most one point, at least one digit.
bool IsRealText(std::string_view s)
{
    s.remove_prefix(SignLength(s));
    std::size_t whole = CountDigits(s, 0);
    if (whole == s.size()) return whole > 0;
    if (s[whole] != '.') return false;
    std::size_t fraction = CountDigits(s, whole + 1);
    return whole + 1 + fraction == s.size() && whole + fraction > 0;
}

// [-\w+.]+/[-\w+.]+ with \w the ASCII letters, digits and underscore.
bool IsMimeTypeText(std::string_view s)
{
    auto is_name = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_' || c == '-' || c == '+' ||
               c == '.';
    };
    std::size_t slash = s.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == s.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (i != slash && !is_name(s[i])) return false;
    return true;
}

// \d{2},\d{2}[,.]\d{2}[NSEW]
bool IsGpsCoordinateText(std::string_view s)
{
    return s.size() == 9 && CountDigits(s, 0) == 2 && s[2] == ',' && CountDigits(s, 3) == 2 &&
           (s[5] == ',' || s[5] == '.') && CountDigits(s, 6) == 2 && std::string_view("NSEW").find(s[8]) != std::string_view::npos;
}

// Whether the value has the form of a patterned simple type; nullopt for other types.
std::optional<bool> MatchesValuePattern(std::string_view type, std::string_view value)
{
    if (type == "integer") return IsIntegerText(value);
    if (type == "real") return IsRealText(value);
    if (type == "boolean") return value == "True" || value == "False";
    if (type == "mimetype") return IsMimeTypeText(value);
    if (type == "gpscoordinate") return IsGpsCoordinateText(value);
    return std::nullopt;
}

bool IsFreeSimpleType(std::string_view type)
{
    for (std::string_view t : {"text", "locale", "renditionclass", "propername", "rational", "agentname", "uri",
                               "url", "xpath"})
        if (type == t) return true;
    return false;
}

// The toolkit's own date reading decides, as it does for parsed nodes.
bool IsDateText(std::string_view text)
{
    try {
        std::shared_ptr<XmpMeta> scratch = XmpMeta::Create();
        scratch->SetProperty(XmpNs::kXMP, "CreateDate", text);
        return scratch->GetDate(XmpNs::kXMP, "CreateDate").has_value();
    } catch (const std::exception&) {
        return false;
    }
}

// A simple value (a property or an array item) against a type name.
bool CheckRawSimple(std::string_view value, std::string_view type)
{
    if (type == "date") return IsDateText(value);
    if (std::optional<bool> matches = MatchesValuePattern(type, value)) return *matches;
    return IsFreeSimpleType(type);
}

}  // namespace

bool CheckXmpRawValueType(const XmpRawProperty& property, std::string_view type, int part)
{
    using P = XmpRawProperty;
    if (type.starts_with("bag ") || type.starts_with("seq ") || type.starts_with("alt ")) {
        P::Form wanted = type.starts_with("bag ") ? P::e_bag : type.starts_with("seq ") ? P::e_seq : P::e_alt;
        if (property.form != wanted) return false;
        std::string_view item_type = type.substr(4);
        for (const XmpRawItem& item : property.items)
            if (!item.composite && !item.value.empty() && !CheckRawSimple(item.value, item_type)) return false;
        return true;
    }
    if (type == "lang alt") {
        if (property.form != P::e_alt) return false;
        for (const XmpRawItem& item : property.items)
            if (!item.has_lang) return false;
        return true;
    }
    if (FindXmpStructType(type, part)) return property.form == P::e_struct;
    return property.IsSimple() && CheckRawSimple(property.value, type);
}

const XmpStructType* FindXmpStructType(std::string_view name, int part)
{
    if (part <= 1 && (name == "media" || name == "time")) return nullptr;
    for (const XmpStructType& t : kStructTypes)
        if (t.name == name) return &t;
    return nullptr;
}

bool XmpValueTypeChecker::Check(const XmpNode& node, std::string_view type) const
{
    if (type.starts_with("bag ") || type.starts_with("seq ") || type.starts_with("alt "))
        return CheckArray(node, type);
    if (type == "lang alt") return XmpOpt::IsAltText(node.options);
    if (type == "date") return XmpOpt::IsSimple(node.options) && IsDate(node);
    if (std::optional<bool> matches = MatchesValuePattern(type, node.value))
        return XmpOpt::IsSimple(node.options) && *matches;
    if (IsFreeSimpleType(type)) return XmpOpt::IsSimple(node.options);
    if (const XmpStructType* st = FindXmpStructType(type, m_part)) return CheckStruct(node, *st);
    return false;
}

bool XmpValueTypeChecker::IsDate(const XmpNode& node) const
{
    try {
        return m_meta.GetDate(node.ns, node.path).has_value();
    } catch (const std::exception&) {
        return false;
    }
}

bool XmpValueTypeChecker::CheckArray(const XmpNode& node, std::string_view type) const
{
    std::uint32_t o = node.options;
    if (type.starts_with("alt ") && !XmpOpt::IsAlt(o)) return false;
    if (type.starts_with("seq ") && (!XmpOpt::IsOrdered(o) || XmpOpt::IsAlt(o))) return false;
    if (type.starts_with("bag ") && (!XmpOpt::IsArray(o) || XmpOpt::IsOrdered(o) || XmpOpt::IsAlt(o)))
        return false;
    std::string_view item_type = type.substr(4);
    for (int i = 1;; ++i) {
        std::optional<XmpProperty> item = m_meta.GetArrayItem(node.ns, node.path, i);
        if (!item) return true;
        if (item->value.empty()) continue;
        XmpNode item_node{node.ns, XmpComposeArrayItemPath(node.path, i), item->value, item->options};
        if (!Check(item_node, item_type)) return false;
    }
}

bool XmpValueTypeChecker::CheckStruct(const XmpNode& node, const XmpStructType& type) const
{
    if (!XmpOpt::IsStruct(node.options)) return false;
    XmpIterator it(m_meta, node.ns, node.path, XmpIterator::e_children);
    XmpNode child;
    while (it.Next(child)) {
        if (child.path == node.path) continue;   // the iteration starts at the struct itself
        std::string_view last = child.path;
        if (std::size_t slash = last.rfind('/'); slash != std::string_view::npos) last = last.substr(slash + 1);
        std::size_t colon = last.rfind(':');
        std::string_view prefix = colon == std::string_view::npos ? std::string_view() : last.substr(0, colon);
        std::string_view field = colon == std::string_view::npos ? last : last.substr(colon + 1);
        std::optional<std::string> field_ns = XmpNamespaceOf(prefix);
        if (!field_ns) return false;
        if (child.value.empty()) continue;
        const XmpFieldType* match = nullptr;
        for (const XmpFieldType& f : type.fields)
            if (f.name == field) match = &f;
        if (!match || *field_ns != type.ns || !Check(child, match->type)) return false;
    }
    return true;
}

}  // namespace qvx::PDF
