// The filters that present files and other filters as sources and sinks: MappedFile,
// MultipleFilterAdaptor, FilterPool readers and CountFilter.
#include <gtest/gtest.h>

#include <thread>

#include "common/Exception.h"
#include "filters/CountFilter.h"
#include "filters/FilterPool.h"
#include "filters/FlateDecode.h"
#include "filters/FlateEncode.h"
#include "filters/MappedFile.h"
#include "filters/MultipleFilterAdaptor.h"
#include "filters/StdFile.h"
#include "tests/filters/FilterTestUtil.h"
#include "tests/support/TestEnv.h"

using namespace qvx::Filters;
using namespace qvx::Test;
using qvx::Common::Exception;

namespace {

Bytes ReadFrom(Filter& f, std::size_t n)
{
    Bytes out(n);
    FilterReader r(f);
    out.resize(r.Read(out.data(), n));
    return out;
}

}  // namespace

TEST(MappedFile, ReadsSeeksAndIteratesAcrossChunks)
{
    TempDir dir;
    Bytes data = SampleData(3 * 4096 * 5 + 123, 4);
    auto path = dir.Write("f.bin", std::string(data.begin(), data.end()));
    MappedFile f(path.string(), 4096 * 2);  // chunks of two pages: the data spans eight
    FilterReader r(f);
    EXPECT_EQ(r.ReadAll(), data);
    EXPECT_EQ(f.Tell(), std::int64_t(data.size()));
    EXPECT_EQ(f.Count(), data.size());
    // A window never crosses a chunk, and seeking anywhere lands on the right byte.
    for (std::int64_t at : {0L, 8191L, 8192L, 40000L, std::int64_t(data.size()) - 1}) {
        f.Seek(at, Filter::e_begin);
        ASSERT_GT(f.Size(), 0u);
        EXPECT_EQ(*f.Begin(), data[std::size_t(at)]) << at;
        EXPECT_LE(f.Size(), 8192 - std::size_t(at) % 8192);
    }
    f.Seek(-10, Filter::e_end);
    EXPECT_EQ(ReadFrom(f, 100), Bytes(data.end() - 10, data.end()));
    EXPECT_EQ(MessageOf([&] { f.Seek(1, Filter::e_end); }), "File seek failed");
    // Iterators keep their own positions over the same mapping.
    f.Seek(5, Filter::e_begin);
    auto it = f.CreateInputIterator();
    EXPECT_EQ(ReadFrom(*it, 3), Bytes(data.begin(), data.begin() + 3));
    EXPECT_EQ(ReadFrom(f, 3), Bytes(data.begin() + 5, data.begin() + 8));
    EXPECT_EQ(it->GetFilePath(), path.string());
    // A closed manager refuses new chunks; an empty file is simply empty.
    f.Manager().Close();
    f.Seek(30000, Filter::e_begin);
    EXPECT_EQ(MessageOf([&] { f.Size(); }), "File is closed, cannot access data");
    MappedFile empty(dir.Write("e.bin", "").string());
    EXPECT_EQ(empty.Size(), 0u);
    qvx::Common::ByteView view;
        EXPECT_EQ(MessageOf([&] { empty.Manager().Map(0, view); }), "Cannot access file at this offset!");
    EXPECT_TRUE(empty.WholeFile().empty());
}

// The document reader wants the file as one contiguous view: chunk size 0 maps it whole.
TEST(MappedFile, WholeFileView)
{
    TempDir dir;
    Bytes data = SampleData(5 * 4096 + 7, 3);
    auto path = dir.Write("w.bin", std::string(data.begin(), data.end()));
    MappedFile whole(path.string(), 0);
    qvx::Common::ByteView view = whole.WholeFile();
    EXPECT_EQ(Bytes(view.begin(), view.end()), data);
    EXPECT_EQ(ReadFrom(whole, 10), Bytes(data.begin(), data.begin() + 10));
    MappedFile chunked(path.string(), 4096);
    EXPECT_TRUE(chunked.WholeFile().empty());
}

TEST(MappedFile, ReportsMissingFilesAndFolders)
{
    TempDir dir;
    const std::string missing = (dir.Path() / "nope.pdf").string();
    EXPECT_EQ(MessageOf([&] { MappedFile f(missing); }), "MappingManager file not found: " + missing);
    EXPECT_EQ(MessageOf([&] { MappedFile f(dir.Path().string()); }),
              "MappingManager expected file but got a folder: " + dir.Path().string());
}

