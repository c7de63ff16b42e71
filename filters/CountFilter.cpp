#include "filters/CountFilter.h"

#include <algorithm>
#include <utility>

#include "common/Exception.h"

namespace qvx::Filters {

CountFilter::CountFilter(std::unique_ptr<Filter> attached) : Filter(e_output, std::move(attached))
{
    QVX_CHECK(mp_attached != nullptr, "The attached stream is corrupt");
    m_dir = mp_attached->IsInputFilter() ? e_input : e_output;
}

void CountFilter::Consume(std::size_t n)
{
    n = std::min(n, mp_attached->Size());
    mp_attached->Consume(n);
    m_count += n;
}

std::uint64_t CountFilter::SetCount(std::uint64_t count) { return std::exchange(m_count, count); }

}  // namespace qvx::Filters
