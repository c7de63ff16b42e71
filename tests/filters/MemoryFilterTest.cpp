#include <gtest/gtest.h>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"

using namespace qvx::Filters;
using qvx::Common::Bytes;
using qvx::Common::Exception;

namespace {

// Doubles every byte, refilling in small steps to exercise the window logic.
class DoubleFilter : public BufFilter {
public:
    explicit DoubleFilter(std::unique_ptr<Filter> in) : BufFilter(e_input, std::move(in), 16) {}
    const char* GetName() const override { return "Double"; }

protected:
    std::size_t Fill(Byte* buf, std::size_t cap) override
    {
        Byte tmp[8];
        std::size_t n = ReadInput(tmp, std::min<std::size_t>(cap / 2, sizeof tmp));
        for (std::size_t i = 0; i < n; ++i) buf[2 * i] = buf[2 * i + 1] = tmp[i];
        return 2 * n;
    }
};

}  // namespace

TEST(MemoryFilter, WriteThenReadBackAndSeek)
{
    MemoryFilter out;
    FilterWriter w(out);
    std::string text(100000, 'x');
    text += "end";
    w.WriteString(text);
    EXPECT_EQ(out.Data().size(), text.size());
    out.SetAsInputFilter();
    FilterReader r(out);
    r.Seek(-3, Filter::e_end);
    EXPECT_EQ(r.Get(), 'e');
    EXPECT_EQ(r.Peek(), 'n');
    EXPECT_EQ(r.Tell(), static_cast<std::int64_t>(text.size() - 2));
    EXPECT_THROW(r.Seek(1, Filter::e_end), Exception);
    EXPECT_THROW(out.Truncate(1), Exception);
    auto it = out.CreateInputIterator();
    FilterReader r2(*it);
    EXPECT_EQ(r2.ReadAll().size(), text.size());
    EXPECT_EQ(r.Get(), 'n');
}

TEST(BufFilter, ChainDecodesInPiecesAndHonoursBudget)
{
    Bytes data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<Byte>(i);
    DoubleFilter f(std::make_unique<MemoryFilter>(data));
    FilterReader r(f);
    Bytes got = r.ReadAll();
    ASSERT_EQ(got.size(), 2000u);
    EXPECT_EQ(got[1998], data[999]);
    EXPECT_EQ(f.Count(), 2000u);
    EXPECT_EQ(f.GetSourceFilter()->GetName(), std::string("MemoryFilter"));

    DoubleFilter limited(std::make_unique<MemoryFilter>(data));
    limited.SetOutputBudget(100);
    FilterReader r3(limited);
    EXPECT_THROW(r3.ReadAll(), Exception);
}

TEST(Filter, UnsupportedOperationsName)
{
    DoubleFilter f(std::make_unique<MemoryFilter>(Bytes{}));
    try {
        f.CreateInputIterator();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetMessage(), "CreateInputIterator() is not supported by this filter (\"Double\")");
    }
    EXPECT_THROW(f.Tell(), Exception);
}
