// Differential tests of the page layer over the shared conformance corpus: the operator
// count of every page against an independent count of qpdf's decoded content, the page
// counts against qpdf, and the words of every page against pdftotext -raw. The scripts
// beside this file do the work and print the figures; the floors here keep them from
// sliding back.
#include <gtest/gtest.h>

#include <regex>

#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;

namespace {

fs::path Tool(const char* name) { return qvx::Test::TolvaPath().parent_path().parent_path().parent_path() / "tools" / name; }

std::string Script(const char* name) { return (qvx::Test::SourceDir() / "tests/pdf/shared" / name).string(); }

double Field(const std::string& out, const std::string& key)
{
    std::smatch m;
    std::regex re(key + ": ([0-9.]+)");
    return std::regex_search(out, m, re) ? std::stod(m[1]) : -1;
}

}  // namespace

TEST(PageLayerDiff, OperatorCountsAndPageCountsAgreeWithQpdf)
{
    auto shared = qvx::Test::SharedDir();
    if (!shared) GTEST_SKIP() << "no shared folder";
    fs::path pagedump = Tool("pagedump");
    ASSERT_TRUE(fs::exists(pagedump)) << pagedump;
    auto r = qvx::Test::Run({"/usr/bin/env", "python3", Script("content-diff.py"), pagedump.string(), (*shared / "corpus").string()}, {}, 1800);
    ASSERT_EQ(r.status, 0) << r.output;
    std::cout << r.output;
    double pages = Field(r.output, "pages"), agree = Field(r.output, "agree");
    ASSERT_GT(pages, 1000);
    // What differs is encrypted (the object layer has no security handler yet).
    EXPECT_GE(agree / pages, 0.999) << r.output;
    EXPECT_LE(Field(r.output, "pagecount-differs"), 2) << r.output;
}

TEST(PageLayerDiff, TextAgreesWithPdftotext)
{
    auto shared = qvx::Test::SharedDir();
    if (!shared) GTEST_SKIP() << "no shared folder";
    fs::path pagedump = Tool("pagedump");
    ASSERT_TRUE(fs::exists(pagedump)) << pagedump;
    auto r = qvx::Test::Run({"/usr/bin/env", "python3", Script("text-diff.py"), pagedump.string(), (*shared / "corpus").string()}, {}, 1800);
    ASSERT_EQ(r.status, 0) << r.output;
    std::cout << r.output;
    EXPECT_GE(Field(r.output, "agreement"), 95.0) << r.output;
}
