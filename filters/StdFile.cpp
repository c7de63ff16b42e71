#include "filters/StdFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "common/Exception.h"

namespace qvx::Filters {

struct StdFile::Handle {
    int fd = -1;
    ~Handle()
    {
        if (fd >= 0) close(fd);
    }
};

namespace {

int OpenFlags(StdFile::OpenMode mode)
{
    switch (mode) {
    case StdFile::e_read_mode: return O_RDONLY;
    case StdFile::e_write_mode: return O_WRONLY | O_CREAT | O_TRUNC;
    case StdFile::e_read_write_mode:
    case StdFile::e_append_mode: return O_RDWR | O_CREAT;
    }
    return O_RDONLY;
}

}  // namespace

StdFile::StdFile(std::string path, OpenMode mode, std::size_t buf_size)
    : Filter(mode == e_read_mode || mode == e_read_write_mode ? e_input : e_output),
      mp_file(std::make_shared<Handle>()), m_path(std::move(path)), m_mode(mode),
      m_buf(std::max<std::size_t>(buf_size, 16))
{
    QVX_CHECK(!m_path.empty(), "Filename was not given");
    mp_file->fd = open(m_path.c_str(), OpenFlags(mode) | O_CLOEXEC, 0666);
    if (mp_file->fd < 0)
        QVX_THROW("fd >= 0", "Error opening file: " + m_path + "\n" + std::strerror(errno));
    struct stat st {};
    if (fstat(mp_file->fd, &st) == 0 && S_ISDIR(st.st_mode))
        QVX_THROW("!S_ISDIR(st.st_mode)", "Error opening file: " + m_path + "\n" + std::strerror(EISDIR));
    if (mode == e_append_mode) {
        off_t end = lseek(mp_file->fd, 0, SEEK_END);
        QVX_CHECK(end >= 0, "Seek operation failed in append mode");
        m_file_pos = end;
    }
}

StdFile::StdFile(std::shared_ptr<Handle> file, std::string path, std::size_t buf_size)
    : Filter(e_input), mp_file(std::move(file)), m_path(std::move(path)), m_mode(e_read_mode),
      m_buf(buf_size)
{
}

StdFile::~StdFile()
{
    try {
        if (m_dir == e_output) WritePending();
    } catch (const Common::Exception&) {
        // Nothing can report it from here; Flush is the call that reports write errors.
    }
}

void StdFile::Refill()
{
    m_file_pos += static_cast<std::int64_t>(m_end);
    m_pos = m_end = 0;
    for (;;) {
        ssize_t n = pread(mp_file->fd, m_buf.data(), m_buf.size(), m_file_pos);
        if (n >= 0) {
            m_end = static_cast<std::size_t>(n);
            return;
        }
        if (errno != EINTR) QVX_THROW("n >= 0", "Error reading from the file " + m_path);
    }
}

void StdFile::WritePending()
{
    std::size_t done = 0;
    while (done < m_pos) {
        ssize_t n = pwrite(mp_file->fd, m_buf.data() + done, m_pos - done,
                           m_file_pos + static_cast<std::int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) QVX_THROW("n > 0", "Error writing to the file");
        done += static_cast<std::size_t>(n);
    }
    m_file_pos += static_cast<std::int64_t>(m_pos);
    m_pos = 0;
}

Byte* StdFile::Begin()
{
    if (m_dir == e_input) {
        if (m_pos == m_end) Refill();
    } else if (m_pos == m_buf.size()) {
        WritePending();
    }
    return m_buf.data() + m_pos;
}

std::size_t StdFile::Size()
{
    Begin();
    return m_dir == e_input ? m_end - m_pos : m_buf.size() - m_pos;
}

void StdFile::Consume(std::size_t n)
{
    n = std::min(n, (m_dir == e_input ? m_end : m_buf.size()) - m_pos);
    m_pos += n;
    m_count += n;
}

std::uint64_t StdFile::SetCount(std::uint64_t count) { return std::exchange(m_count, count); }

std::int64_t StdFile::FileSize()
{
    struct stat st {};
    std::int64_t size = fstat(mp_file->fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
    if (m_dir == e_output) size = std::max(size, Tell());
    return size;
}

void StdFile::Seek(std::int64_t offset, ReferencePos origin)
{
    std::int64_t size = FileSize();
    std::int64_t base = origin == e_begin ? 0 : origin == e_cur ? Tell() : size;
    std::int64_t target = base + offset;
    if (target < 0 || target > size) {
        QVX_THROW("target >= 0 && target <= size",
                  "File seek failed. " + m_path + ", size=" + std::to_string(size) +
                      ", origin=" + std::to_string(static_cast<long long>(origin)) +
                      ", offset=" + std::to_string(static_cast<long long>(offset)));
    }
    if (m_dir == e_output) {
        WritePending();
        m_file_pos = target;
        return;
    }
    // A target inside the window keeps the buffered bytes: the parser seeks back and forth.
    if (target >= m_file_pos && target <= m_file_pos + static_cast<std::int64_t>(m_end)) {
        m_pos = static_cast<std::size_t>(target - m_file_pos);
        return;
    }
    m_file_pos = target;
    m_pos = m_end = 0;
}

std::unique_ptr<Filter> StdFile::CreateInputIterator()
{
    if (m_dir == e_output) Flush();
    return std::unique_ptr<Filter>(new StdFile(mp_file, m_path, m_buf.size()));
}

void StdFile::Truncate(std::int64_t size)
{
    QVX_CHECK(m_mode != e_read_mode, "Cannot truncate a read-only filter");
    QVX_CHECK(size >= 0, "Cannot truncate a file to a negative size");
    if (m_dir == e_output) WritePending();
    std::int64_t pos = Tell();
    if (ftruncate(mp_file->fd, static_cast<off_t>(size)) != 0) return;
    if (pos > size) {
        m_file_pos = size;
        m_pos = m_end = 0;
    } else if (m_dir == e_input) {
        // Drop buffered bytes that may lie past the new end.
        m_file_pos = pos;
        m_pos = m_end = 0;
    }
}

void StdFile::Flush()
{
    if (m_dir == e_output) WritePending();
}

void StdFile::SetReadMode(bool read)
{
    QVX_CHECK(m_mode == e_read_write_mode || m_mode == e_append_mode,
              "This file stream cannot switch read/write modes");
    if (read == (m_dir == e_input)) return;
    if (m_dir == e_output) {
        WritePending();
    } else {
        m_file_pos = Tell();
    }
    m_pos = m_end = 0;
    m_dir = read ? e_input : e_output;
}

}  // namespace qvx::Filters
