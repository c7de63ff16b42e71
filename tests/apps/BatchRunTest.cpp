#include <gtest/gtest.h>

#include <algorithm>

#include "apps/tolva/BatchRun.h"
#include "tests/apps/AppTestSupport.h"
#include "tests/support/PdfBuilder.h"

using namespace qvx::Test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

// mydir/a.pdf, mydir/B.PDF, mydir/notes.txt, mydir/sub/b.pdf, mydir/sub/deeper/c.pdf, top.pdf
void MakeTree(const TempDir& dir)
{
    std::string pdf = PdfBuilder::Minimal().Build();
    for (const char* name : {"mydir/a.pdf", "mydir/B.PDF", "mydir/sub/b.pdf", "mydir/sub/deeper/c.pdf", "top.pdf",
                             "report.pdf"})
        dir.Write(name, pdf);
    dir.Write("mydir/notes.txt", "not a pdf");
    dir.Write("x.txt", pdf);
}

}  // namespace

TEST(BatchRun, FolderWalkWithAndWithoutSubfolders)
{
    TempDir dir;
    MakeTree(dir);
    RunResult flat = Tolva({"-x", "mydir", "top.pdf"}, dir.Path());
    EXPECT_EQ(flat.status, 0);
    EXPECT_EQ(Sorted(ConsoleFiles(flat.output)), (std::vector<std::string>{"B.PDF", "a.pdf", "top.pdf"})) << flat.output;
    // Command-line order: the folder's files come before top.pdf.
    EXPECT_EQ(ConsoleFiles(flat.output).back(), "top.pdf");
    EXPECT_FALSE(fs::exists(dir.Path() / "report.xml"));
    EXPECT_FALSE(fs::exists(dir.Path() / "report.xsl"));

    RunResult deep = Tolva({"-x", "--subfolders", "-o", "out", "mydir"}, dir.Path());
    EXPECT_EQ(Sorted(ConsoleFiles(deep.output)), (std::vector<std::string>{"B.PDF", "a.pdf", "b.pdf", "c.pdf"}))
        << deep.output;
    // Output folders mirror where the files were found.
    EXPECT_TRUE(fs::is_directory(dir.Path() / "out/mydir/sub/deeper"));

    // Each processed path is printed on its own line at verbosity 1, nothing at verbosity 0.
    EXPECT_NE(deep.output.find("\nmydir/sub/deeper/c.pdf\n"), std::string::npos) << deep.output;
    RunResult quiet = Tolva({"-x", "--verb", "0", "mydir", "missing.pdf"}, dir.Path());
    EXPECT_EQ(quiet.output.find("Processing"), std::string::npos);
    EXPECT_EQ(quiet.output.find("\nmydir/a.pdf\n"), std::string::npos);
    EXPECT_FALSE(quiet.output.starts_with("mydir/"));
    EXPECT_EQ(quiet.output.find("Wrong input"), std::string::npos);
    EXPECT_EQ(Sorted(ConsoleFiles(quiet.output)), (std::vector<std::string>{"B.PDF", "a.pdf"}));
}

TEST(BatchRun, InputNamesExtensionsAndMissingFiles)
{
    TempDir dir;
    MakeTree(dir);
    RunResult r = Tolva({"-x", "x.txt", "report", "nothing", "gone.pdf", "top.pdf"}, dir.Path());
    EXPECT_EQ(r.status, 0);
    // x.txt is skipped silently; "report" finds report.pdf; the batch goes on past missing names.
    EXPECT_EQ(ConsoleFiles(r.output), (std::vector<std::string>{"report.pdf", "top.pdf"})) << r.output;
    EXPECT_NE(r.output.find("Error: Wrong input filename or path: nothing\n"), std::string::npos);
    EXPECT_NE(r.output.find("Error: Wrong input filename or path: gone.pdf\n"), std::string::npos);
    EXPECT_EQ(r.output.find("x.txt"), std::string::npos);

    // The extension is compared with its dot: "PDF" never matches, ".txt" picks x.txt.
    EXPECT_TRUE(ConsoleFiles(Tolva({"-x", "--extension", "PDF", "mydir", "top.pdf"}, dir.Path()).output).empty());
    EXPECT_EQ(ConsoleFiles(Tolva({"-x", "--extension", ".txt", "x.txt", "mydir"}, dir.Path()).output),
              (std::vector<std::string>{"x.txt", "notes.txt"}));
}

