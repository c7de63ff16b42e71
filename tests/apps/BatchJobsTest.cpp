#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "tests/apps/AppTestSupport.h"
#include "tests/support/PdfBuilder.h"

using namespace qvx::Test;
namespace fs = std::filesystem;

namespace {

// A folder of files with every kind of outcome: passing and failing verdicts, a file that
// is no PDF at all, files in subfolders and two more on the command line.
void MakeBatch(const TempDir& dir)
{
    std::string minimal = PdfBuilder::Minimal().Build();
    PdfBuilder old = PdfBuilder::Minimal("1.4");
    old.SetTrailer("/Root 1 0 R");  // no ID
    std::string failing = old.Build();
    for (int i = 0; i < 9; ++i) {
        dir.Write("in/m" + std::to_string(i) + ".pdf", minimal);
        dir.Write("in/sub/f" + std::to_string(i) + ".pdf", failing);
    }
    dir.Write("in/broken.pdf", "this is not a PDF file");
    dir.Write("in/notes.txt", "skipped");
    dir.Write("top.pdf", failing);
    dir.Write("also.pdf", minimal);
}

// Output lines of a processing error for one file, as the console shows them.
std::string ProcessingError(const std::string& output, const std::string& path)
{
    std::string head = "Error: An error occurred while processing: " + path + "\n";
    auto at = output.find(head);
    if (at == std::string::npos) return {};
    auto end = output.find('\n', at + head.size());
    return output.substr(at + head.size(), end - at - head.size());
}

class FaultSwitch {
public:
    explicit FaultSwitch(const char* faults) { setenv("QVX_TEST_WORKER_FAULT", faults, 1); }
    ~FaultSwitch() { unsetenv("QVX_TEST_WORKER_FAULT"); }
};

}  // namespace

TEST(BatchJobs, WorkersReportExactlyAsOneProcess)
{
    TempDir dir;
    MakeBatch(dir);
    const std::vector<std::string> inputs = {"in", "missing.pdf", "top.pdf", "also"};
    for (const char* verb : {"1", "2"}) {
        std::vector<std::string> args = {"-x", "--subfolders", "--verb", verb};
        args.insert(args.end(), inputs.begin(), inputs.end());
        RunResult one = Tolva(args, dir.Path());
        args.insert(args.begin(), {"-j", "3"});
        RunResult three = Tolva(args, dir.Path());
        EXPECT_EQ(one.status, 0);
        EXPECT_EQ(three.status, 0);
        EXPECT_EQ(three.output, one.output);
        EXPECT_EQ(ConsoleFiles(one.output).size(), 21u) << one.output;
        EXPECT_NE(one.output.find("VLD-[FAIL]"), std::string::npos);
        EXPECT_NE(one.output.find("Error: An error occurred while processing: in/broken.pdf"), std::string::npos);
    }

    // The reports: the same bytes but the run date.
    // (The JSON report names the output folder: both runs write to "out", moved aside after.)
    std::vector<std::string> args = {"--subfolders", "-o", "out", "--json", "out/run.json"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    RunResult one = Tolva(args, dir.Path());
    fs::rename(dir.Path() / "out", dir.Path() / "one");
    args.insert(args.begin(), {"--jobs", "2"});
    RunResult two = Tolva(args, dir.Path());
    fs::rename(dir.Path() / "out", dir.Path() / "two");
    EXPECT_EQ(two.output, one.output);
    std::string xml = ReadFile(dir.Path() / "one/report.xml");
    EXPECT_EQ(ReportFiles(xml).size(), 21u);
    for (const char* report : {"report.xml", "report.html"})
        EXPECT_EQ(WithoutRunDate(ReadFile(dir.Path() / "two" / report)), WithoutRunDate(ReadFile(dir.Path() / "one" / report)))
            << report;
    std::string json = ReadFile(dir.Path() / "one/run.json");
    EXPECT_NE(json.find("\"verdict\": \"error\""), std::string::npos) << json;
    EXPECT_EQ(WithoutRunDate(ReadFile(dir.Path() / "two/run.json")), WithoutRunDate(json));
    EXPECT_EQ(XmlLintErrors(dir.Path() / "two/report.xml"), "");

    // Conversion where every file goes to one output path: written in turn, the last one
    // winning, each revalidated on its own output, as with one process.
    // The last input has a page size of its own, to tell which conversion was written last.
    PdfBuilder last = PdfBuilder::Minimal();
    last.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 123 456]/Resources<<>>/Contents 4 0 R>>");
    dir.Write("last.pdf", last.Build());
    std::vector<std::string> convert = {"-x", "-c", "-f", "same.pdf", "-o", "c1", "in", "top.pdf", "last.pdf"};
    RunResult c1 = Tolva(convert, dir.Path());
    convert[5] = "c3";
    convert.insert(convert.begin(), {"-j", "3"});
    RunResult c3 = Tolva(convert, dir.Path());
    EXPECT_EQ(c3.output, c1.output);
    EXPECT_NE(c1.output.find("CNV-[PASS]: same.pdf"), std::string::npos) << c1.output;
    RunResult info = qvx::Test::Run({"/usr/bin/pdfinfo", (dir.Path() / "c3/same.pdf").string()});
    EXPECT_NE(info.output.find("123 x 456 pts"), std::string::npos) << info.output;
    EXPECT_EQ(qvx::Test::Run({"/usr/bin/qpdf", "--check", (dir.Path() / "c3/same.pdf").string()}).status, 0);

    for (const char* bad : {"0", "-2", "x"}) {
        RunResult r = Tolva({"-j", bad, "top.pdf"}, dir.Path());
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_TRUE(r.output.starts_with("Error: ")) << r.output;
    }
}

