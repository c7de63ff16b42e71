#include "tests/support/TestEnv.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qvx::Test {

static std::string Env(const char* name, const char* builtin)
{
    const char* v = std::getenv(name);
    return v && *v ? v : builtin;
}

std::optional<fs::path> SharedDir()
{
    std::string d = Env("QVX_SHARED_DIR", QVX_BUILTIN_SHARED_DIR);
    if (d.empty() || !fs::is_directory(d)) return std::nullopt;
    return fs::path(d);
}

fs::path TolvaPath() { return Env("QVX_TOLVA", QVX_BUILTIN_TOLVA); }
fs::path ToolPath(const std::string& name)
{
    // tolva is <build>/apps/tolva/tolva; tools are <build>/tools/<name>.
    return TolvaPath().parent_path().parent_path().parent_path() / "tools" / name;
}

fs::path SourceDir() { return Env("QVX_SOURCE_DIR", QVX_BUILTIN_SOURCE_DIR); }

TempDir::TempDir()
{
    std::string tmpl = (fs::temp_directory_path() / "qvx-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable so removal succeeds.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

fs::path TempDir::Write(const std::string& relative, const std::string& bytes) const
{
    fs::path p = m_path / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
}

RunResult Run(const std::vector<std::string>& argv, const fs::path& cwd, int timeout_seconds)
{
    int pipefd[2];
    if (pipe(pipefd) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        setpgid(0, 0);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(pipefd[1], 1);
        dup2(pipefd[1], 2);
        close(pipefd[0]);
        close(pipefd[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        alarm(static_cast<unsigned>(timeout_seconds));
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipefd[1]);
    RunResult r;
    char buf[65536];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0) r.output.append(buf, static_cast<size_t>(n));
    close(pipefd[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace qvx::Test