TEST(MultipleFilterAdaptor, ConcatenatesAndSeeksAcrossParts)
{
    Bytes a = SampleData(100, 1), b, c = SampleData(70000, 3);
    std::vector<std::unique_ptr<Filter>> parts;
    parts.push_back(std::make_unique<MemoryFilter>(a));
    parts.push_back(std::make_unique<MemoryFilter>(b));  // an empty part is skipped
    parts.push_back(std::make_unique<MemoryFilter>(c));
    MultipleFilterAdaptor m(std::move(parts));
    Bytes all = a;
    all.insert(all.end(), c.begin(), c.end());
    FilterReader r(m);
    EXPECT_EQ(r.ReadAll(), all);
    ASSERT_TRUE(m.CanSeek());
    for (std::int64_t at : {0L, 99L, 100L, 101L, 50000L}) {
        m.Seek(at, Filter::e_begin);
        EXPECT_EQ(m.Tell(), at);
        EXPECT_EQ(ReadFrom(m, 5), Bytes(all.begin() + at, all.begin() + at + 5)) << at;
    }
    // Reading on from a part reached by seeking continues into the next one from its start.
    m.Seek(97, Filter::e_begin);
    EXPECT_EQ(ReadFrom(m, 6), Bytes(all.begin() + 97, all.begin() + 103));
    m.Seek(-3, Filter::e_end);
    EXPECT_EQ(r.ReadAll(), Bytes(all.end() - 3, all.end()));
    EXPECT_EQ(MessageOf([&] { m.Seek(-1, Filter::e_begin); }), "File seek failed");
    auto it = m.CreateInputIterator();
    EXPECT_EQ(FilterReader(*it).ReadAll(), all);
    // A part that cannot seek makes the whole unseekable; reading still works.
    MultipleFilterAdaptor n;
    n.AddFilter(std::make_unique<MemoryFilter>(a));
    n.AddFilter(std::make_unique<FlateDecode>(std::make_unique<MemoryFilter>(
        Encode([](auto out) { return std::make_unique<FlateEncode>(std::move(out)); }, c))));
    EXPECT_FALSE(n.CanSeek());
    EXPECT_EQ(MessageOf([&] { n.Seek(0, Filter::e_begin); }), "Seek is not supported by this filter");
    EXPECT_EQ(FilterReader(n).ReadAll(), all);
    EXPECT_EQ(n.Tell(), std::int64_t(all.size()));
}

TEST(FilterPool, ReadersKeepTheirOwnPositionsAcrossThreads)
{
    TempDir dir;
    Bytes data = SampleData(300000, 9);
    auto path = dir.Write("p.bin", std::string(data.begin(), data.end()));
    FilterPool pool(std::make_unique<StdFile>(path.string(), StdFile::e_read_mode));
    EXPECT_EQ(pool.Size(), data.size());
    auto a = pool.CreateReader(1000);
    auto b = pool.CreateReader(777);
    b->Seek(123456, Filter::e_begin);
    // Two threads read interleaved; each must see exactly its own stretch of the data.
    Bytes got_a, got_b;
    std::thread ta([&] {
        for (std::size_t i = 0; i < 100; ++i) {
            Bytes piece = ReadFrom(*a, 1500);
            got_a.insert(got_a.end(), piece.begin(), piece.end());
        }
    });
    std::thread tb([&] {
        for (std::size_t i = 0; i < 100; ++i) {
            Bytes piece = ReadFrom(*b, 1000);
            got_b.insert(got_b.end(), piece.begin(), piece.end());
            if (i % 10 == 9) b->Seek(-500, Filter::e_cur), got_b.erase(got_b.end() - 500, got_b.end());
        }
    });
    ta.join();
    tb.join();
    EXPECT_EQ(got_a, Bytes(data.begin(), data.begin() + 150000));
    EXPECT_EQ(got_b, Bytes(data.begin() + 123456, data.begin() + 123456 + std::ptrdiff_t(got_b.size())));
    EXPECT_EQ(got_b.size(), 100000u - 10 * 500);
    auto c = b->CreateInputIterator();
    EXPECT_EQ(c->Tell(), 0);
    EXPECT_EQ(FilterReader(*c).ReadAll(), data);
    EXPECT_EQ(c->GetFilePath(), path.string());
    EXPECT_EQ(MessageOf([&] { c->Seek(1, Filter::e_end); }), "File seek failed");
    EXPECT_EQ(MessageOf([] { FilterPool p(std::make_unique<TrickleSource>(Bytes{1}, 1)); }),
              "Seek is not supported by this filter");
}

TEST(CountFilter, CountsWhatPassesToTheSink)
{
    auto sink = std::make_unique<MemoryFilter>();
    auto* mem = sink.get();
    CountFilter count(std::make_unique<FlateEncode>(std::move(sink)));
    FilterWriter w(count);
    Bytes data = SampleData(100000, 2);
    w.WriteBuffer(data);
    EXPECT_EQ(count.Count(), data.size());
    EXPECT_EQ(count.SetCount(7), data.size());
    w.WriteString("abc");
    EXPECT_EQ(count.Count(), 10u);
    w.Finish();
    data.insert(data.end(), {'a', 'b', 'c'});
    FlateDecode back(MemoryFilter::View(mem->Data()));
    EXPECT_EQ(FilterReader(back).ReadAll(), data);
    // Over an input it counts what is read.
    CountFilter in(std::make_unique<MemoryFilter>(Bytes(10, 1)));
    EXPECT_TRUE(in.IsInputFilter());
    EXPECT_EQ(ReadFrom(in, 4).size(), 4u);
    EXPECT_EQ(in.Count(), 4u);
}
