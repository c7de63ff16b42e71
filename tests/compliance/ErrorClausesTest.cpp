#include <gtest/gtest.h>

#include <regex>

#include "pdf/compliance/ErrorCatalogue.h"
#include "sdf/Rules.h"

// What the report reads from the table.
TEST(ErrorClauses, RowsNameClausesAndLevelsPickTheirColumn)
{
    std::regex clause(R"(\d+(\.\d+)*)");
    for (const qvx::SDF::RuleRow& row : qvx::SDF::Rules()) {
        for (int column = 0; column <= qvx::SDF::kUAClauseColumn; ++column) {
            std::string text = row.clauses[column];
            EXPECT_TRUE(text.empty() || std::regex_match(text, clause)) << row.code << " " << text;
            // PDF/UA codes stand in ISO 14289 only; PDF/A codes may too, from PDF/UA runs.
            if (row.code < 0 && column != qvx::SDF::kUAClauseColumn) {
                EXPECT_EQ(text, "") << row.code;
            }
        }
    }
    // Level to part: 1B reads part 1, 2U part 2, 4F part 4, UA1 the PDF/UA column.
    EXPECT_STREQ(qvx::PDF::FindErrorClause(1101, 2), "6.1.10");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(2331, 5), "6.2.4.3");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(2331, 11), "6.2.4.3");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(-151, 12), "5");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(-151, 4), "");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(1101, 0), "");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(99999, 4), "");
}
