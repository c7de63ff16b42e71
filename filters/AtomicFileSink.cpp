#include "filters/AtomicFileSink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "common/Exception.h"

namespace qvx::Filters {

namespace {

std::string FolderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncPath(const std::string& path, int flags)
{
    int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

std::string AtomicFileSink::CreateTemporary(const std::string& dest)
{
    QVX_CHECK(!dest.empty(), "Filename was not given");
    auto slash = dest.find_last_of('/');
    std::string prefix = slash == std::string::npos ? std::string() : dest.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? dest : dest.substr(slash + 1);
    std::random_device rd;
    int err = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(rd()));
        std::string tmp = prefix + "." + name + "." + suffix + ".tmp";
        int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return tmp;
        }
        err = errno;
        if (err != EEXIST) break;
    }
    QVX_THROW("fd >= 0", "Cannot create a temporary file in " + FolderOf(dest) + "\n" + std::strerror(err));
}

AtomicFileSink::AtomicFileSink(const std::string& dest)
    : StdFile(CreateTemporary(dest), e_write_mode), m_dest(dest)
{
}

AtomicFileSink::~AtomicFileSink()
{
    if (!m_committed) unlink(GetFilePath().c_str());
}

void AtomicFileSink::Commit()
{
    QVX_CHECK(!m_committed, "The file was already committed");
    Flush();
    SyncPath(GetFilePath(), O_RDONLY);
    if (std::rename(GetFilePath().c_str(), m_dest.c_str()) != 0) {
        int err = errno;
        QVX_THROW("rename() == 0", "Cannot rename " + GetFilePath() + " to " + m_dest + "\n" + std::strerror(err));
    }
    m_committed = true;
    SyncPath(FolderOf(m_dest), O_RDONLY | O_DIRECTORY);
}

}  // namespace qvx::Filters
