#pragma once
// Several input filters read one after the other as one input. It owns its parts. It can
// seek when every part can (the parts' lengths are measured on the first seek); Tell counts
// from the start of the first part.

#include <memory>
#include <vector>

#include "filters/Filter.h"

namespace qvx::Filters {

class MultipleFilterAdaptor : public Filter {
public:
    MultipleFilterAdaptor();
    explicit MultipleFilterAdaptor(std::vector<std::unique_ptr<Filter>> parts);

    // Appends a part (an input filter) after the others.
    void AddFilter(std::unique_ptr<Filter> part);
    std::size_t PartCount() const { return m_parts.size(); }

    const char* GetName() const override { return "MultipleFilterAdaptor"; }
    Byte* Begin() override;
    std::size_t Size() override;
    void Consume(std::size_t n) override;
    std::uint64_t Count() const override { return m_count; }
    std::uint64_t SetCount(std::uint64_t count) override;

    bool CanSeek() const override;
    // Throws "Seek is not supported by this filter" unless every part can seek, and
    // "File seek failed" for a target outside the whole.
    void Seek(std::int64_t offset, ReferencePos origin) override;
    std::int64_t Tell() override { return std::int64_t(m_pos); }
    // The concatenation of an iterator of every part (each part must provide one).
    std::unique_ptr<Filter> CreateInputIterator() override;

private:
    // Moves on past parts that have nothing left; returns the part being read or null.
    Filter* Current();
    void MeasureParts();

    std::vector<std::unique_ptr<Filter>> m_parts;
    std::vector<std::uint64_t> m_starts;  // offset of each part, then the total; empty until measured
    std::size_t m_current = 0;
    std::uint64_t m_pos = 0;
    std::uint64_t m_count = 0;
};

}  // namespace qvx::Filters
