#include <gtest/gtest.h>

#include <regex>

#include "pdf/compliance/ErrorCatalogue.h"
#include "tests/apps/AppTestSupport.h"

using namespace qvx::Test;

// The committed clause table against the conformance corpus it was derived from: every row
// must still be borne out by the corpus folder of its clause, as the tool validates it today.
TEST(ClauseTable, RowsAreBorneOutByTheCorpus)
{
    if (!SharedDir()) GTEST_SKIP() << "no ../shared";
    RunResult r = qvx::Test::Run({"/usr/bin/python3", (SourceDir() / "tools/gen-clause-table.py").string(), "--tolva",
                       TolvaPath().string(), "--corpus", (*SharedDir() / "corpus").string(), "--check",
                       (SourceDir() / "pdf/compliance/ErrorClauses.cpp").string()},
                      {}, 600);
    EXPECT_EQ(r.status, 0) << r.output
                           << "\nRegenerate with tools/gen-clause-table.py --output pdf/compliance/ErrorClauses.cpp";
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, std::regex(R"((\d+) rows, 0 unsupported)"))) << r.output;
    EXPECT_EQ(std::stoul(m[1]), qvx::PDF::ErrorClauses().size());
}
