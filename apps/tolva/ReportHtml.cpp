#include "apps/tolva/ReportHtml.h"

#include <algorithm>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem.hpp>
#include <vector>

#include "apps/tolva/CommandLine.h"
#include "apps/tolva/Report.h"
#include "pdf/compliance/ErrorCatalogue.h"

namespace qvx::Tolva {

namespace {

constexpr std::size_t kChartRules = 15;

constexpr const char* kStyle = R"(
body { font-family: "Liberation Sans", "DejaVu Sans", Arial, sans-serif; font-size: 14px; color: #1f2328;
       margin: 24px auto; max-width: 1100px; padding: 0 16px; }
h1 { font-size: 24px; margin: 0 0 4px; }
h2 { font-size: 18px; margin: 28px 0 10px; border-bottom: 1px solid #d0d7de; padding-bottom: 4px; }
.meta { color: #57606a; margin: 0 0 16px; }
.totals { display: flex; flex-wrap: wrap; gap: 10px; }
.tile { border: 1px solid #d0d7de; border-radius: 6px; padding: 8px 14px; min-width: 90px; }
.tile .n { display: block; font-size: 22px; font-weight: bold; }
.tile .l { color: #57606a; font-size: 12px; }
.tile.pass .n { color: #1a7f37; } .tile.fail .n { color: #cf222e; }
.tile.error .n { color: #9a6700; } .tile.no-claim .n { color: #6e7781; }
table { border-collapse: collapse; width: 100%; margin: 6px 0; table-layout: fixed; }
th:nth-child(1) { width: 15%; } th:nth-child(2) { width: 10%; } th:nth-child(4) { width: 14%; }
td { overflow-wrap: anywhere; }
th, td { text-align: left; padding: 4px 8px; border-bottom: 1px solid #eaeef2; vertical-align: top; }
th { background: #f6f8fa; font-weight: 600; }
td.num, th.num { text-align: right; white-space: nowrap; }
code { font-family: "DejaVu Sans Mono", monospace; font-size: 12px; }
.file { border: 1px solid #d0d7de; border-left-width: 4px; border-radius: 4px; padding: 6px 10px; margin: 8px 0; }
.file.pass { border-left-color: #1a7f37; } .file.fail { border-left-color: #cf222e; }
.file.error { border-left-color: #9a6700; } .file.no-claim { border-left-color: #6e7781; }
.file .path { color: #57606a; font-size: 12px; margin-left: 6px; }
.badge { display: inline-block; min-width: 64px; text-align: center; border-radius: 10px; padding: 1px 8px;
         font-size: 11px; font-weight: bold; color: #fff; margin-right: 6px; }
.badge.pass { background: #1a7f37; } .badge.fail { background: #cf222e; }
.badge.error { background: #9a6700; } .badge.no-claim { background: #6e7781; }
.level { font-size: 12px; color: #57606a; border: 1px solid #d0d7de; border-radius: 4px; padding: 0 4px; }
.note { color: #57606a; margin: 4px 0; }
.conversion { margin: 6px 0 2px; }
.look { margin: 2px 0; }
footer { color: #57606a; font-size: 12px; margin-top: 28px; }
)";

std::string Uri(std::string_view bytes)
{
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            std::string_view("-._~/").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

// The page lies in the output folder, the files where the batch found them: links are absolute.
std::string Link(const Common::UString& path, const Common::UString& name)
{
    boost::filesystem::path target = boost::filesystem::absolute(path.ToFileName());
    return "<a href=\"" + Uri(target.lexically_normal().string()) + "\">" + HtmlEscape(name.ToUTF8()) + "</a>";
}

std::string Badge(Verdict verdict)
{
    std::string text = VerdictText(verdict);
    std::string label = verdict == Verdict::e_NoClaim ? "NO CLAIM" : text;
    std::transform(label.begin(), label.end(), label.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    return "<span class=\"badge " + text + "\">" + label + "</span>";
}

std::string FindingsTable(const std::vector<Finding>& findings, std::int32_t level)
{
    if (findings.empty()) return {};
    std::string t = "<table><tr><th>Rule</th><th>Clause</th><th>Message</th><th>Objects</th></tr>\n";
    for (const Finding& f : findings) {
        std::string objects;
        for (std::uint32_t n : f.objects) objects += (objects.empty() ? "" : ", ") + std::to_string(n);
        t += "<tr><td><code>" + PDF::ErrorCodeText(f.code) + "</code></td><td>" +
             HtmlEscape(PDF::FindErrorClause(f.code, level)) + "</td><td>" +
             HtmlEscape(PDF::ErrorStoreReader::GetErrorMessage(f.code)) + "</td><td>" + objects + "</td></tr>\n";
    }
    return t + "</table>\n";
}

// What the look check found: the pages whose look changed, or that none did.
std::string LookNote(const Render::LookResult& look)
{
    std::string s = "<div class=\"look\">Pages compared with the original: " + std::to_string(look.compared);
    if (look.undrawn) s += ", not drawn: " + std::to_string(look.undrawn);
    if (look.changed.empty()) return s + "; none changed its look</div>\n";
    s += "; <b>look changed</b> on page";
    if (look.changed.size() > 1) s += "s";
    for (std::size_t i = 0; i < look.changed.size(); ++i) {
        const Render::PageLook& p = look.changed[i];
        s += (i ? ", " : " ") + std::to_string(p.page) + " (" + PageLookText(p) + ")";
    }
    return s + "</div>\n";
}

std::string ConversionBlock(const ConversionResult& c, std::int32_t level)
{
    std::string s = "<div class=\"conversion\">Converted to " +
                    Link(Common::UString::FromFileName(c.output), c.name) + ": ";
    if (!c.revalidated) return s + "not revalidated</div>\n";
    s += "revalidation " + Badge(c.verdict) + "</div>\n";
    if (!c.error.empty()) s += "<div class=\"note\">" + HtmlEscape(c.error) + "</div>\n";
    if (c.look) s += LookNote(*c.look);
    return s + FindingsTable(c.findings, level);
}

std::string Section(const FileResult& r)
{
    std::string verdict = VerdictText(r.verdict);
    std::string s = "<div class=\"file " + verdict + "\">" + Badge(r.verdict) + Link(r.path, r.name);
    if (r.level) s += " <span class=\"level\">" + LevelText(r.level) + "</span>";
    s += "<span class=\"path\">" + HtmlEscape(r.path.ToUTF8()) + "</span>\n";
    if (r.verdict == Verdict::e_NoClaim)
        s += "<div class=\"note\">The file claims no PDF/A level in its XMP metadata.</div>\n";
    if (!r.error.empty()) s += "<div class=\"note\">" + HtmlEscape(r.error) + "</div>\n";
    s += FindingsTable(r.findings, r.level);
    if (r.conversion) s += ConversionBlock(*r.conversion, r.level);
    return s + "</div>\n";
}

std::string Tile(std::uint64_t n, const char* label, const char* kind)
{
    return std::string("<div class=\"tile ") + kind + "\"><span class=\"n\">" + std::to_string(n) +
           "</span><span class=\"l\">" + label + "</span></div>";
}

void Write(std::FILE* out, const std::string& text)
{
    if (out) std::fwrite(text.data(), 1, text.size(), out);
}

void Append(std::FILE* out, std::FILE* part)
{
    if (!out || !part) return;
    std::rewind(part);
    char buf[1 << 16];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, part)) > 0;) std::fwrite(buf, 1, n, out);
}

struct RuleRow {
    std::int32_t code;
    std::string clause;
    std::uint64_t files;
};

std::string Chart(const std::vector<RuleRow>& rules)
{
    std::size_t n = std::min(rules.size(), kChartRules);
    if (n == 0) return {};
    const int label_w = 120, bar_w = 560, row_h = 24;
    double max = static_cast<double>(rules.front().files);
    int height = static_cast<int>(n) * row_h + 8;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(label_w + bar_w + 60) +
                      "\" height=\"" + std::to_string(height) +
                      "\" role=\"img\" aria-label=\"Files per failed rule\" font-family=\"DejaVu Sans, sans-serif\" "
                      "font-size=\"12\">\n";
    for (std::size_t i = 0; i < n; ++i) {
        const RuleRow& r = rules[i];
        int y = static_cast<int>(i) * row_h + 4;
        int w = std::max(2, static_cast<int>(bar_w * (static_cast<double>(r.files) / max)));
        std::string ty = std::to_string(y + 16);
        svg += "<g><title>" + HtmlEscape(PDF::ErrorStoreReader::GetErrorMessage(r.code)) + "</title>";
        svg += "<text x=\"" + std::to_string(label_w - 6) + "\" y=\"" + ty + "\" text-anchor=\"end\">" +
               PDF::ErrorCodeText(r.code) + "</text>";
        svg += "<rect x=\"" + std::to_string(label_w) + "\" y=\"" + std::to_string(y + 3) + "\" width=\"" +
               std::to_string(w) + "\" height=\"" + std::to_string(row_h - 6) + "\" fill=\"#cf222e\" rx=\"2\"/>";
        svg += "<text x=\"" + std::to_string(label_w + w + 6) + "\" y=\"" + ty + "\">" + std::to_string(r.files) +
               "</text></g>\n";
    }
    return svg + "</svg>\n";
}

}  // namespace

std::string HtmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

HtmlReport::HtmlReport(const ToolSettings& settings)
    : m_path(settings.outputDir + settings.separator.ToFileName() + "report.html"),
      m_run_date(boost::posix_time::to_simple_string(boost::posix_time::second_clock::local_time())),
      m_level(LevelText(settings.level)),
      mp_failed(std::tmpfile()),
      mp_passed(std::tmpfile())
{
}

HtmlReport::~HtmlReport()
{
    for (std::FILE* f : {mp_failed, mp_passed})
        if (f) std::fclose(f);
}

void HtmlReport::Add(const FileResult& r)
{
    ++m_totals.files;
    switch (r.verdict) {
    case Verdict::e_Pass: ++m_totals.passed; break;
    case Verdict::e_Fail: ++m_totals.failed; break;
    case Verdict::e_Error: ++m_totals.errors; break;
    case Verdict::e_NoClaim: ++m_totals.no_claim; break;
    }
    if (r.conversion) {
        ++m_totals.converted;
        if (r.conversion->revalidated && r.conversion->verdict == Verdict::e_Pass) ++m_totals.revalidated_passed;
        if (r.conversion->revalidated && r.conversion->verdict != Verdict::e_Pass) ++m_totals.revalidated_failed;
        if (r.conversion->look && !r.conversion->look->changed.empty()) ++m_totals.look_changed;
    }
    for (const Finding& f : r.findings) ++m_rule_files[{f.code, PDF::FindErrorClause(f.code, r.level)}];
    Write(r.verdict == Verdict::e_Pass ? mp_passed : mp_failed, Section(r));
}

bool HtmlReport::Close()
{
    std::FILE* out = std::fopen(m_path.c_str(), "wb");
    if (!out) return false;
    std::vector<RuleRow> rules;
    for (const auto& [key, files] : m_rule_files) rules.push_back({key.first, key.second, files});
    std::stable_sort(rules.begin(), rules.end(), [](const RuleRow& a, const RuleRow& b) { return a.files > b.files; });

    const Totals& t = m_totals;
    std::string head = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                       "<title>Tolva PDF/A report</title>\n<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
    head += "<h1>PDF/A validation report</h1>\n<p class=\"meta\">Run " + HtmlEscape(m_run_date) + " &#183; level " +
            HtmlEscape(m_level) + " &#183; Tolva " + kToolVersion + "</p>\n";
    head += "<div class=\"totals\">" + Tile(t.files, "files", "") + Tile(t.passed, "passed", "pass") +
            Tile(t.failed, "failed", "fail") + Tile(t.errors, "processing errors", "error");
    if (t.no_claim) head += Tile(t.no_claim, "claim no level", "no-claim");
    if (t.converted)
        head += Tile(t.converted, "converted", "") + Tile(t.revalidated_passed, "revalidated, passed", "pass") +
                Tile(t.revalidated_failed, "revalidated, failed", "fail");
    if (t.look_changed) head += Tile(t.look_changed, "converted, look changed", "fail");
    head += "</div>\n<h2>Rules that failed most</h2>\n";
    if (rules.empty()) {
        head += "<p class=\"note\">No file broke a rule.</p>\n";
    } else {
        head += Chart(rules);
        head += "<table><tr><th>Rule</th><th>Clause</th><th>Message</th><th class=\"num\">Files</th></tr>\n";
        for (const RuleRow& r : rules)
            head += "<tr><td><code>" + PDF::ErrorCodeText(r.code) + "</code></td><td>" + HtmlEscape(r.clause) +
                    "</td><td>" + HtmlEscape(PDF::ErrorStoreReader::GetErrorMessage(r.code)) +
                    "</td><td class=\"num\">" + std::to_string(r.files) + "</td></tr>\n";
        head += "</table>\n";
    }
    head += "<h2>Files</h2>\n";
    Write(out, head);
    Append(out, mp_failed);
    Append(out, mp_passed);
    Write(out, std::string("<footer>Generated by Tolva ") + kToolVersion + "</footer>\n</body>\n</html>\n");
    return std::fclose(out) == 0;
}

}  // namespace qvx::Tolva
