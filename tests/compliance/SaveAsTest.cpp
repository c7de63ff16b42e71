#include <gtest/gtest.h>

#include <filesystem>

#include "common/Exception.h"
#include "pdf/compliance/PDFACompliance.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/TestEnv.h"

using namespace qvx;
using namespace qvx::PDF;
using qvx::Common::UString;
using qvx::Test::ReadFile;
using qvx::Test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string Message(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Common::Exception& e) {
        return e.GetMessage();
    }
    return "no exception";
}

UString Name(const fs::path& p) { return UString::FromFileName(p.string()); }

std::size_t Entries(const fs::path& dir)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

}  // namespace

TEST(SaveAs, WritesTheRunsDocumentByLevel)
{
    TempDir dir;
    auto in = dir.Write("in.pdf", qvx::Test::PdfBuilder::Minimal("1.6").Build());
    // PDF/A-1b: a 1.4 header and a classic table.
    {
        PDFACompliance run(true, Name(in), nullptr, e_Level1B, nullptr, 0, 10, false);
        run.SaveAs(Name(dir.Path() / "a1.pdf"), false);
    }
    std::string a1 = ReadFile(dir.Path() / "a1.pdf");
    EXPECT_EQ(a1.substr(0, 16), "%PDF-1.4\r%\xE2\xE3\xCF\xD3\r\n");
    EXPECT_NE(a1.find("\rxref\r0 "), std::string::npos);
    EXPECT_EQ(a1.find("/ObjStm"), std::string::npos);
    // PDF/A-2b: the document's own 1.x header, object streams; linearized on request.
    {
        PDFACompliance run(true, Name(in), nullptr, e_Level2B, nullptr, 0, 10, false);
        run.SaveAs(Name(dir.Path() / "a2.pdf"), false);
        run.SaveAs(Name(dir.Path() / "a2z.pdf"), true);
    }
    std::string a2 = ReadFile(dir.Path() / "a2.pdf");
    EXPECT_EQ(a2.substr(0, 8), "%PDF-1.6");
    EXPECT_NE(a2.find("/Type/XRef"), std::string::npos);
    EXPECT_NE(ReadFile(dir.Path() / "a2z.pdf").find("/Linearized 1"), std::string::npos);
    // The saved files validate as documents of their own.
    for (const char* name : {"a1.pdf", "a2.pdf", "a2z.pdf"}) {
        PDFACompliance check(false, Name(dir.Path() / name), nullptr, e_Level2B, nullptr, 0, 10, false);
        EXPECT_FALSE(check.GetDoc().HasRepairedXRef()) << name;
    }
    EXPECT_EQ(Entries(dir.Path()), 4u);
}

TEST(SaveAs, NeverOverwritesTheInputAndLeavesNothingBehindOnFailure)
{
    TempDir dir;
    const std::string original = qvx::Test::PdfBuilder::Minimal().Build();
    auto in = dir.Write("sub/in.pdf", original);
    fs::create_symlink(in, dir.Path() / "link.pdf");
    PDFACompliance run(true, Name(in), nullptr, e_Level2B, nullptr, 0, 10, false);
    // The same file under another spelling, or through a link.
    for (const fs::path& same : {in, dir.Path() / "sub" / ".." / "sub" / "in.pdf", dir.Path() / "link.pdf"}) {
        EXPECT_EQ(Message([&] { run.SaveAs(Name(same), false); }), "Cannot save over the input file: " + same.string());
        EXPECT_EQ(ReadFile(in), original);
    }
    // A folder that does not exist: no file and no temporary file anywhere.
    std::string missing = Message([&] { run.SaveAs(Name(dir.Path() / "none" / "out.pdf"), false); });
    EXPECT_NE(missing.find("Cannot create a temporary file in " + (dir.Path() / "none").string()), std::string::npos)
        << missing;
    EXPECT_EQ(Entries(dir.Path() / "sub"), 1u);
    EXPECT_EQ(Entries(dir.Path()), 2u);
    // A run over a buffer has no input file to protect.
    PDFACompliance from_memory(true, Common::ToBytes(original), nullptr, e_Level2B, nullptr, 0, 10, false);
    from_memory.SaveAs(Name(dir.Path() / "sub" / "copy.pdf"), false);
    EXPECT_EQ(Entries(dir.Path() / "sub"), 2u);
}
