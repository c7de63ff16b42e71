// The driver's order of passes, its stop flag and the release of the per-run caches.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "pdf/compliance/ComplianceDriver.h"

using namespace qvx::PDF;

namespace {

std::vector<std::string> g_ran;

void Quiet(PassContext&) { g_ran.push_back("quiet"); }
void Finds(PassContext& ctx)
{
    g_ran.push_back("finds");
    ctx.Report(qvx::SDF::e_PDFA174);
}
void Throws(PassContext&)
{
    g_ran.push_back("throws");
    throw std::runtime_error("pass failed");
}

struct Tracked {
    bool* released = nullptr;
    ~Tracked()
    {
        if (released) *released = true;
    }
};
bool g_released = false;
void Caches(PassContext& ctx)
{
    g_ran.push_back("caches");
    ctx.caches.Get<Tracked>().released = &g_released;
}

struct Driven {
    qvx::SDF::SDFDoc doc;
    PassContext ctx{doc};

    explicit Driven(bool first_stop, bool convert = false)
    {
        g_ran.clear();
        g_released = false;
        doc.GetCheckState().first_stop = first_stop;
        doc.GetCheckState().convert = convert;
    }
};

constexpr DriverPass kFinds[] = {{"a", Quiet}, {"b", Finds}, {"c", Quiet}, {"d", Finds}};

}  // namespace

TEST(Driver, PassesInTheirOrder)
{
    std::vector<std::string> names;
    for (const DriverPass& p : DriverPasses()) names.emplace_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"flattening", "encryption", "file identifier",
                                               "linearization identifier", "mark information", "structure tree",
                                               "objects", "permissions", "name trees", "optional content",
                                               "requirements", "catalog version", "metadata", "pages",
                                               "structure data"}));
}

TEST(Driver, FirstStopEndsAfterThePassThatReported)
{
    Driven all(false);
    RunDriver(all.ctx, nullptr, kFinds);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"quiet", "finds", "quiet", "finds"}));
    EXPECT_EQ(all.ctx.state.stop, nullptr);  // no flag without first-stop

    Driven first(true);
    RunDriver(first.ctx, nullptr, kFinds);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"quiet", "finds"}));
    EXPECT_EQ(first.ctx.state.stop, nullptr);  // the driver's own flag is gone with it

    // Conversion repairs and goes on.
    Driven convert(true, true);
    RunDriver(convert.ctx, nullptr, kFinds);
    EXPECT_EQ(g_ran.size(), 4u);

    // A caller's flag serves without first-stop too, and stays set.
    Driven caller(false);
    bool stop = false;
    constexpr DriverPass kSets[] = {{"a", Quiet}, {"b", [](PassContext& ctx) { *ctx.state.stop = true; }}, {"c", Quiet}};
    RunDriver(caller.ctx, &stop, kSets);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"quiet"}));
    EXPECT_TRUE(stop);
}

TEST(Driver, CachesReleasedAfterTheLastPassAndOnThrow)
{
    Driven done(false);
    constexpr DriverPass kUse[] = {{"a", Caches}, {"b", Quiet}};
    RunDriver(done.ctx, nullptr, kUse);
    EXPECT_TRUE(g_released);
    EXPECT_TRUE(done.ctx.caches.Empty());

    Driven failed(true);
    constexpr DriverPass kFail[] = {{"a", Caches}, {"b", Throws}, {"c", Quiet}};
    EXPECT_THROW(RunDriver(failed.ctx, nullptr, kFail), std::runtime_error);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"caches", "throws"}));
    EXPECT_TRUE(g_released);
    EXPECT_TRUE(failed.ctx.caches.Empty());
    EXPECT_EQ(failed.ctx.state.stop, nullptr);
}
