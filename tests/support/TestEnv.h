#pragma once
// Where tests find the built binaries and the shared material, temporary folders, and a
// way to run a program and capture what it prints.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qvx::Test {

// The shared material folder, when it exists beside the checkout.
std::optional<std::filesystem::path> SharedDir();
// The built tolva executable.
std::filesystem::path TolvaPath();
// A developer tool built from tools/<name>.cpp.
std::filesystem::path ToolPath(const std::string& name);
std::filesystem::path SourceDir();

// A fresh folder removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    // Writes a file below the folder (creating its parents) and returns its path.
    std::filesystem::path Write(const std::string& relative, const std::string& bytes) const;

private:
    std::filesystem::path m_path;
};

struct RunResult {
    int status = -1;        // exit status, or 128 + signal
    std::string output;     // standard output and standard error, interleaved
};

// Runs argv[0] with the arguments in cwd (current folder when empty), stdin from /dev/null.
RunResult Run(const std::vector<std::string>& argv, const std::filesystem::path& cwd = {},
              int timeout_seconds = 120);

std::string ReadFile(const std::filesystem::path& p);

}  // namespace qvx::Test
