#pragma once
// Maps a file read-only in fixed-size chunks, so that a large file costs address space
// only for the parts being read. Chunks are shared: a chunk stays mapped while anyone
// holds it, and the manager keeps the few most recently used ones for the next reader.
// Safe to use from several threads.

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "common/Buffer.h"

namespace qvx::Filters {

class MappingManager {
public:
    static constexpr std::size_t kDefaultChunkSize = 4u << 20;

    // Opens and sizes the file; a chunk size of 0 maps the whole file as one chunk. Throws "MappingManager file not found: <path>",
    // "MappingManager expected file but got a folder: <path>" or
    // "Error opening file: <path>\n<reason>".
    explicit MappingManager(std::string path, std::size_t chunk_size = kDefaultChunkSize);
    ~MappingManager();
    MappingManager(const MappingManager&) = delete;
    MappingManager& operator=(const MappingManager&) = delete;

    // A mapped chunk: its bytes stay valid while the chunk is held.
    class Chunk;
    // The chunk holding offset and where offset lies in it. Throws "Cannot access file at
    // this offset!" for an offset at or past the end, "File is closed, cannot access data"
    // after Close.
    std::shared_ptr<const Chunk> Map(std::uint64_t offset, Common::ByteView& from_offset);

    std::uint64_t FileSize() const { return m_size; }
    const std::string& Path() const { return m_path; }
    std::size_t ChunkSize() const { return m_chunk_size; }
    // Closes the file; chunks still held stay readable.
    void Close();

private:
    std::string m_path;
    std::size_t m_chunk_size;
    std::uint64_t m_size = 0;
    int m_fd = -1;
    std::mutex m_mutex;
    std::list<std::pair<std::uint64_t, std::shared_ptr<const Chunk>>> m_recent;  // most recent first
};

class MappingManager::Chunk {
public:
    Chunk(void* addr, std::size_t size) : mp_addr(addr), m_size(size) {}
    ~Chunk();
    Common::ByteView Bytes() const { return {static_cast<const Common::Byte*>(mp_addr), m_size}; }

private:
    void* mp_addr;
    std::size_t m_size;
};

}  // namespace qvx::Filters
