#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <utility>

#include "sdf/Rules.h"
#include "tests/apps/AppTestSupport.h"

using namespace qvx::Test;

// The committed clause table against the conformance corpus it was derived from: every row
// must still be borne out by the corpus folder of its clause, as the tool validates it today.
TEST(ClauseTable, RowsAreBorneOutByTheCorpus)
{
    if (!SharedDir()) GTEST_SKIP() << "no ../shared";
    RunResult r = qvx::Test::Run({"/usr/bin/python3", (SourceDir() / "tools/gen-clause-table.py").string(), "--tolva",
                       TolvaPath().string(), "--corpus", (*SharedDir() / "corpus").string(), "--check"},
                      {}, 600);
    EXPECT_EQ(r.status, 0) << r.output
                           << "\nRegenerate with tools/gen-clause-table.py --output sdf/Rules.def";
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, std::regex(R"((\d+) rows, 0 unsupported)"))) << r.output;
    // The script read the same clauses as the build compiled.
    std::set<std::pair<int, int>> clauses;
    for (const qvx::SDF::RuleRow& row : qvx::SDF::Rules())
        for (int column = 0; column <= qvx::SDF::kUAClauseColumn; ++column)
            if (*row.clauses[column]) clauses.insert({row.code, column});
    EXPECT_EQ(std::stoul(m[1]), clauses.size());
}
