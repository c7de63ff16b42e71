#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "common/Exception.h"
#include "pdf/compliance/ErrorStoreReader.h"

using qvx::Common::Exception;
using qvx::PDF::ErrorStoreReader;
using qvx::SDF::ErrorStore;

namespace {

// Any handle with GetObjNum serves the object form of AddError.
struct FakeObj {
    std::uint32_t num;
    std::uint32_t GetObjNum() const { return num; }
};

template <class F>
Exception Thrown(F f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return Exception("", "", "", "", 0);
}

}  // namespace

TEST(ErrorStoreReader, CapOrderAndDuplicatesAsRead)
{
    ErrorStore store(10);
    // 25 violating objects reported in descending order: the first ten reported are kept.
    for (std::uint32_t n = 25; n >= 1; --n) store.AddError(131, n);
    store.AddError(131, 20u);  // duplicate of a kept number
    store.AddError(-17110);
    store.AddError(10);
    FakeObj obj{42};
    store.AddError(10, &obj);
    store.AddError(10, &obj);
    store.AddError(722, static_cast<const FakeObj*>(nullptr));

    ErrorStoreReader r(store);
    ASSERT_EQ(r.GetErrorCount(), 4);
    EXPECT_EQ(r.GetError(0), -17110);
    EXPECT_EQ(r.GetError(1), 10);
    EXPECT_EQ(r.GetError(2), 131);
    EXPECT_EQ(r.GetError(3), 722);
    EXPECT_EQ(r.GetRefCount(131), 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(r.GetRef(131, i), 16u + i);
    EXPECT_EQ(r.GetRef(131, 10), 0u);
    EXPECT_EQ(r.GetRef(131, -1), 0u);
    EXPECT_EQ(r.GetRefCount(10), 1);
    EXPECT_EQ(r.GetRef(10, 0), 42u);
    EXPECT_EQ(r.GetRefCount(722), 0);
    EXPECT_EQ(r.GetRefCount(-17110), 0);
    // The range yields the same records in the same order.
    std::vector<std::int32_t> codes;
    for (const auto& [code, record] : r) {
        codes.push_back(code);
        EXPECT_EQ(static_cast<int>(record.refs.size()), r.GetRefCount(code)) << code;
    }
    EXPECT_EQ(codes, (std::vector<std::int32_t>{-17110, 10, 131, 722}));
    EXPECT_EQ(*std::next(r.begin(), 2)->second.refs.begin(), 16u);

    ErrorStore all(0);
    for (std::uint32_t n = 1; n <= 5000; ++n) all.AddError(1101, 5001 - n);
    ErrorStoreReader ra(all);
    ASSERT_EQ(ra.GetRefCount(1101), 5000);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(ra.GetRef(1101, i), static_cast<std::uint32_t>(i + 1));
}

TEST(ErrorStoreReader, PositionsHoldUnderAnyAccessOrder)
{
    ErrorStore store(0);
    for (int code : {30, -5, 12, 7, -900}) store.AddError(code);
    for (std::uint32_t n : {50u, 10u, 40u, 20u, 30u}) store.AddError(12, n);
    for (std::uint32_t n : {3u, 1u}) store.AddError(7, n);
    ErrorStoreReader r(store);
    const int expect_codes[] = {-900, -5, 7, 12, 30};
    for (int i : {4, 0, 3, 3, 1, 2, 0, 4}) EXPECT_EQ(r.GetError(i), expect_codes[i]) << i;
    // Interleaving two codes and jumping back must not reuse a stale position.
    EXPECT_EQ(r.GetRef(12, 3), 40u);
    EXPECT_EQ(r.GetRef(7, 1), 3u);
    EXPECT_EQ(r.GetRef(12, 4), 50u);
    EXPECT_EQ(r.GetRef(12, 0), 10u);
    EXPECT_EQ(r.GetRef(12, 2), 30u);
    EXPECT_EQ(r.GetRef(12, 1), 20u);
    EXPECT_EQ(r.GetRef(7, 0), 1u);
}

TEST(ErrorStoreReader, FailuresCarryTheirMessageConditionAndFunction)
{
    ErrorStore store;
    store.AddError(10, 3u);
    ErrorStoreReader r(store);
    Exception e = Thrown([&] { r.GetError(1); });
    EXPECT_EQ(e.GetMessage(), "Bad error index");
    EXPECT_EQ(e.GetCondition(), "index >= 0 && index < GetErrorCount()");
    EXPECT_EQ(e.GetFunction(), "");
    EXPECT_EQ(Thrown([&] { r.GetError(-1); }).GetMessage(), "Bad error index");
    for (auto f : {+[](const ErrorStoreReader& x) { x.GetRefCount(11); },
                   +[](const ErrorStoreReader& x) { x.GetRef(11, 0); }}) {
        Exception b = Thrown([&] { f(r); });
        EXPECT_EQ(b.GetMessage(), "Bad error id");
        EXPECT_EQ(b.GetCondition(), "itr != _err.end()");
        EXPECT_EQ(b.GetFunction(), "GetRefs");
    }
    ErrorStore empty;
    EXPECT_EQ(ErrorStoreReader(empty).GetErrorCount(), 0);
    EXPECT_EQ(Thrown([&] { ErrorStoreReader(empty).GetError(0); }).GetMessage(), "Bad error index");
}
