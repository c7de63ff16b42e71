// The worker process of a batch: one file at a time, its output captured and sent back.

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

#include "apps/tolva/BatchRun.h"
#include "apps/tolva/BatchRunCapture.h"
#include "apps/tolva/BatchRunPool.h"
#include "apps/tolva/BatchRunWire.h"

namespace qvx::Tolva {

namespace {

// Bounds the address space while one file is processed: what the worker already holds plus
// the allowance. An allocation past it ends the worker with kWorkerOutOfMemory, which the
// batch reports with the reason.
class MemoryLimit {
public:
    explicit MemoryLimit(std::uint32_t megabytes)
    {
        if (megabytes == 0 || getrlimit(RLIMIT_AS, &m_saved) != 0) return;
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit limit = m_saved;
        rlim_t wanted = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                        (static_cast<rlim_t>(megabytes) << 20);
        limit.rlim_cur = m_saved.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, m_saved.rlim_max);
        m_set = setrlimit(RLIMIT_AS, &limit) == 0;
    }
    ~MemoryLimit()
    {
        if (m_set) setrlimit(RLIMIT_AS, &m_saved);
    }
    MemoryLimit(const MemoryLimit&) = delete;
    MemoryLimit& operator=(const MemoryLimit&) = delete;

private:
    rlimit m_saved{};
    bool m_set = false;
};

[[noreturn]] void OutOfMemory() { _exit(kWorkerOutOfMemory); }

// Test-only faults, so that tests can show what the batch does with a worker that crashes,
// hangs or eats memory: QVX_TEST_WORKER_FAULT="crash:MARK,hang:MARK,hog:MARK" makes the
// worker do that on a file whose bytes contain MARK. Unset, the worker never reads it again.
class FaultSwitch {
public:
    FaultSwitch()
    {
        const char* env = std::getenv("QVX_TEST_WORKER_FAULT");
        std::string faults = env ? env : "";
        std::size_t at = 0;
        while (at < faults.size()) {
            std::size_t end = faults.find(',', at);
            if (end == std::string::npos) end = faults.size();
            std::string entry = faults.substr(at, end - at);
            std::size_t colon = entry.find(':');
            if (colon != std::string::npos && colon + 1 < entry.size())
                m_faults.push_back({entry.substr(0, colon), entry.substr(colon + 1)});
            at = end + 1;
        }
    }

    void Apply(const std::string& file) const
    {
        if (m_faults.empty()) return;
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const auto& [action, mark] : m_faults) {
            if (bytes.find(mark) == std::string::npos) continue;
            if (action == "crash") raise(SIGSEGV);
            if (action == "hang")
                for (;;) pause();
            if (action == "hog") Hog();
        }
    }

private:
    // Takes memory in 64 MB blocks, touching each, until the limit stops it (or a ceiling of
    // 1 GB is reached); a limit below one block stops it at once.
    static void Hog()
    {
        constexpr std::size_t kBlock = 64u << 20;
        std::vector<std::unique_ptr<char[]>> blocks;
        for (int i = 0; i < 16; ++i) {
            blocks.emplace_back(new char[kBlock]);
            std::memset(blocks.back().get(), i, kBlock);
        }
    }

    std::vector<std::pair<std::string, std::string>> m_faults;
};

}  // namespace

void RunWorker(ToolSettings& settings, int in, int out)
{
    // The batch's pool belongs to the parent; here every file is processed in place.
    settings.mp_pool = nullptr;
    FaultSwitch faults;
    if (settings.maxMemoryMB > 0) std::set_new_handler(OutOfMemory);
    JobReader jobs(in);
    std::string file, out_folder;
    while (jobs.Next(file) && jobs.Next(out_folder)) {
        std::string records;
        {
            MemoryLimit limit(settings.maxMemoryMB);
            faults.Apply(file);
            OutputCapture capture(settings);
            ProcessPDFA(file, out_folder, settings);
            records = capture.Take();
        }
        if (!WriteAll(out, ResultMessage(records))) break;
    }
    // Destructors and exit handlers belong to the parent's state (its report stream above all).
    _exit(0);
}

}  // namespace qvx::Tolva