TEST(BatchJobs, CrashHangAndMemoryHogCostOnlyTheirFile)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtime takes over the segmentation fault and the memory limit this test provokes";
#endif
    TempDir dir;
    MakeBatch(dir);
    for (const char* fault : {"crash", "hang", "hog"}) {
        PdfBuilder b = PdfBuilder::Minimal();
        b.SetTail(std::string("%QVX-") + fault + "\n");
        dir.Write(std::string("in/") + fault + ".pdf", b.Build());
    }
    // Without the fault switch (and without workers) the three files are ordinary.
    RunResult plain = Tolva({"-x", "in"}, dir.Path());
    ASSERT_EQ(ConsoleFiles(plain.output).size(), 13u) << plain.output;

    FaultSwitch faults("crash:%QVX-crash,hang:%QVX-hang,hog:%QVX-hog");
    for (const char* jobs : {"1", "2"}) {
        RunResult r = Tolva({"-x", "-j", jobs, "--timeout", "5", "--max-memory", "16", "in"}, dir.Path());
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(ProcessingError(r.output, "in/crash.pdf").find("ended abnormally on this file (signal 11"),
                  std::string::npos) << r.output;
        EXPECT_EQ(ProcessingError(r.output, "in/hang.pdf"),
                  "Processing took longer than the limit of 5 s (--timeout) and was stopped.") << r.output;
        EXPECT_EQ(ProcessingError(r.output, "in/hog.pdf"),
                  "Processing needed more memory than the limit of 16 MB (--max-memory) and was stopped.") << r.output;
        // Every other file keeps its verdict and its place.
        std::string rest = r.output, expected = plain.output;
        for (const char* fault : {"crash", "hang", "hog"}) {
            std::string name = std::string("in/") + fault + ".pdf";
            for (std::string* text : {&rest, &expected}) {
                auto at = text->find(name + "\n");
                ASSERT_NE(at, std::string::npos) << name;
                auto end = text->find("\nin/", at + name.size());
                text->erase(at, end - at);
            }
        }
        EXPECT_EQ(rest, expected);
    }

    // In the report the stopped files are failure entries that carry the reason.
    RunResult r = Tolva({"-j", "2", "--timeout", "5", "--max-memory", "16", "-o", "out", "--json", "out.json", "in"},
                        dir.Path());
    std::string json = ReadFile(dir.Path() / "out.json");
    EXPECT_NE(json.find("\"path\": \"in/hang.pdf\", \"level\": \"2B\", \"verdict\": \"error\""), std::string::npos)
        << json;
    EXPECT_NE(json.find("\"error\": \"Processing took longer than the limit of 5 s (--timeout) and was stopped.\""),
              std::string::npos) << json;
    std::string xml = ReadFile(dir.Path() / "out/report.xml");
    EXPECT_EQ(ReportFiles(xml).size(), 13u);
    EXPECT_NE(xml.find("FileNameAndPath=\"in/hang.pdf\">\n  <Error Code=\"e_PDF_Unknown\" Message=\"Processing took "
                       "longer than the limit of 5 s (--timeout) and was stopped.\"/>"),
              std::string::npos) << xml;
    EXPECT_NE(xml.find("FileNameAndPath=\"in/crash.pdf\">\n  <Error Code=\"e_PDF_Unknown\" Message=\"The worker"),
              std::string::npos);
    EXPECT_EQ(XmlLintErrors(dir.Path() / "out/report.xml"), "");
}
