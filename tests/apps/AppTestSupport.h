#pragma once
// Helpers shared by the command-line tests: running the built tool, checking reports with
// xmllint, and reading which files a run reported on.

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/TestEnv.h"

namespace qvx::Test {

inline RunResult Tolva(std::vector<std::string> args, const std::filesystem::path& cwd)
{
    args.insert(args.begin(), TolvaPath().string());
    return Run(args, cwd);
}

// xmllint's complaints about a file; empty when the file is well-formed XML.
inline std::string XmlLintErrors(const std::filesystem::path& file)
{
    RunResult r = Run({"/usr/bin/xmllint", "--noout", file.string()});
    return r.status == 0 && r.output.empty() ? "" : r.output + " (status " + std::to_string(r.status) + ")";
}

// Names (last path component) of the files the tool reported on at the console, from a
// verdict line or a processing error, in order.
inline std::vector<std::string> ConsoleFiles(const std::string& out)
{
    std::vector<std::string> files;
    std::regex line(R"((?:^|\n)(?:VLD-\[(?:PASS|FAIL)\]: |Error: An error occurred while processing: )([^\n]*))");
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it) {
        std::string name = (*it)[1];
        files.push_back(name.substr(name.rfind('/') + 1));
    }
    return files;
}

// The text without its run dates (report.xml and report.html: 2026-Dec-07 00:10:09; JSON: ISO 8601).
inline std::string WithoutRunDate(const std::string& text)
{
    static const std::regex date(R"(\d{4}-(?:[A-Z][a-z]{2}-\d{2} |\d{2}-\d{2}T)\d{2}:\d{2}:\d{2}Z?)");
    return std::regex_replace(text, date, "");
}

// The FileNameAndPath of every entry of the report's Validation sections, in order.
inline std::vector<std::string> ReportFiles(const std::string& report)
{
    std::vector<std::string> files;
    std::regex entry(R"re(<(?:Pass|Fail) FileName="[^"]*" FileNameAndPath="([^"]*)">)re");
    for (std::sregex_iterator it(report.begin(), report.end(), entry), end; it != end; ++it)
        files.push_back((*it)[1]);
    return files;
}

}  // namespace qvx::Test
