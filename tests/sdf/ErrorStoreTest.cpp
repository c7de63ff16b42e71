#include <gtest/gtest.h>

#include "sdf/CheckState.h"

using qvx::SDF::CheckState;
using qvx::SDF::ErrorStore;

TEST(ErrorStore, CapKeepsFirstDistinctNumbersAscending)
{
    ErrorStore s(3);
    for (std::uint32_t n : {9u, 4u, 9u, 7u, 2u, 1u}) s.AddError(100, n);
    const auto& rec = s.Records().at(100);
    EXPECT_EQ(std::vector<std::uint32_t>(rec.refs.begin(), rec.refs.end()), (std::vector<std::uint32_t>{4, 7, 9}));
    s.AddError(5, 0u);
    EXPECT_TRUE(s.Records().at(5).refs.empty());

    ErrorStore all(0);
    for (std::uint32_t n = 1; n <= 25; ++n) all.AddError(1, n);
    EXPECT_EQ(all.Records().at(1).refs.size(), 25u);
}

TEST(ErrorStore, OrderAndPresentFlag)
{
    ErrorStore s;
    s.AddError(10);
    s.AddError(-17110);
    s.AddError(-1);
    std::vector<int> order;
    for (const auto& [code, rec] : s.Records()) order.push_back(code);
    EXPECT_EQ(order, (std::vector<int>{-17110, -1, 10}));
    s.ClearPresent();
    EXPECT_FALSE(s.AnyPresent());
    s.AddError(10, 3u);
    EXPECT_TRUE(s.AnyPresent());
    EXPECT_TRUE(s.Records().at(10).present);
    EXPECT_FALSE(s.Records().at(-1).present);
}

TEST(CheckState, ReportSetsStopOnlyWithFirstStopInValidation)
{
    bool stop = false;
    CheckState st;
    st.stop = &stop;
    st.Report(qvx::SDF::e_PDFA131);
    EXPECT_FALSE(stop);
    st.first_stop = true;
    st.convert = true;
    st.Report(qvx::SDF::e_PDFA131);
    EXPECT_FALSE(stop);
    st.convert = false;
    st.Report(qvx::SDF::e_PDFA132, 4);
    EXPECT_TRUE(stop);
    EXPECT_TRUE(st.Stopped());
    EXPECT_EQ(CheckState::PartOf(2), 1);
    EXPECT_EQ(CheckState::PartOf(5), 2);
    EXPECT_EQ(CheckState::PartOf(8), 3);
    EXPECT_EQ(CheckState::PartOf(11), 4);
    EXPECT_EQ(CheckState::PartOf(12), 0);
}

TEST(CheckState, ReportKeepsOnlyRulesInForceAtTheLevel)
{
    using namespace qvx::SDF;
    bool stop = false;
    CheckState st;
    st.stop = &stop;
    st.first_stop = true;
    // Object streams are a PDF/A-1 rule: a 2B run drops it and does not stop for it.
    st.level = 4;
    st.Report(e_PDFA14, 3);
    EXPECT_FALSE(st.errors.Has(e_PDFA14));
    EXPECT_FALSE(stop);
    st.Report(e_PDFA11, 3);
    EXPECT_TRUE(st.errors.Has(e_PDFA11));
    EXPECT_TRUE(stop);
    // The parser hooks hold rules against their own level, not the passes'.
    st.ReportAt(2, e_PDFA14, 5);
    EXPECT_EQ(st.errors.Records().at(e_PDFA14).refs, (std::set<std::uint32_t>{5}));
    // PDF/UA rules stand at level 12 only; without a level every rule counts.
    st.Report(e_PDFUA1714);
    EXPECT_FALSE(st.errors.Has(e_PDFUA1714));
    st.level = 12;
    st.Report(e_PDFUA1714);
    EXPECT_TRUE(st.errors.Has(e_PDFUA1714));
    st.level = 0;
    st.Report(e_PDFA46253);
    EXPECT_TRUE(st.errors.Has(e_PDFA46253));
    EXPECT_FALSE(InForce(e_PDFA46253, 4));
    EXPECT_TRUE(InForce(e_PDFA46253, 9));
    EXPECT_TRUE(InForce(99999, 4));
}
