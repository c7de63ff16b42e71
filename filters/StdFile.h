#pragma once
// A file as source or sink, buffered, on the POSIX file calls. The position is kept by the
// filter itself (reads and writes go through pread/pwrite), so iterators created from it
// share the open file but not the position.

#include <memory>
#include <string>

#include "filters/Filter.h"

namespace qvx::Filters {

class StdFile : public Filter {
public:
    enum OpenMode {
        e_read_mode,        // existing file, input
        e_write_mode,       // created or emptied, output
        e_read_write_mode,  // created when missing, input first; SetReadMode switches
        e_append_mode       // created when missing, output at the end; SetReadMode switches
    };

    // path is the file name as bytes (UTF-8 on this platform).
    StdFile(std::string path, OpenMode mode, std::size_t buf_size = 1 << 16);
    // Writes what is still buffered; a failure there is lost (call Flush to see it).
    ~StdFile() override;

    const char* GetName() const override { return "StdFile"; }
    Byte* Begin() override;
    std::size_t Size() override;
    void Consume(std::size_t n) override;
    std::uint64_t Count() const override { return m_count; }
    std::uint64_t SetCount(std::uint64_t count) override;

    bool CanSeek() const override { return true; }
    void Seek(std::int64_t offset, ReferencePos origin) override;
    std::int64_t Tell() override { return m_file_pos + static_cast<std::int64_t>(m_pos); }
    // A reader over the same open file from offset 0; pending writes are flushed first.
    std::unique_ptr<Filter> CreateInputIterator() override;
    std::string GetFilePath() const override { return m_path; }
    // Best effort: a file that cannot be cut keeps its size, which the caller can check.
    void Truncate(std::int64_t size) override;
    void Flush() override;
    void SetReadMode(bool read) override;

    // The file's size including bytes still buffered for writing.
    std::int64_t FileSize();

private:
    struct Handle;
    StdFile(std::shared_ptr<Handle> file, std::string path, std::size_t buf_size);
    void Refill();
    void WritePending();

    std::shared_ptr<Handle> mp_file;
    std::string m_path;
    OpenMode m_mode;
    Common::Bytes m_buf;
    // Input: the window m_buf[m_pos, m_end) holds the file bytes from m_file_pos + m_pos on.
    // Output: m_buf[0, m_pos) waits to be written at m_file_pos.
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::int64_t m_file_pos = 0;
    std::uint64_t m_count = 0;
};

}  // namespace qvx::Filters
