#include "filters/MultipleFilterAdaptor.h"

#include <algorithm>
#include <utility>

#include "common/Exception.h"

namespace qvx::Filters {

MultipleFilterAdaptor::MultipleFilterAdaptor() : Filter(e_input) {}

MultipleFilterAdaptor::MultipleFilterAdaptor(std::vector<std::unique_ptr<Filter>> parts) : Filter(e_input)
{
    for (auto& p : parts) AddFilter(std::move(p));
}

void MultipleFilterAdaptor::AddFilter(std::unique_ptr<Filter> part)
{
    QVX_CHECK(part && part->IsInputFilter(), "MultipleFilterAdaptor takes input filters only");
    m_parts.push_back(std::move(part));
    m_starts.clear();
}

Filter* MultipleFilterAdaptor::Current()
{
    while (m_current < m_parts.size()) {
        Filter* f = m_parts[m_current].get();
        if (f->Size() > 0) return f;
        if (m_current + 1 == m_parts.size()) return f;
        ++m_current;
        // A part entered afresh is read from its start (a seek may have moved it).
        if (!m_starts.empty()) m_parts[m_current]->Seek(0, e_begin);
    }
    return nullptr;
}

Byte* MultipleFilterAdaptor::Begin()
{
    Filter* f = Current();
    return f ? f->Begin() : nullptr;
}

std::size_t MultipleFilterAdaptor::Size()
{
    Filter* f = Current();
    return f ? f->Size() : 0;
}

void MultipleFilterAdaptor::Consume(std::size_t n)
{
    Filter* f = Current();
    if (!f) return;
    n = std::min(n, f->Size());
    f->Consume(n);
    m_pos += n;
    m_count += n;
}

std::uint64_t MultipleFilterAdaptor::SetCount(std::uint64_t count) { return std::exchange(m_count, count); }

bool MultipleFilterAdaptor::CanSeek() const
{
    return std::all_of(m_parts.begin(), m_parts.end(), [](const auto& p) { return p->CanSeek(); });
}

void MultipleFilterAdaptor::MeasureParts()
{
    if (!m_starts.empty()) return;
    std::uint64_t at = 0;
    for (auto& p : m_parts) {
        const std::int64_t keep = p->Tell();
        p->Seek(0, e_end);
        const std::int64_t len = p->Tell();
        p->Seek(keep, e_begin);
        m_starts.push_back(at);
        at += std::uint64_t(len);
    }
    m_starts.push_back(at);
}

void MultipleFilterAdaptor::Seek(std::int64_t offset, ReferencePos origin)
{
    if (!CanSeek()) Filter::Seek(offset, origin);
    MeasureParts();
    const std::int64_t total = std::int64_t(m_starts.back());
    const std::int64_t base = origin == e_begin ? 0 : origin == e_cur ? std::int64_t(m_pos) : total;
    const std::int64_t target = base + offset;
    if (target < 0 || target > total) QVX_THROW("target >= 0 && target <= total", "File seek failed");
    // The last part whose start is at or before the target (the end belongs to the last part).
    std::size_t i = 0;
    while (i + 1 < m_parts.size() && std::int64_t(m_starts[i + 1]) <= target) ++i;
    m_current = i;
    if (!m_parts.empty()) m_parts[i]->Seek(target - std::int64_t(m_starts[i]), e_begin);
    m_pos = std::uint64_t(target);
}

std::unique_ptr<Filter> MultipleFilterAdaptor::CreateInputIterator()
{
    auto copy = std::make_unique<MultipleFilterAdaptor>();
    for (auto& p : m_parts) copy->AddFilter(p->CreateInputIterator());
    return copy;
}

}  // namespace qvx::Filters
