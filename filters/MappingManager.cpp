#include "filters/MappingManager.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "common/Exception.h"

namespace qvx::Filters {

namespace {

constexpr std::size_t kKeptChunks = 4;

}  // namespace

MappingManager::Chunk::~Chunk() { munmap(mp_addr, m_size); }

MappingManager::MappingManager(std::string path, std::size_t chunk_size) : m_path(std::move(path))
{
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    struct stat st {};
    if (stat(m_path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) QVX_THROW("stat() == 0", "MappingManager file not found: " + m_path);
        QVX_THROW("stat() == 0", "Error opening file: " + m_path + "\n" + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode)) QVX_THROW("!S_ISDIR", "MappingManager expected file but got a folder: " + m_path);
    m_fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) QVX_THROW("fd >= 0", "Error opening file: " + m_path + "\n" + std::strerror(errno));
    if (fstat(m_fd, &st) == 0) m_size = std::uint64_t(st.st_size);
    // Chunks start on page boundaries, as mmap wants; 0 asks for the whole file as one chunk.
    if (chunk_size == 0) chunk_size = std::size_t(std::min<std::uint64_t>(m_size, SIZE_MAX - page));
    m_chunk_size = std::max(page, (chunk_size + page - 1) / page * page);
}

MappingManager::~MappingManager() { Close(); }

void MappingManager::Close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    m_recent.clear();
}

std::shared_ptr<const MappingManager::Chunk> MappingManager::Map(std::uint64_t offset, Common::ByteView& from_offset)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QVX_CHECK(m_fd >= 0, "File is closed, cannot access data");
    QVX_CHECK(offset < m_size, "Cannot access file at this offset!");
    const std::uint64_t index = offset / m_chunk_size;
    const std::uint64_t start = index * m_chunk_size;
    std::shared_ptr<const Chunk> chunk;
    for (auto it = m_recent.begin(); it != m_recent.end(); ++it) {
        if (it->first != index) continue;
        chunk = it->second;
        m_recent.splice(m_recent.begin(), m_recent, it);
        break;
    }
    if (!chunk) {
        const std::size_t len = std::size_t(std::min<std::uint64_t>(m_chunk_size, m_size - start));
        void* addr = mmap(nullptr, len, PROT_READ, MAP_SHARED, m_fd, off_t(start));
        if (addr == MAP_FAILED) QVX_THROW("mmap() != MAP_FAILED", "Cannot access file at this offset!");
        chunk = std::make_shared<Chunk>(addr, len);
        m_recent.emplace_front(index, chunk);
        if (m_recent.size() > kKeptChunks) m_recent.pop_back();
    }
    from_offset = chunk->Bytes().subspan(std::size_t(offset - start));
    return chunk;
}

}  // namespace qvx::Filters
