#include "filters/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/Exception.h"

namespace qvx::Filters {

Common::ByteView MappedFile::Map(const std::string& path)
{
    QVX_CHECK(!path.empty(), "Filename was not specified");
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) QVX_THROW("false", "MappingManager file not found: " + path);
    if (S_ISDIR(st.st_mode)) QVX_THROW("false", "MappingManager expected file but got a folder: " + path);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) QVX_THROW("fd >= 0", "Error opening file: " + path + "\n" + std::strerror(errno));
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        QVX_THROW("S_ISREG(st.st_mode)", "Error opening file: " + path + "\nnot a regular file");
    }
    auto size = static_cast<std::size_t>(st.st_size);
    if (size == 0) {
        close(fd);
        return {};
    }
    void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    int err = errno;
    close(fd);
    if (p == MAP_FAILED) QVX_THROW("p != MAP_FAILED", "Error opening file: " + path + "\n" + std::strerror(err));
    return {static_cast<const Byte*>(p), size};
}

MappedFile::MappedFile(std::string path) : MappedFile(Map(path), path) {}

MappedFile::MappedFile(Common::ByteView mapping, std::string path) : MemoryFilter(mapping), m_path(std::move(path)) {}

MappedFile::~MappedFile()
{
    Common::ByteView d = Data();
    if (!d.empty()) munmap(const_cast<Byte*>(d.data()), d.size());
}

}  // namespace qvx::Filters
