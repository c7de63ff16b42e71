#pragma once
// One seekable source shared by several readers, each with its own position and buffer.
// Every refill takes the pool's mutex, seeks the source and reads, so readers on different
// threads never see each other's positions. The pool's state lives as long as its longest
// living reader.
//
//     FilterPool pool(std::make_unique<StdFile>(path, StdFile::e_read_mode));
//     auto a = pool.CreateReader(), b = pool.CreateReader();  // independent, thread-safe

#include <cstdint>
#include <memory>
#include <mutex>

#include "filters/Filter.h"

namespace qvx::Filters {

class ThreadSafeFilter;

class FilterPool {
public:
    // Throws "Seek is not supported by this filter" unless the source can seek.
    explicit FilterPool(std::unique_ptr<Filter> source);

    // A new reader at the start of the data.
    std::unique_ptr<ThreadSafeFilter> CreateReader(std::size_t buf_size = 1 << 16);
    std::uint64_t Size() const;

    struct Shared;

private:
    std::shared_ptr<Shared> mp_shared;
};

class ThreadSafeFilter : public Filter {
public:
    ThreadSafeFilter(std::shared_ptr<FilterPool::Shared> shared, std::size_t buf_size);

    const char* GetName() const override { return "ThreadSafeFilter"; }
    Byte* Begin() override;
    std::size_t Size() override;
    void Consume(std::size_t n) override;
    std::uint64_t Count() const override { return m_count; }
    std::uint64_t SetCount(std::uint64_t count) override;

    bool CanSeek() const override { return true; }
    // Throws "File seek failed" for a target outside the data.
    void Seek(std::int64_t offset, ReferencePos origin) override;
    std::int64_t Tell() override { return std::int64_t(m_file_pos + m_pos); }
    // Another reader of the same pool, at the start of the data.
    std::unique_ptr<Filter> CreateInputIterator() override;
    std::string GetFilePath() const override;

private:
    void Refill();

    std::shared_ptr<FilterPool::Shared> mp_shared;
    Common::Bytes m_buf;
    std::uint64_t m_file_pos = 0;  // data offset of m_buf[0]
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::uint64_t m_count = 0;
};

}  // namespace qvx::Filters
