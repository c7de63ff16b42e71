#include <gtest/gtest.h>

#include <map>

#include "apps/tolva/ReportJson.h"
#include "tests/apps/AppTestSupport.h"
#include "tests/compliance/ComplianceTestSupport.h"

using namespace qvx::Test;
namespace fs = std::filesystem;

namespace {

// Runs a shell command line in dir (the tool is $TOLVA); returns what it printed.
RunResult Shell(const std::string& command, const fs::path& dir)
{
    return qvx::Test::Run({"/bin/sh", "-c", "TOLVA='" + TolvaPath().string() + "'; " + command}, dir);
}

std::string Jq(const std::string& filter, const fs::path& json)
{
    RunResult r = qvx::Test::Run({"/usr/bin/jq", "-r", filter, json.string()});
    EXPECT_EQ(r.status, 0) << filter << "\n" << r.output;
    return r.output;
}

// name -> verdict from console lines, with each failing file's error lines after it.
std::map<std::string, std::string> ConsoleVerdicts(const std::string& out)
{
    std::map<std::string, std::string> verdicts;
    std::string current;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::pair<const char*, const char*> kinds[] = {
            {"VLD-[PASS]: ", "pass"}, {"VLD-[FAIL]: ", "fail"}, {"VLD-[NO-CLAIM]: ", "no-claim"},
            {"Error: An error occurred while processing: ", "error"}};
        bool verdict = false;
        for (const auto& [prefix, text] : kinds) {
            if (!line.starts_with(prefix)) continue;
            current = line.substr(std::string_view(prefix).size());
            current = current.substr(current.rfind('/') + 1);
            verdicts[current] = text;
            verdict = true;
        }
        if (!verdict && line.starts_with("\t")) verdicts[current] += "\n" + line;
    }
    return verdicts;
}

// The same from the JSON report, error lines written as the console writes them.
const char* const kJqVerdicts =
    R"jq(.files[] | "\(.name)\t\(.verdict)" + ([.errors[] | "\n\t - \(.code): \(.message)" +)jq"
    R"jq( (if (.objects | length) > 0 then "\n\t   Obj Refs:" + (.objects | map(tostring) | join(", ")) else "" end)])jq"
    R"jq( | join("")))jq";

std::map<std::string, std::string> JsonVerdicts(const fs::path& json)
{
    std::map<std::string, std::string> verdicts;
    std::istringstream lines(Jq(kJqVerdicts, json));
    std::string current;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("\t")) {
            verdicts[current] += "\n" + line;
            continue;
        }
        auto tab = line.find('\t');
        current = line.substr(0, tab);
        verdicts[current] = line.substr(tab + 1);
    }
    return verdicts;
}

}  // namespace

