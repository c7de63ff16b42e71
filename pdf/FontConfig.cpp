#include "pdf/FontConfig.h"

#include <algorithm>
#include <array>
#include <boost/filesystem.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <fstream>
#include <sstream>

#include "common/Exception.h"
#include "common/Limits.h"

namespace qvx::PDF {

namespace {

namespace pt = boost::property_tree;

constexpr std::array<const char*, 6> kCollections = {"identity", "japan1", "japan2",
                                                     "gb1",      "cns1",   "korea1"};

// Index just past the first `end` at or after from, or npos.
std::size_t After(std::string_view s, std::size_t from, std::string_view end)
{
    std::size_t at = s.find(end, from);
    return at == std::string_view::npos ? at : at + end.size();
}

// Deepest element nesting of the text. The XML reader recurses once per level, so hostile
// nesting must be refused before it runs. Comments, CDATA and processing instructions are
// skipped as the reader skips them; other "<!" markup (DOCTYPE) is refused outright.
std::uint32_t ElementDepth(std::string_view s)
{
    std::uint32_t depth = 0;
    std::uint32_t deepest = 0;
    std::size_t i = 0;
    while ((i = s.find('<', i)) != std::string_view::npos) {
        std::string_view rest = s.substr(i);
        if (rest.starts_with("<!--")) i = After(s, i + 4, "-->");
        else if (rest.starts_with("<![CDATA[")) i = After(s, i + 9, "]]>");
        else if (rest.starts_with("<?")) i = After(s, i + 2, "?>");
        else if (rest.starts_with("<!")) QVX_THROW("no DOCTYPE", "Unsupported markup in configuration file");
        else {
            bool closing = rest.starts_with("</");
            char quote = 0;
            std::size_t j = i + 1;
            for (; j < s.size(); ++j) {
                char c = s[j];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            bool self_closing = !closing && j < s.size() && s[j - 1] == '/';
            if (closing) depth -= depth > 0;
            else if (!self_closing) deepest = std::max(deepest, ++depth);
            i = j;
        }
        if (i == std::string_view::npos || i >= s.size()) break;
    }
    return deepest;
}

// A child element's text, or else the attribute of the same name.
std::string Field(const pt::ptree& subst, const char* key)
{
    if (auto v = subst.get_optional<std::string>(key)) return *v;
    if (auto v = subst.get_optional<std::string>(std::string("<xmlattr>.") + key)) return *v;
    QVX_THROW("subst has " + std::string(key), std::string("Font substitution entry without ") + key);
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::vector<FontSubstitute> ParseConfig(const std::string& text)
{
    std::uint32_t depth = ElementDepth(text);
    QVX_CHECK(depth <= Common::Limits::kConfigXmlMaxDepth, "Configuration file nests too deeply");
    pt::ptree tree;
    try {
        std::istringstream in(text);
        pt::read_xml(in, tree, pt::xml_parser::trim_whitespace);
    } catch (const pt::ptree_error& e) {
        QVX_THROW("read_xml", std::string("Malformed configuration file: ") + e.what());
    }
    auto config = tree.get_child_optional("config");
    QVX_CHECK(config, "Configuration file has no 'config' element");
    std::vector<FontSubstitute> entries;
    auto fonts = config->get_child_optional("fonts");
    if (!fonts) return entries;
    for (const auto& [tag, subst] : *fonts) {
        if (tag != "subst") continue;
        FontSubstitute e{Lower(Field(subst, "collection")), Field(subst, "file"), Field(subst, "name")};
        if (std::find(kCollections.begin(), kCollections.end(), e.collection) == kCollections.end())
            QVX_THROW("known collection", "Unknown character collection in configuration file: " + e.collection);
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace

FontConfig& FontConfig::Instance()
{
    static FontConfig config;
    return config;
}

void FontConfig::Load(std::istream& in)
{
    std::string text;
    char buf[8192];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, static_cast<std::size_t>(in.gcount()));
        QVX_CHECK(text.size() <= Common::Limits::kConfigFileMaxBytes, "Configuration file too large");
    }
    std::vector<FontSubstitute> entries = ParseConfig(text);
    std::vector<std::string> missing;
    for (const FontSubstitute& e : entries) {
        boost::system::error_code ec;
        if (!boost::filesystem::exists(e.file, ec) && std::find(missing.begin(), missing.end(), e.file) == missing.end())
            missing.push_back(e.file);
    }
    std::lock_guard lock(m_mutex);
    m_entries = std::move(entries);
    m_missing = std::move(missing);
}

std::vector<std::string> FontConfig::MissingFiles() const
{
    std::lock_guard lock(m_mutex);
    return m_missing;
}

std::vector<FontSubstitute> FontConfig::Substitutes() const
{
    std::lock_guard lock(m_mutex);
    return m_entries;
}

void FontConfig::Clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_missing.clear();
}

void LoadConfigFile(const std::string& path)
{
    if (!boost::filesystem::exists(path))
        QVX_THROW("boost::filesystem::exists(path)", "Failed to find the given Lumbra configuration file.");
    std::ifstream in(path, std::ios::binary);
    QVX_CHECK(in, "Cannot read configuration file " + path);
    FontConfig::Instance().Load(in);
}

}  // namespace qvx::PDF
