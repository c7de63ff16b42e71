#include "apps/tolva/ReportFromJson.h"

#include <fstream>
#include <sstream>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "apps/tolva/CommandLine.h"
#include "apps/tolva/ReportHtml.h"
#include "common/Exception.h"

namespace qvx::Tolva {

namespace {

namespace pt = boost::property_tree;

// The parser keeps JSON null as the text "null".
std::string TextOrEmpty(const pt::ptree& node, const char* key)
{
    std::string text = node.get<std::string>(key, "");
    return text == "null" ? std::string() : text;
}

std::int32_t LevelOf(const std::string& text) { return text.empty() || text == "null" ? 0 : LevelFromText(text); }

Verdict VerdictOf(const std::string& text)
{
    for (Verdict v : {Verdict::e_Pass, Verdict::e_Fail, Verdict::e_NoClaim})
        if (text == VerdictText(v)) return v;
    return Verdict::e_Error;
}

std::vector<Finding> FindingsOf(const pt::ptree& node)
{
    std::vector<Finding> findings;
    auto errors = node.get_child_optional("errors");
    if (!errors) return findings;
    for (const auto& [key, error] : *errors) {
        Finding f;
        f.code = error.get<std::int32_t>("number", 0);
        if (auto objects = error.get_child_optional("objects"))
            for (const auto& [k, object] : *objects) f.objects.push_back(object.get_value<std::uint32_t>(0));
        findings.push_back(std::move(f));
    }
    return findings;
}

std::optional<Render::LookResult> LookOf(const pt::ptree& conversion)
{
    auto found = conversion.get_child_optional("look");
    if (!found || found->empty()) return std::nullopt;
    Render::LookResult look;
    look.compared = found->get<std::uint32_t>("compared", 0);
    look.drawn = found->get<std::uint32_t>("drawn", 0);
    look.undrawn = found->get<std::uint32_t>("undrawn", 0);
    if (auto changed = found->get_child_optional("changed"))
        for (const auto& [k, page] : *changed)
            look.changed.push_back({page.get<std::uint32_t>("page", 0), page.get<double>("psnr", 0)});
    return look;
}

}  // namespace

FileResult ReadJsonEntry(const std::string& line)
{
    pt::ptree e;
    try {
        std::istringstream in(line);
        pt::read_json(in, e);
    } catch (const pt::json_parser_error& err) {
        QVX_THROW("read_json(line)", std::string("Not a file entry of a JSON report: ") + err.what());
    }
    FileResult r;
    r.name = Common::UString::FromUTF8(e.get<std::string>("name", ""));
    r.path = Common::UString::FromUTF8(e.get<std::string>("path", ""));
    r.level = LevelOf(e.get<std::string>("level", ""));
    r.verdict = VerdictOf(e.get<std::string>("verdict", ""));
    r.findings = FindingsOf(e);
    r.error = TextOrEmpty(e, "error");
    if (auto found = e.get_child_optional("conversion"); found && !found->empty()) {
        const pt::ptree& c = *found;
        ConversionResult conv;
        conv.output = c.get<std::string>("output", "");
        conv.name = Common::UString::FromUTF8(boost::filesystem::path(conv.output).filename().string());
        std::string verdict = TextOrEmpty(c, "verdict");
        conv.revalidated = !verdict.empty();
        if (conv.revalidated) conv.verdict = VerdictOf(verdict);
        conv.findings = FindingsOf(c);
        conv.error = TextOrEmpty(c, "error");
        conv.look = LookOf(c);
        r.conversion = std::move(conv);
    }
    return r;
}

int WriteHtmlFromJson(ToolSettings& settings, const std::string& jsonPath)
{
    std::ifstream in(jsonPath, std::ios::binary);
    std::string line;
    // The first line is the run's header, up to the opening of the files array.
    if (!in || !std::getline(in, line) || !line.ends_with("\"files\": ["))
        QVX_THROW("header line", "Cannot read the JSON report: " + jsonPath);
    pt::ptree header;
    try {
        std::istringstream head(line + "]}");
        pt::read_json(head, header);
    } catch (const pt::json_parser_error& err) {
        QVX_THROW("read_json(header)", "Cannot read the JSON report: " + jsonPath + ": " + err.what());
    }
    settings.level = LevelOf(header.get<std::string>("run.level", ""));
    boost::filesystem::create_directories(settings.outputDir);
    HtmlReport html(settings);
    while (std::getline(in, line)) {
        if (!line.starts_with("{")) continue;  // the closing line
        if (line.ends_with(",")) line.pop_back();
        html.Add(ReadJsonEntry(line));
    }
    if (!html.Close()) QVX_THROW("html.Close()", "Cannot write report.html in " + settings.outputDir);
    return 0;
}

}  // namespace qvx::Tolva
