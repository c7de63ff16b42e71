#include "filters/MappedFile.h"

#include <utility>

#include "common/Exception.h"

namespace qvx::Filters {

MappedFile::MappedFile(std::string path, std::size_t chunk_size)
    : MappedFile(std::make_shared<MappingManager>(std::move(path), chunk_size))
{
}

MappedFile::MappedFile(std::shared_ptr<MappingManager> manager) : Filter(e_input), mp_manager(std::move(manager)) {}

void MappedFile::Window()
{
    if (!m_window.empty() || m_pos >= mp_manager->FileSize()) return;
    mp_chunk = mp_manager->Map(m_pos, m_window);
}

Byte* MappedFile::Begin()
{
    Window();
    return const_cast<Byte*>(m_window.data());
}

std::size_t MappedFile::Size()
{
    Window();
    return m_window.size();
}

void MappedFile::Consume(std::size_t n)
{
    n = std::min(n, m_window.size());
    m_window = m_window.subspan(n);
    m_pos += n;
    m_count += n;
}

std::uint64_t MappedFile::SetCount(std::uint64_t count) { return std::exchange(m_count, count); }

void MappedFile::Seek(std::int64_t offset, ReferencePos origin)
{
    const std::int64_t size = std::int64_t(mp_manager->FileSize());
    const std::int64_t base = origin == e_begin ? 0 : origin == e_cur ? std::int64_t(m_pos) : size;
    const std::int64_t target = base + offset;
    if (target < 0 || target > size) QVX_THROW("target >= 0 && target <= size", "File seek failed");
    m_pos = std::uint64_t(target);
    m_window = {};
    mp_chunk.reset();
}

Common::ByteView MappedFile::WholeFile()
{
    const std::uint64_t size = mp_manager->FileSize();
    if (size == 0 || size > mp_manager->ChunkSize()) return {};
    Common::ByteView view;
    if (!mp_whole) mp_whole = mp_manager->Map(0, view);
    return mp_whole->Bytes().first(std::size_t(size));
}

std::unique_ptr<Filter> MappedFile::CreateInputIterator() { return std::make_unique<MappedFile>(mp_manager); }

}  // namespace qvx::Filters