TEST(BatchRun, ReportIsWrittenInTheOutputFolderAndStaysWellFormed)
{
    TempDir dir;
    MakeTree(dir);
    RunResult r = Tolva({"--subfolders", "mydir", "missing.pdf", "top.pdf"}, dir.Path());
    EXPECT_EQ(r.status, 0);
    // Without --outdir the report goes to the current folder; per-file results go there, not to the console.
    fs::path report = dir.Path() / "report.xml";
    ASSERT_TRUE(fs::exists(report));
    EXPECT_TRUE(fs::exists(dir.Path() / "report.xsl"));
    EXPECT_TRUE(ConsoleFiles(r.output).empty()) << r.output;
    EXPECT_EQ(XmlLintErrors(report), "");
    std::string xml = ReadFile(report);
    EXPECT_EQ(Sorted(ReportFiles(xml)), (std::vector<std::string>{"mydir/B.PDF", "mydir/a.pdf", "mydir/sub/b.pdf",
                                                                   "mydir/sub/deeper/c.pdf", "top.pdf"}));
    EXPECT_TRUE(xml.starts_with("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                "<?xml-stylesheet type=\"text/xsl\" href=\"report.xsl\"?>\n<TolvaReport RunDateTime=\""));
    EXPECT_TRUE(xml.ends_with("</Validation>\n</TolvaReport>\n"));

    RunResult o = Tolva({"-o", "new/reports", "top.pdf"}, dir.Path());
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(XmlLintErrors(dir.Path() / "new/reports/report.xml"), "");
    EXPECT_TRUE(fs::exists(dir.Path() / "new/reports/report.xsl"));
    // An empty --outdir keeps the current folder.
    fs::remove(report);
    EXPECT_EQ(Tolva({"-o", "", "top.pdf"}, dir.Path()).status, 0);
    EXPECT_TRUE(fs::exists(report));
}

TEST(BatchRun, OutputFolderThatCannotBeCreated)
{
    TempDir dir;
    MakeTree(dir);
    dir.Write("plain-file", "x");
    for (bool xml : {true, false}) {
        std::vector<std::string> args = {"-o", "plain-file/out", "top.pdf"};
        if (!xml) args.insert(args.begin(), "-x");
        RunResult r = Tolva(args, dir.Path());
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.output, "Error: Failed to create the output directory: plain-file/out\n");
        EXPECT_FALSE(fs::exists(dir.Path() / "report.xml"));
    }
    // An output "folder" that exists as a file: the report cannot be opened (and is not
    // checked), and a subfolder that cannot be mirrored skips only the files below it.
    RunResult sub = Tolva({"-x", "-o", "plain-file", "mydir", "top.pdf"}, dir.Path());
    EXPECT_EQ(sub.status, 0);
    EXPECT_NE(sub.output.find("Error: Failed to create the output sub-directory: plain-file/mydir\n"), std::string::npos)
        << sub.output;
    EXPECT_EQ(ConsoleFiles(sub.output), (std::vector<std::string>{"top.pdf"}));
}

TEST(BatchRun, NamesNeedingEscapingKeepTheReportWellFormed)
{
    TempDir dir;
    std::string pdf = PdfBuilder::Minimal().Build();
    const std::vector<std::string> names = {
        "a&b.pdf", "<tag>.pdf", "say \"hi\".pdf", "it's.pdf", "caf\xC3\xA9.pdf",   // UTF-8 é
        "latin\xE9.pdf",                                                              // not UTF-8
        "tab\there.pdf", "ctl\x01x.pdf", "nonchar\xEF\xBF\xBF.pdf", "smile\xF0\x9F\x98\x80.pdf"};
    for (const auto& n : names) dir.Write("in/" + n, pdf);
    RunResult r = Tolva({"-o", "out", "in"}, dir.Path());
    EXPECT_EQ(r.status, 0);
    fs::path report = dir.Path() / "out/report.xml";
    EXPECT_EQ(XmlLintErrors(report), "");
    std::string xml = ReadFile(report);
    for (const char* escaped : {"FileName=\"a&amp;b.pdf\"", "FileName=\"&lt;tag&gt;.pdf\"",
                                "FileName=\"say &quot;hi&quot;.pdf\"", "FileName=\"it's.pdf\"", "FileName=\"caf&#xE9;.pdf\"",
                                "FileName=\"latin&#xFFFD;.pdf\"", "FileName=\"tab&#x09;here.pdf\"",
                                "FileName=\"ctl&#xFFFD;x.pdf\"", "FileName=\"nonchar&#xFFFD;.pdf\"",
                                "FileName=\"smile&#x01F600;.pdf\"", "FileNameAndPath=\"in/a&amp;b.pdf\""})
        EXPECT_NE(xml.find(escaped), std::string::npos) << escaped;
    EXPECT_EQ(ReportFiles(xml).size(), names.size());

    // The console gets the names' own bytes, and every file was processed by its real name.
    RunResult c = Tolva({"-x", "in"}, dir.Path());
    EXPECT_EQ(Sorted(ConsoleFiles(c.output)), Sorted(names));
}

