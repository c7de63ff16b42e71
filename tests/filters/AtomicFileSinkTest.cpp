#include <gtest/gtest.h>

#include <filesystem>

#include "common/Exception.h"
#include "filters/AtomicFileSink.h"
#include "filters/FilterReader.h"
#include "tests/support/TestEnv.h"

using namespace qvx;
using qvx::Test::ReadFile;
using qvx::Test::TempDir;

namespace {

std::size_t Entries(const std::filesystem::path& dir)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

}  // namespace

TEST(AtomicFileSink, TheDestinationChangesOnlyOnCommit)
{
    TempDir dir;
    auto dest = dir.Write("out.pdf", "old contents");
    {
        Filters::AtomicFileSink sink(dest.string());
        EXPECT_EQ(std::filesystem::path(sink.GetFilePath()).parent_path(), dir.Path());
        Filters::FilterWriter w(sink);
        w.WriteString("new");
        w.Flush();
        EXPECT_EQ(ReadFile(dest), "old contents");
        EXPECT_EQ(Entries(dir.Path()), 2u);
        // Dropped without Commit: the temporary file goes, the destination stays.
    }
    EXPECT_EQ(ReadFile(dest), "old contents");
    EXPECT_EQ(Entries(dir.Path()), 1u);
    {
        Filters::AtomicFileSink sink(dest.string());
        Filters::FilterWriter w(sink);
        std::string big(200000, 'x');  // more than the file buffer
        w.WriteString(big);
        sink.Commit();
        EXPECT_EQ(ReadFile(dest), big);
        EXPECT_THROW(sink.Commit(), Common::Exception);
    }
    EXPECT_EQ(Entries(dir.Path()), 1u);
    // A relative name works in the current folder too.
    auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    {
        Filters::AtomicFileSink sink("rel.pdf");
        Filters::FilterWriter(sink).WriteString("r");
        sink.Commit();
    }
    std::filesystem::current_path(cwd);
    EXPECT_EQ(ReadFile(dir.Path() / "rel.pdf"), "r");
}

TEST(AtomicFileSink, FolderThatTakesNoFile)
{
    TempDir dir;
    try {
        Filters::AtomicFileSink sink((dir.Path() / "missing" / "out.pdf").string());
        FAIL() << "no exception";
    } catch (const Common::Exception& e) {
        EXPECT_EQ(e.GetMessage(),
                  "Cannot create a temporary file in " + (dir.Path() / "missing").string() + "\nNo such file or directory");
    }
    EXPECT_EQ(Entries(dir.Path()), 0u);
}
