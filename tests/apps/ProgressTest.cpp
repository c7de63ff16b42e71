#include <gtest/gtest.h>

#include "apps/tolva/Progress.h"
#include "tests/apps/AppTestSupport.h"

using namespace qvx::Test;
using qvx::Tolva::ProgressText;

TEST(Progress, LineText)
{
    EXPECT_EQ(ProgressText(0, 40, 1.5), "0/40 files");
    EXPECT_EQ(ProgressText(10, 40, 2.0), "10/40 files, 5.0 files/s, 0:06 left");
    EXPECT_EQ(ProgressText(3, 1000, 1.0), "3/1000 files, 3.0 files/s, 5:32 left");
    EXPECT_EQ(ProgressText(40, 40, 8.0), "40/40 files, 5.0 files/s, 0:00 left");
    // More files done than counted (a folder grew while the batch ran): nothing left.
    EXPECT_EQ(ProgressText(45, 40, 9.0), "45/40 files, 5.0 files/s, 0:00 left");
}

TEST(Progress, CountsWhatTheWalkProcesses)
{
    TempDir dir;
    for (const char* name : {"mydir/a.pdf", "mydir/B.PDF", "mydir/notes.txt", "mydir/sub/b.pdf", "mydir/sub/c.pdf",
                             "top.pdf", "report.pdf", "x.txt"})
        dir.Write(name, "%PDF-1.7\n");
    qvx::Tolva::ToolSettings s;
    auto at = [&](std::string name) { return (dir.Path() / name).string(); };
    std::vector<std::string> inputs = {at("mydir"), at("top.pdf"), at("report"), at("x.txt"), at("missing.pdf")};
    EXPECT_EQ(qvx::Tolva::CountInputFiles(inputs, s), 4u);
    s.subfolders = true;
    EXPECT_EQ(qvx::Tolva::CountInputFiles(inputs, s), 6u);
    s.extension = qvx::Common::UString(u".txt");
    EXPECT_EQ(qvx::Tolva::CountInputFiles(inputs, s), 2u);
}
