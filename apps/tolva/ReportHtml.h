#pragma once
// "report.html", the page a person opens: one self-contained file (inline style and SVG
// chart, no script, nothing fetched) with the run's totals, the rules that failed most and
// every file, failed ones first.
//
// The page is built without holding the batch: the totals and a counter per rule stay in
// memory (bounded by the number of distinct rules), each file's section goes to one of two
// temporary files as it finishes, and closing the report writes the head and copies the
// two sections after it.

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "apps/tolva/FileResult.h"
#include "apps/tolva/ToolSettings.h"

namespace qvx::Tolva {

// Text for HTML element content and quoted attributes.
std::string HtmlEscape(std::string_view utf8);

class HtmlReport {
public:
    // Remembers where to write report.html; the page itself appears on Close.
    explicit HtmlReport(const ToolSettings& settings);
    ~HtmlReport();
    HtmlReport(const HtmlReport&) = delete;
    HtmlReport& operator=(const HtmlReport&) = delete;

    void Add(const FileResult& result);
    // Writes outputDir/report.html, replacing it; a page that cannot be written is skipped,
    // as report.xml is, and false returned.
    bool Close();

    struct Totals {
        std::uint64_t files = 0, passed = 0, failed = 0, errors = 0, no_claim = 0;
        std::uint64_t converted = 0, revalidated_passed = 0, revalidated_failed = 0;
        std::uint64_t look_changed = 0;   // copies with a page whose look changed
    };
    const Totals& GetTotals() const { return m_totals; }

private:
    std::string m_path;
    std::string m_run_date;
    std::string m_level;
    Totals m_totals;
    // (code, clause) -> number of files that break the rule
    std::map<std::pair<std::int32_t, std::string>, std::uint64_t> m_rule_files;
    // Sections of files that did not pass, and of those that did.
    std::FILE* mp_failed = nullptr;
    std::FILE* mp_passed = nullptr;
};

}  // namespace qvx::Tolva
