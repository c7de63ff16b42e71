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