TEST(ReportJson, StringEscapes)
{
    using qvx::Tolva::JsonString;
    EXPECT_EQ(JsonString("plain"), "\"plain\"");
    EXPECT_EQ(JsonString("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
    EXPECT_EQ(JsonString("\t\n\x01\x1F\x7F"), "\"\\u0009\\u000A\\u0001\\u001F\x7F\"");
    EXPECT_EQ(JsonString("caf\xC3\xA9 \xF0\x9F\x98\x80"), "\"caf\xC3\xA9 \xF0\x9F\x98\x80\"");
    // Bytes that are not UTF-8 (a Latin-1 file name in an error text) become U+FFFD.
    EXPECT_EQ(JsonString("caf\xE9.pdf"), "\"caf\xEF\xBF\xBD.pdf\"");
}

TEST(ReportJson, AgreesWithTheConsole)
{
    TempDir dir;
    dir.Write("in/clean.pdf", CleanFile(4).Build());
    dir.Write("in/no \"meta\" & more.pdf", PdfBuilder::Minimal().Build());
    dir.Write("in/broken.pdf", "%PDF-1.7\n");
    RunResult r = Tolva({"-x", "--max_ref_objs", "0", "--json", "run.json", "in"}, dir.Path());
    ASSERT_EQ(r.status, 0) << r.output;
    fs::path json = dir.Path() / "run.json";
    std::map<std::string, std::string> console = ConsoleVerdicts(r.output);
    ASSERT_EQ(console.size(), 3u) << r.output;
    EXPECT_EQ(console["clean.pdf"], "pass");
    EXPECT_TRUE(console["no \"meta\" & more.pdf"].starts_with("fail\n\t - e_PDFA")) << r.output;
    EXPECT_EQ(JsonVerdicts(json), console);

    EXPECT_EQ(Jq("[.tool, .version, .run.level, .run.options.maxRefObjs, .run.options.convert, (.files | length)]"
                 " | map(tostring) | join(\" \")", json),
              "tolva 10.8083607 2B 0 false 3\n");
    EXPECT_EQ(Jq(".run.date | test(\"^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$\")", json), "true\n");
    // Every file has every key; a processing error has its text and no findings.
    EXPECT_EQ(Jq("[.files[] | keys_unsorted == [\"name\", \"path\", \"level\", \"verdict\", \"errors\", \"error\", "
                 "\"conversion\"]] | all",
                 json),
              "true\n");
    EXPECT_EQ(Jq(".files[] | select(.verdict == \"error\") | [.path, (.error | type), (.errors | length)] | "
                 "map(tostring) | join(\" \")",
                 json),
              "in/broken.pdf string 0\n");
    EXPECT_EQ(Jq("[.files[] | select(.verdict != \"error\") | .error] | unique", json), "[\n  null\n]\n");
    // The numbers are the codes, and each error of a level-2B run carries a string clause.
    EXPECT_EQ(Jq("[.files[].errors[] | (.code == \"e_PDFA\" + (.number | tostring)) and (.clause | type) == "
                 "\"string\"] | all",
                 json),
              "true\n");

    // On standard output the report is alone, the console lines go to standard error.
    RunResult piped = Shell("\"$TOLVA\" --json - -x in 2>console.txt | jq -c '[.files[] | .verdict] | sort'", dir.Path());
    EXPECT_EQ(piped.output, "[\"error\",\"fail\",\"pass\"]\n");
    std::string console_err = ReadFile(dir.Path() / "console.txt");
    EXPECT_TRUE(console_err.starts_with("Processing... \n")) << console_err;
    EXPECT_NE(console_err.find("VLD-[PASS]: clean.pdf\n"), std::string::npos) << console_err;

    // A run with no file still yields a document jq reads.
    RunResult empty = Shell("\"$TOLVA\" --json - -x missing.pdf 2>/dev/null | jq -c '.files'", dir.Path());
    EXPECT_EQ(empty.output, "[]\n");
    // A report that cannot be written ends the run with an error.
    RunResult unwritable = Tolva({"-x", "--json", "no/such/folder/run.json", "in"}, dir.Path());
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.output.find("Error: Cannot write the JSON report: no/such/folder/run.json"), std::string::npos)
        << unwritable.output;
}

TEST(ReportJson, ConversionAndRevalidation)
{
    TempDir dir;
    dir.Write("in/plain.pdf", PdfBuilder::Minimal().Build());
    RunResult r = Tolva({"-c", "-x", "-o", "out", "--json", "conv.json", "in/plain.pdf"}, dir.Path());
    ASSERT_EQ(r.status, 0) << r.output;
    fs::path json = dir.Path() / "conv.json";
    // The conversion entry names the written file and carries the console's revalidation verdict.
    std::string cnv = r.output.find("CNV-[PASS]: plain_pdfa.pdf\n") != std::string::npos ? "pass" : "fail";
    EXPECT_EQ(Jq(".files[0].conversion | [(.output | endswith(\"out/plain_pdfa.pdf\")), .verdict, (.error == null)]"
                 " | map(tostring) | join(\" \")",
                 json),
              "true " + cnv + " true\n")
        << r.output;
    EXPECT_TRUE(fs::exists(dir.Path() / "out/plain_pdfa.pdf"));
    // Without revalidation the conversion has no verdict.
    Tolva({"-c", "--nr", "-x", "-o", "out", "--json", "nr.json", "in/plain.pdf"}, dir.Path());
    EXPECT_EQ(Jq(".files[0].conversion | [.verdict, (.errors | length)] | map(tostring) | join(\" \")",
                 dir.Path() / "nr.json"),
              "null 0\n");
}

TEST(ReportJson, LevelFromEachFile)
{
    TempDir dir;
    dir.Write("in/a1b.pdf", CleanFile(2).Build());
    dir.Write("in/b2u.pdf", CleanFile(5).Build());
    dir.Write("in/c4.pdf", CleanFile(9).Build());
    dir.Write("in/d-none.pdf", PdfBuilder::Minimal().Build());
    dir.Write("in/e-broken.pdf", "%PDF-1.7\n");
    RunResult r = Tolva({"-x", "-l", "auto", "--json", "auto.json", "in"}, dir.Path());
    ASSERT_EQ(r.status, 0) << r.output;
    fs::path json = dir.Path() / "auto.json";
    EXPECT_EQ(Jq(".run.level", json), "AUTO\n");
    EXPECT_EQ(Jq(".files | sort_by(.name)[] | \"\\(.name) \\(.level) \\(.verdict)\"", json),
              "a1b.pdf 1B pass\nb2u.pdf 2U pass\nc4.pdf 4 pass\nd-none.pdf null no-claim\ne-broken.pdf null error\n");
    EXPECT_EQ(JsonVerdicts(json), ConsoleVerdicts(r.output));
    // The console names the level used after each file's path.
    for (const char* lines : {"in/a1b.pdf\nLevel: 1B\n", "in/c4.pdf\nLevel: 4\n", "in/d-none.pdf\nLevel: none claimed\n"})
        EXPECT_NE(r.output.find(lines), std::string::npos) << lines << "\n" << r.output;

    // In report.xml a file without a claim has an entry of its own, the others their level.
    RunResult xml_run = Tolva({"-l", "AUTO", "-o", "out", "in"}, dir.Path());
    ASSERT_EQ(xml_run.status, 0) << xml_run.output;
    std::string xml = ReadFile(dir.Path() / "out/report.xml");
    EXPECT_EQ(XmlLintErrors(dir.Path() / "out/report.xml"), "");
    EXPECT_NE(xml.find("<Validation>\n <NoClaim FileName=\"d-none.pdf\" FileNameAndPath=\"in/d-none.pdf\"></NoClaim>\n"
                       "</Validation>\n"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find(" <Pass FileName=\"b2u.pdf\" FileNameAndPath=\"in/b2u.pdf\" Level=\"2U\"></Pass>\n"),
              std::string::npos)
        << xml;
    // A fixed level keeps the entries as they were.
    Tolva({"-o", "fixed", "in/a1b.pdf"}, dir.Path());
    EXPECT_EQ(ReadFile(dir.Path() / "fixed/report.xml").find("Level="), std::string::npos);
}

TEST(ReportJson, PdfUaLevel)
{
    TempDir dir;
    dir.Write("in/clean.pdf", CleanFile(4).Build());
    RunResult r = Tolva({"-x", "-l", "ua1", "--json", "ua.json", "in/clean.pdf"}, dir.Path());
    ASSERT_EQ(r.status, 0) << r.output;
    fs::path json = dir.Path() / "ua.json";
    EXPECT_EQ(Jq("[.run.level, .files[0].level] | join(\" \")", json), "UA1 UA1\n");
    // A PDF/A file without PDF/UA identification fails the PDF/UA checks, under their codes.
    EXPECT_EQ(Jq(".files[0].verdict", json), "fail\n");
    EXPECT_EQ(Jq("[.files[0].errors[] | select(.number < 0) | .code | startswith(\"e_PDFUA\")] | (length > 0) and all",
                 json),
              "true\n");
    EXPECT_EQ(JsonVerdicts(json), ConsoleVerdicts(r.output));
}
