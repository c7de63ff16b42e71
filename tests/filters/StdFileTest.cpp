#include <gtest/gtest.h>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/StdFile.h"
#include "tests/filters/FilterTestUtil.h"
#include "tests/support/TestEnv.h"

using namespace qvx::Filters;
using namespace qvx::Test;
using qvx::Common::Exception;

namespace {

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace

TEST(StdFile, WriteThenReadAcrossBuffersWithSeeks)
{
    TempDir dir;
    std::string path = (dir.Path() / "data.bin").string();
    Bytes data = SampleData(200000, 5);
    {
        StdFile out(path, StdFile::e_write_mode, 4096);
        EXPECT_FALSE(out.IsInputFilter());
        FilterWriter w(out);
        w.WriteBuffer(data);
        EXPECT_EQ(out.Tell(), 200000);
        EXPECT_EQ(out.FileSize(), 200000);
        EXPECT_EQ(out.Count(), 200000u);
    }  // the destructor writes the buffered tail
    EXPECT_EQ(ReadFile(path), Text(data));

    StdFile in(path, StdFile::e_read_mode, 4096);
    EXPECT_EQ(in.GetFilePath(), path);
    FilterReader r(in);
    EXPECT_EQ(r.Get(), data[0]);
    r.Seek(-3, Filter::e_end);
    EXPECT_EQ(r.Tell(), 199997);
    EXPECT_EQ(r.Get(), data[199997]);
    r.Seek(100, Filter::e_begin);  // far outside the window
    EXPECT_EQ(r.Get(), data[100]);
    r.Seek(-1, Filter::e_cur);     // inside the window
    EXPECT_EQ(r.Get(), data[100]);
    r.Seek(150000, Filter::e_begin);
    Bytes rest = r.ReadAll();
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), data.begin() + 150000));
    EXPECT_EQ(rest.size(), 50000u);
    EXPECT_EQ(r.Get(), -1);

    EXPECT_EQ(MessageOf([&] { r.Seek(1, Filter::e_end); }),
              "File seek failed. " + path + ", size=200000, origin=2, offset=1");
    EXPECT_EQ(MessageOf([&] { r.Seek(-5, Filter::e_begin); }),
              "File seek failed. " + path + ", size=200000, origin=0, offset=-5");
    EXPECT_EQ(r.Tell(), 200000);  // a failed seek leaves the position alone

    // An iterator has its own position over the same file.
    auto it = in.CreateInputIterator();
    FilterReader r2(*it);
    EXPECT_EQ(r2.Get(), data[0]);
    EXPECT_EQ(r2.ReadAll().size(), data.size() - 1);
    EXPECT_EQ(r.Tell(), 200000);
}

TEST(StdFile, ModesAndTheirRefusals)
{
    TempDir dir;
    EXPECT_EQ(MessageOf([] { StdFile f("", StdFile::e_read_mode); }), "Filename was not given");
    std::string missing = (dir.Path() / "missing.pdf").string();
    EXPECT_EQ(MessageOf([&] { StdFile f(missing, StdFile::e_read_mode); }).rfind("Error opening file: " + missing + "\n", 0), 0u);
    EXPECT_NE(MessageOf([&] { StdFile f(dir.Path().string(), StdFile::e_read_mode); }), "(no exception)");

    std::string path = dir.Write("a.txt", "abc").string();
    StdFile ro(path, StdFile::e_read_mode);
    EXPECT_EQ(MessageOf([&] { ro.Truncate(1); }), "Cannot truncate a read-only filter");
    EXPECT_EQ(MessageOf([&] { ro.SetReadMode(false); }), "This file stream cannot switch read/write modes");
    StdFile wo((dir.Path() / "w.txt").string(), StdFile::e_write_mode);
    EXPECT_EQ(MessageOf([&] { wo.SetReadMode(true); }), "This file stream cannot switch read/write modes");

    // Append starts at the end; it may switch to reading and back.
    {
        StdFile app(path, StdFile::e_append_mode);
        EXPECT_EQ(app.Tell(), 3);
        FilterWriter w(app);
        w.WriteString("def");
        app.SetReadMode(true);
        app.Seek(0, Filter::e_begin);
        FilterReader r(app);
        EXPECT_EQ(Text(r.ReadAll()), "abcdef");
        app.SetReadMode(false);
        w.WriteString("g");
    }
    EXPECT_EQ(ReadFile(path), "abcdefg");

    // Read-write: overwrite in place, cut the file, and the position follows the cut.
    {
        StdFile rw(path, StdFile::e_read_write_mode);
        EXPECT_TRUE(rw.IsInputFilter());
        rw.Seek(2, Filter::e_begin);
        rw.SetReadMode(false);
        FilterWriter(rw).WriteString("XY");
        EXPECT_EQ(rw.Tell(), 4);
        rw.Truncate(5);
        EXPECT_EQ(rw.FileSize(), 5);
        rw.Truncate(3);
        EXPECT_EQ(rw.Tell(), 3);
        FilterWriter(rw).WriteString("Z");
    }
    EXPECT_EQ(ReadFile(path), "abXZ");
}

TEST(StdFile, WriteFailureIsReported)
{
    StdFile full("/dev/full", StdFile::e_write_mode, 64);
    FilterWriter w(full);
    EXPECT_EQ(MessageOf([&] {
                  w.WriteString(std::string(1000, 'x'));
                  w.Flush();
              }),
              "Error writing to the file");
}
