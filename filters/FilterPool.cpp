#include "filters/FilterPool.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/Exception.h"

namespace qvx::Filters {

struct FilterPool::Shared {
    std::mutex mutex;
    std::unique_ptr<Filter> source;
    std::uint64_t size = 0;

    // Reads up to n bytes at offset; returns how many there were.
    std::size_t ReadAt(std::uint64_t offset, Byte* dst, std::size_t n)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (offset >= size) return 0;
        source->Seek(std::int64_t(offset), Filter::e_begin);
        std::size_t got = 0;
        while (got < n) {
            const std::size_t avail = source->Size();
            if (avail == 0) break;
            const std::size_t k = std::min(avail, n - got);
            std::memcpy(dst + got, source->Begin(), k);
            source->Consume(k);
            got += k;
        }
        return got;
    }
};

FilterPool::FilterPool(std::unique_ptr<Filter> source) : mp_shared(std::make_shared<Shared>())
{
    QVX_CHECK(source && source->CanSeek(), "Seek is not supported by this filter");
    source->Seek(0, Filter::e_end);
    mp_shared->size = std::uint64_t(source->Tell());
    source->Seek(0, Filter::e_begin);
    mp_shared->source = std::move(source);
}

std::unique_ptr<ThreadSafeFilter> FilterPool::CreateReader(std::size_t buf_size)
{
    return std::make_unique<ThreadSafeFilter>(mp_shared, buf_size);
}

std::uint64_t FilterPool::Size() const { return mp_shared->size; }

ThreadSafeFilter::ThreadSafeFilter(std::shared_ptr<FilterPool::Shared> shared, std::size_t buf_size)
    : Filter(e_input), mp_shared(std::move(shared)), m_buf(std::max<std::size_t>(buf_size, 16))
{
}

void ThreadSafeFilter::Refill()
{
    m_file_pos += m_end;
    m_pos = m_end = 0;
    m_end = mp_shared->ReadAt(m_file_pos, m_buf.data(), m_buf.size());
}

Byte* ThreadSafeFilter::Begin()
{
    if (m_pos == m_end) Refill();
    return m_buf.data() + m_pos;
}

std::size_t ThreadSafeFilter::Size()
{
    if (m_pos == m_end) Refill();
    return m_end - m_pos;
}

void ThreadSafeFilter::Consume(std::size_t n)
{
    n = std::min(n, m_end - m_pos);
    m_pos += n;
    m_count += n;
}

std::uint64_t ThreadSafeFilter::SetCount(std::uint64_t count) { return std::exchange(m_count, count); }

void ThreadSafeFilter::Seek(std::int64_t offset, ReferencePos origin)
{
    const std::int64_t size = std::int64_t(mp_shared->size);
    const std::int64_t base = origin == e_begin ? 0 : origin == e_cur ? Tell() : size;
    const std::int64_t target = base + offset;
    if (target < 0 || target > size) QVX_THROW("target >= 0 && target <= size", "File seek failed");
    // Inside the buffer the bytes are still good.
    if (std::uint64_t(target) >= m_file_pos && std::uint64_t(target) <= m_file_pos + m_end) {
        m_pos = std::size_t(std::uint64_t(target) - m_file_pos);
        return;
    }
    m_file_pos = std::uint64_t(target);
    m_pos = m_end = 0;
}

std::unique_ptr<Filter> ThreadSafeFilter::CreateInputIterator()
{
    return std::make_unique<ThreadSafeFilter>(mp_shared, m_buf.size());
}

std::string ThreadSafeFilter::GetFilePath() const { return mp_shared->source->GetFilePath(); }

}  // namespace qvx::Filters
