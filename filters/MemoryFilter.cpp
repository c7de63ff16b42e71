#include "filters/MemoryFilter.h"

#include <algorithm>

#include "common/Exception.h"

namespace qvx::Filters {

MemoryFilter::MemoryFilter() : Filter(e_output) {}

MemoryFilter::MemoryFilter(Common::Bytes data) : Filter(e_input), m_own(std::move(data))
{
    mp_view = m_own.data();
    m_view_size = m_own.size();
}

std::unique_ptr<MemoryFilter> MemoryFilter::View(Common::ByteView data)
{
    auto f = std::unique_ptr<MemoryFilter>(new MemoryFilter());
    f->m_dir = e_input;
    f->mp_view = data.data();
    f->m_view_size = data.size();
    return f;
}

void MemoryFilter::Grow(std::size_t need)
{
    QVX_CHECK(need < (std::uint64_t{1} << 32),
              "MemoryFilter cannot support buffers of greater than 2^32 bytes on this platform");
    if (need > m_own.size()) m_own.resize(std::max<std::size_t>(need, m_own.size() * 2 + 4096));
}

Byte* MemoryFilter::Begin()
{
    if (m_dir == e_input) return const_cast<Byte*>(mp_view) + m_pos;
    if (m_pos == m_own.size()) Grow(m_pos + 1);
    return m_own.data() + m_pos;
}

std::size_t MemoryFilter::Size()
{
    if (m_dir == e_input) return m_view_size - m_pos;
    if (m_pos == m_own.size()) Grow(m_pos + 1);
    return m_own.size() - m_pos;
}

void MemoryFilter::Consume(std::size_t n)
{
    std::size_t limit = m_dir == e_input ? m_view_size - m_pos : m_own.size() - m_pos;
    n = std::min(n, limit);
    m_pos += n;
    m_count += n;
    if (m_dir == e_output) m_size = std::max(m_size, m_pos);
}

std::uint64_t MemoryFilter::SetCount(std::uint64_t count)
{
    std::uint64_t old = m_count;
    m_count = count;
    return old;
}

void MemoryFilter::Seek(std::int64_t offset, ReferencePos origin)
{
    std::int64_t size = static_cast<std::int64_t>(m_dir == e_input ? m_view_size : m_size);
    std::int64_t base = origin == e_begin ? 0 : origin == e_cur ? static_cast<std::int64_t>(m_pos) : size;
    std::int64_t target = base + offset;
    if (target < 0 || target > size) QVX_THROW("target >= 0 && target <= size", "File seek failed");
    m_pos = static_cast<std::size_t>(target);
}

std::unique_ptr<Filter> MemoryFilter::CreateInputIterator()
{
    auto view = Data();
    return View(view);
}

void MemoryFilter::Truncate(std::int64_t size)
{
    QVX_CHECK(m_dir == e_output, "Truncate cannot be applied to read-only filters");
    QVX_CHECK(size >= 0, "File seek failed");
    auto s = static_cast<std::size_t>(size);
    if (s > m_own.size()) Grow(s);
    m_size = s;
    m_pos = std::min(m_pos, s);
}

void MemoryFilter::SetAsInputFilter()
{
    if (m_dir == e_input) {
        m_pos = 0;
        return;
    }
    m_own.resize(m_size);
    m_dir = e_input;
    mp_view = m_own.data();
    m_view_size = m_own.size();
    m_pos = 0;
}

Common::ByteView MemoryFilter::Data() const
{
    if (m_dir == e_input) return {mp_view, m_view_size};
    return {m_own.data(), m_size};
}

Common::Bytes MemoryFilter::Release()
{
    m_own.resize(m_size);
    Common::Bytes out = std::move(m_own);
    m_own.clear();
    m_pos = m_size = 0;
    return out;
}

}  // namespace qvx::Filters
