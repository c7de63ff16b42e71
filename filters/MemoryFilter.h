#pragma once
// A growable memory buffer: a sink that collects what is written into it, or a seekable
// source over bytes it owns or borrows.

#include "filters/Filter.h"

namespace qvx::Filters {

class MemoryFilter : public Filter {
public:
    // An output buffer that grows as it is written.
    MemoryFilter();
    // An input over bytes it owns.
    explicit MemoryFilter(Common::Bytes data);
    // An input over bytes it does not own; they must outlive the filter.
    static std::unique_ptr<MemoryFilter> View(Common::ByteView data);

    const char* GetName() const override { return "MemoryFilter"; }
    Byte* Begin() override;
    std::size_t Size() override;
    void Consume(std::size_t n) override;
    std::uint64_t Count() const override { return m_count; }
    std::uint64_t SetCount(std::uint64_t count) override;

    bool CanSeek() const override { return true; }
    void Seek(std::int64_t offset, ReferencePos origin) override;
    std::int64_t Tell() override { return static_cast<std::int64_t>(m_pos); }
    std::unique_ptr<Filter> CreateInputIterator() override;
    void Truncate(std::int64_t size) override;

    // Turns an output buffer into an input over what was written, from the start.
    void SetAsInputFilter();
    // The bytes written (output) or read from (input).
    Common::ByteView Data() const;
    // Takes the written bytes out of an output buffer.
    Common::Bytes Release();

private:
    void Grow(std::size_t need);

    Common::Bytes m_own;
    const Byte* mp_view = nullptr;  // input data when borrowed
    std::size_t m_view_size = 0;
    std::size_t m_pos = 0;          // read position (input) or write position (output)
    std::size_t m_size = 0;         // bytes written (output)
    std::uint64_t m_count = 0;
};

}  // namespace qvx::Filters
