#include "filters/Filter.h"

#include <algorithm>
#include <cstring>

#include "common/Exception.h"

namespace qvx::Filters {

Filter::Filter(Direction dir, std::unique_ptr<Filter> attached)
    : m_dir(dir), mp_attached(std::move(attached))
{
}

Filter::~Filter() = default;

void Filter::AttachFilter(std::unique_ptr<Filter> next) { mp_attached = std::move(next); }

std::unique_ptr<Filter> Filter::ReleaseAttachedFilter() { return std::move(mp_attached); }

Filter* Filter::GetSourceFilter()
{
    Filter* f = this;
    while (f->GetAttachedFilter()) f = f->GetAttachedFilter();
    return f;
}

void Filter::Seek(std::int64_t, ReferencePos) { QVX_THROW("a seekable filter", "Seek is not supported by this filter"); }

std::int64_t Filter::Tell() { QVX_THROW("a seekable filter", "Tell is not supported by this filter"); }

std::unique_ptr<Filter> Filter::CreateInputIterator()
{
    QVX_THROW("a filter with input iterators", std::string("CreateInputIterator() is not supported by this filter (\"") +
                           GetName() + "\")");
}

void Filter::Truncate(std::int64_t) { QVX_THROW("a truncatable filter", "Truncate() is not supported by this filter"); }

void Filter::Flush()
{
    if (mp_attached) mp_attached->Flush();
}

void Filter::Finish() { Flush(); }

void Filter::SetReadMode(bool) { QVX_THROW("a filter with a read mode", "Not supported call"); }

BufFilter::BufFilter(Direction dir, std::unique_ptr<Filter> attached, std::size_t buf_size)
    : Filter(dir, std::move(attached)), m_buf(std::max<std::size_t>(buf_size, 16))
{
}

void BufFilter::Refill()
{
    if (m_eof) return;
    m_pos = 0;
    m_end = Fill(m_buf.data(), m_buf.size());
    if (m_end == 0) {
        m_eof = true;
        return;
    }
    m_produced += m_end;
    if (m_budget && m_produced > m_budget) {
        m_eof = true;
        m_end = 0;
        QVX_THROW("m_produced <= m_budget",
                  std::string("Decoded data of ") + GetName() + " exceeds the size limit");
    }
}

Byte* BufFilter::Begin()
{
    if (m_dir == e_input) {
        if (m_pos == m_end) Refill();
    } else if (m_pos == m_buf.size()) {
        Drain(m_buf.data(), m_pos, false);
        m_pos = 0;
    }
    return m_buf.data() + m_pos;
}

std::size_t BufFilter::Size()
{
    Begin();
    return m_dir == e_input ? m_end - m_pos : m_buf.size() - m_pos;
}

void BufFilter::Consume(std::size_t n)
{
    std::size_t limit = m_dir == e_input ? m_end - m_pos : m_buf.size() - m_pos;
    n = std::min(n, limit);
    m_pos += n;
    m_count += n;
}

std::uint64_t BufFilter::SetCount(std::uint64_t count)
{
    std::uint64_t old = m_count;
    m_count = count;
    return old;
}

void BufFilter::Flush()
{
    if (m_dir == e_output && !m_finished) {
        Drain(m_buf.data(), m_pos, false);
        m_pos = 0;
    }
    Filter::Flush();
}

void BufFilter::Finish()
{
    if (m_dir == e_output && !m_finished) {
        Drain(m_buf.data(), m_pos, true);
        m_pos = 0;
        m_finished = true;
    }
    if (mp_attached) mp_attached->Finish();
}

std::size_t BufFilter::Fill(Byte*, std::size_t) { return 0; }

void BufFilter::Drain(const Byte* data, std::size_t size, bool) { WriteOutput(data, size); }

std::size_t BufFilter::ReadInput(Byte* dst, std::size_t n)
{
    std::size_t got = 0;
    if (!mp_attached) return 0;
    while (got < n) {
        std::size_t avail = mp_attached->Size();
        if (avail == 0) break;
        std::size_t k = std::min(avail, n - got);
        std::memcpy(dst + got, mp_attached->Begin(), k);
        mp_attached->Consume(k);
        got += k;
    }
    return got;
}

Common::ByteView BufFilter::PeekInput()
{
    if (!mp_attached) return {};
    std::size_t n = mp_attached->Size();
    return {mp_attached->Begin(), n};
}

void BufFilter::WriteOutput(const Byte* data, std::size_t n)
{
    QVX_CHECK(mp_attached || n == 0, "The attached stream is corrupt");
    while (n > 0) {
        std::size_t space = mp_attached->Size();
        if (space == 0) QVX_THROW("space > 0", "The attached stream is corrupt");
        std::size_t k = std::min(space, n);
        std::memcpy(mp_attached->Begin(), data, k);
        mp_attached->Consume(k);
        data += k;
        n -= k;
    }
}

}  // namespace qvx::Filters