TEST(BatchRun, ConvertedFileNames)
{
    using qvx::Common::UString;
    using qvx::Tolva::OutputName;
    using qvx::Tolva::OutputPath;
    qvx::Tolva::ToolSettings s;
    EXPECT_EQ(OutputName("in/my.pdf", s).ToUTF8(), "my_pdfa.pdf");
    EXPECT_EQ(OutputName("in/archive.tar.PDF", s).ToUTF8(), "archive.tar_pdfa.pdf");
    EXPECT_EQ(OutputName("in/caf\xE9.pdf", s).ToFileName(), "caf\xE9_pdfa.pdf");
    s.suffix = UString(u"-A");
    EXPECT_EQ(OutputName("x.txt", s).ToUTF8(), "x-A.pdf");
    s.outputName = UString(u"fixed.pdf");
    EXPECT_EQ(OutputName("in/my.pdf", s).ToUTF8(), "fixed.pdf");
    EXPECT_EQ(OutputPath("out/", UString(u"n.pdf"), s), "out/n.pdf");
    EXPECT_EQ(OutputPath("out\\", UString(u"n.pdf"), s), "out/n.pdf");
    EXPECT_EQ(OutputPath("out//", UString(u"n.pdf"), s), "out//n.pdf");
    EXPECT_EQ(OutputPath("/abs/out/mydir/sub", UString(u"n.pdf"), s), "/abs/out/mydir/sub/n.pdf");

    // In conversion mode the files are still processed one by one, with every option accepted.
    TempDir dir;
    MakeTree(dir);
    RunResult r = Tolva({"-x", "-c", "--nr", "-f", "one.pdf", "--suffix", "_x", "-o", "out", "--subfolders", "mydir"},
                        dir.Path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Sorted(ConsoleFiles(r.output)), (std::vector<std::string>{"B.PDF", "a.pdf", "b.pdf", "c.pdf"}));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "out/mydir/sub/deeper"));
}

TEST(BatchRun, ConversionWritesRevalidatesAndKeepsTheInput)
{
    TempDir dir;
    const std::string original = PdfBuilder::Minimal().Build();
    dir.Write("in.pdf", original);
    RunResult r = Tolva({"-x", "-c", "-o", "out", "in.pdf"}, dir.Path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("CNV-[PASS]: in_pdfa.pdf"), std::string::npos) << r.output;
    ASSERT_TRUE(fs::exists(dir.Path() / "out/in_pdfa.pdf"));
    EXPECT_EQ(qvx::Test::Run({"/usr/bin/qpdf", "--check", (dir.Path() / "out/in_pdfa.pdf").string()}).status, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "out"), {}), 1);

    // Linearized on request.
    RunResult z = Tolva({"-x", "-c", "-z", "-o", "lin", "in.pdf"}, dir.Path());
    EXPECT_NE(z.output.find("CNV-[PASS]: in_pdfa.pdf"), std::string::npos) << z.output;
    RunResult lin = qvx::Test::Run({"/usr/bin/qpdf", "--check-linearization", (dir.Path() / "lin/in_pdfa.pdf").string()});
    EXPECT_EQ(lin.status, 0) << lin.output;

    // An output name that is the input itself: a processing error, the input untouched.
    RunResult same = Tolva({"-x", "-c", "-f", "in.pdf", "-o", ".", "in.pdf"}, dir.Path());
    EXPECT_NE(same.output.find("Error: An error occurred while processing: in.pdf"), std::string::npos) << same.output;
    EXPECT_EQ(ReadFile(dir.Path() / "in.pdf"), original);
    EXPECT_EQ(same.output.find("CNV-"), std::string::npos);
}
