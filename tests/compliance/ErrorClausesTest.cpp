#include <gtest/gtest.h>

#include <regex>

#include "pdf/compliance/ErrorCatalogue.h"

// What the report reads from the table.
TEST(ErrorClauses, RowsNameCataloguedCodesAndClauses)
{
    std::regex clause(R"(\d+(\.\d+)*)");
    for (const qvx::PDF::ErrorClauseRow& row : qvx::PDF::ErrorClauses()) {
        EXPECT_NE(qvx::PDF::FindErrorMessage(row.code), nullptr) << row.code;
        EXPECT_TRUE(row.part >= 0 && row.part <= 4) << row.code;
        EXPECT_TRUE(std::regex_match(row.clause, clause)) << row.code << " " << row.clause;
        // PDF/UA codes stand in ISO 14289 (part 0) only; PDF/A codes may too, from PDF/UA runs.
        if (row.code < 0) {
            EXPECT_EQ(row.part, 0) << row.code;
        }
    }
    // Level to part: 1B reads part 1, 2U part 2, 4F part 4, UA1 the PDF/UA rows.
    EXPECT_STREQ(qvx::PDF::FindErrorClause(1101, 2), "6.1.10");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(2331, 5), "6.2.4.3");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(2331, 11), "6.2.4.3");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(-151, 12), "5");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(-151, 4), "");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(1101, 0), "");
    EXPECT_STREQ(qvx::PDF::FindErrorClause(99999, 4), "");
}
