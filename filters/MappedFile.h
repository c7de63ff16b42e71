#pragma once
// A read-only file source over memory mappings: the window handed out is the mapped chunk
// itself, so nothing is copied. Iterators share the file's MappingManager and keep their
// own position.

#include <memory>
#include <string>

#include "filters/Filter.h"
#include "filters/MappingManager.h"

namespace qvx::Filters {

class MappedFile : public Filter {
public:
    // Throws as MappingManager does when the file cannot be opened.
    explicit MappedFile(std::string path, std::size_t chunk_size = MappingManager::kDefaultChunkSize);
    explicit MappedFile(std::shared_ptr<MappingManager> manager);

    const char* GetName() const override { return "MappedFile"; }
    Byte* Begin() override;
    std::size_t Size() override;
    void Consume(std::size_t n) override;
    std::uint64_t Count() const override { return m_count; }
    std::uint64_t SetCount(std::uint64_t count) override;

    bool CanSeek() const override { return true; }
    // Throws "File seek failed" for a target outside the file.
    void Seek(std::int64_t offset, ReferencePos origin) override;
    std::int64_t Tell() override { return std::int64_t(m_pos); }
    std::unique_ptr<Filter> CreateInputIterator() override;
    std::string GetFilePath() const override { return mp_manager->Path(); }

    std::uint64_t FileSize() const { return mp_manager->FileSize(); }
    // The whole file as one contiguous view when it is mapped as a single chunk (chunk
    // size 0, or a file no larger than a chunk); empty otherwise and for an empty file.
    // The view stays valid while this filter lives.
    Common::ByteView WholeFile();
    MappingManager& Manager() { return *mp_manager; }

private:
    void Window();

    std::shared_ptr<MappingManager> mp_manager;
    std::shared_ptr<const MappingManager::Chunk> mp_chunk;
    std::shared_ptr<const MappingManager::Chunk> mp_whole;
    Common::ByteView m_window;  // the mapped bytes from m_pos on, within the current chunk
    std::uint64_t m_pos = 0;
    std::uint64_t m_count = 0;
};

}  // namespace qvx::Filters
