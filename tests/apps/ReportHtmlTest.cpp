#include <gtest/gtest.h>

#include <map>

#include "apps/tolva/ReportHtml.h"
#include "tests/apps/AppTestSupport.h"
#include "tests/compliance/ComplianceTestSupport.h"

using namespace qvx::Test;
namespace fs = std::filesystem;

namespace {

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// A one-page file with an output intent missing and one more fault: an LZW content stream.
std::string WithLzw()
{
    PdfBuilder b = PdfBuilder::Minimal();
    b.SetStream(4, "/Filter/LZWDecode", std::string("\x80\x0B\x60\x50\x22\x0C\x0C\x85\x01", 9));
    return b.Build();
}

}  // namespace

TEST(ReportHtml, EscapesText)
{
    EXPECT_EQ(qvx::Tolva::HtmlEscape("a<b>&\"c' d"), "a&lt;b&gt;&amp;&quot;c' d");
    EXPECT_EQ(qvx::Tolva::HtmlEscape("caf\xC3\xA9"), "caf\xC3\xA9");
}

TEST(ReportHtml, TotalsRulesAndEveryFileFailedFirst)
{
    TempDir dir;
    dir.Write("in/a-clean.pdf", CleanFile(4).Build());
    dir.Write("in/b-plain.pdf", PdfBuilder::Minimal().Build());
    dir.Write("in/c-lzw <&>.pdf", WithLzw());
    dir.Write("in/d-broken.pdf", "%PDF-1.7\n");
    RunResult r = Tolva({"-o", "out", "--json", "run.json", "in"}, dir.Path());
    ASSERT_EQ(r.status, 0) << r.output;
    fs::path html = dir.Path() / "out/report.html";
    ASSERT_TRUE(fs::exists(html));
    // Well-formed, and self-contained: no script, nothing loaded from elsewhere.
    EXPECT_EQ(XmlLintErrors(html), "");
    std::string page = ReadFile(html);
    for (const char* absent : {"<script", "src=", "<link", "href=\"http", "url(", "@import", "xml-stylesheet"})
        EXPECT_EQ(page.find(absent), std::string::npos) << absent;

    auto tile = [](int n, const std::string& label) {
        return "<span class=\"n\">" + std::to_string(n) + "</span><span class=\"l\">" + label + "</span>";
    };
    for (const auto& [n, label] : {std::pair{4, "files"}, std::pair{1, "passed"}, std::pair{2, "failed"},
                                   std::pair{1, "processing errors"}})
        EXPECT_NE(page.find(tile(n, label)), std::string::npos) << label;

    // The rules table counts the files that break each rule, as the JSON report of the
    // same run lists them; the chart draws one bar per rule.
    RunResult jq = qvx::Test::Run({"/usr/bin/jq", "-r", "[.files[].errors[] | \"\\(.code) \\(.clause)\"] | group_by(.)[] | "
                                             "\"\\(.[0]) \\(length)\"",
                        (dir.Path() / "run.json").string()});
    ASSERT_EQ(jq.status, 0) << jq.output;
    std::map<std::string, std::string> expected, shown;
    std::istringstream lines(jq.output);
    for (std::string code, clause, files; lines >> code && std::getline(lines, clause);) {
        auto space = clause.rfind(' ');
        files = clause.substr(space + 1);
        clause = clause.substr(1, space - 1);
        expected[code] = clause + " " + files;
    }
    std::regex row(R"(<tr><td><code>(e_PDF\w+)</code></td><td>([^<]*)</td><td>[^<]*</td><td class="num">(\d+)</td></tr>)");
    for (std::sregex_iterator it(page.begin(), page.end(), row), end; it != end; ++it)
        shown[(*it)[1]] = (*it)[2].str() + " " + (*it)[3].str();
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(Count(page, "<rect "), std::min<std::size_t>(expected.size(), 15));
    EXPECT_NE(page.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);

    // Every file once, those that did not pass before those that did.
    EXPECT_EQ(Count(page, "<div class=\"file "), 4u);
    std::size_t clean = page.find(">a-clean.pdf</a>");
    for (const char* other : {">b-plain.pdf</a>", ">c-lzw &lt;&amp;&gt;.pdf</a>", ">d-broken.pdf</a>"}) {
        std::size_t at = page.find(other);
        EXPECT_NE(at, std::string::npos) << other;
        EXPECT_LT(at, clean) << other;
    }
    // Links lead to the files from wherever the page is opened.
    std::regex link("href=\"(/[^\"]*)/in/c-lzw%20%3C%26%3E.pdf\"");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(page, m, link)) << page;
    EXPECT_TRUE(fs::equivalent(m[1].str(), dir.Path())) << m[1];
    EXPECT_NE(page.find("<code>e_PDFA1101</code>"), std::string::npos);

    // Conversion: the converted files and their revalidation are counted and shown.
    RunResult c = Tolva({"-c", "-o", "conv", "in/b-plain.pdf"}, dir.Path());
    ASSERT_EQ(c.status, 0) << c.output;
    std::string converted = ReadFile(dir.Path() / "conv/report.html");
    EXPECT_NE(converted.find(tile(1, "converted")), std::string::npos);
    EXPECT_NE(converted.find("Converted to <a href=\""), std::string::npos);
    EXPECT_NE(converted.find(">b-plain_pdfa.pdf</a>: revalidation <span class=\"badge "), std::string::npos);
    // No report, no page.
    Tolva({"-x", "-o", "none", "in"}, dir.Path());
    EXPECT_FALSE(fs::exists(dir.Path() / "none/report.html"));

    // The page made again from a run's JSON report (as the cluster runner has it made) is
    // the page that run wrote: verdicts, findings, processing errors and conversions.
    RunResult run = Tolva({"-c", "-o", "conv2", "--json", "conv2.json", "in"}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.output;
    RunResult again = Tolva({"--html-from", "conv2.json", "-o", "again"}, dir.Path());
    ASSERT_EQ(again.status, 0) << again.output;
    std::string original = ReadFile(dir.Path() / "conv2/report.html");
    EXPECT_NE(original.find("Converted to <a href=\""), std::string::npos) << original;
    EXPECT_EQ(WithoutRunDate(ReadFile(dir.Path() / "again/report.html")), WithoutRunDate(original));
    dir.Write("bad.json", "{\"tool\": \"tolva\", \"files\": [\n{\"name\": \n]}\n");
    RunResult bad = Tolva({"--html-from", "bad.json", "-o", "bad"}, dir.Path());
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.output.find("Not a file entry of a JSON report"), std::string::npos) << bad.output;
}
