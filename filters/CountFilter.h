#pragma once
// Passes bytes straight through to (output) or from (input) the attached filter and counts
// them: the writer uses it to learn offsets while writing to any sink.

#include "filters/Filter.h"

namespace qvx::Filters {

class CountFilter : public Filter {
public:
    // Takes the direction of the attached filter, which must not be null.
    explicit CountFilter(std::unique_ptr<Filter> attached);

    const char* GetName() const override { return "CountFilter"; }
    Byte* Begin() override { return mp_attached->Begin(); }
    std::size_t Size() override { return mp_attached->Size(); }
    void Consume(std::size_t n) override;
    std::uint64_t Count() const override { return m_count; }
    std::uint64_t SetCount(std::uint64_t count) override;
    void Flush() override { mp_attached->Flush(); }
    void Finish() override { mp_attached->Finish(); }

private:
    std::uint64_t m_count = 0;
};

}  // namespace qvx::Filters
