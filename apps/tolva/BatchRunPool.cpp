#include "apps/tolva/BatchRunPool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "apps/tolva/BatchRun.h"
#include "apps/tolva/BatchRunCapture.h"
#include "apps/tolva/BatchRunWire.h"
#include "common/Exception.h"

namespace qvx::Tolva {

namespace fs = boost::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Jobs a worker holds at once: the one it works on and those queued in its pipe, so that it
// never waits for the batch between two small files.
constexpr std::size_t kJobsPerWorker = 8;

// Results held back behind a file that is still running; past this the walk waits, so a
// slow file cannot make the batch keep an unbounded amount of finished output in memory.
constexpr std::size_t kMaxHeldSlots = 4096;

std::string DeathReason(int status, const ToolSettings& s)
{
    if (WIFEXITED(status) && WEXITSTATUS(status) == kWorkerOutOfMemory)
        return "Processing needed more memory than the limit of " + std::to_string(s.maxMemoryMB) +
               " MB (--max-memory) and was stopped.";
    if (WIFSIGNALED(status))
        return "The worker process ended abnormally on this file (signal " + std::to_string(WTERMSIG(status)) +
               ", " + strsignal(WTERMSIG(status)) + ").";
    if (WIFEXITED(status))
        return "The worker process ended abnormally on this file (exit status " +
               std::to_string(WEXITSTATUS(status)) + ").";
    return "The worker process ended abnormally on this file.";
}

}  // namespace

BatchPool::BatchPool(ToolSettings& settings)
    : m_settings(settings), m_log(settings.log), mp_log_user(settings.logUser),
      m_workers(std::max<std::uint32_t>(settings.jobs, 1))
{
    // A worker that dies while a job is being sent to it must not take the batch with it.
    signal(SIGPIPE, SIG_IGN);
    settings.log = &BatchPool::OrderedSink;
    settings.logUser = this;
    settings.mp_pool = this;
}

BatchPool::~BatchPool()
{
    for (Worker& w : m_workers)
        if (w.pid > 0) Stop(w, true);
    m_settings.log = m_log;
    m_settings.logUser = mp_log_user;
    m_settings.mp_pool = nullptr;
}

void BatchPool::OrderedSink(int kind, const char* text, void* user)
{
    auto* self = static_cast<BatchPool*>(user);
    if (self->m_slots.empty()) {
        if (self->m_log) self->m_log(kind, text, self->mp_log_user);
        return;
    }
    if (!self->m_slots.back().done) {
        self->m_slots.push_back({true, {}});
        ++self->m_next_seq;
    }
    AppendRecord(self->m_slots.back().records, static_cast<char>(kind), text ? text : "");
}

void BatchPool::Submit(const fs::path& file, const std::string& out_folder)
{
    Job job{m_next_seq++, file, out_folder, {}};
    if (m_settings.convert) job.out_path = OutputPath(out_folder, OutputName(file, m_settings), m_settings);
    m_slots.push_back({});
    for (;;) {
        Resend();
        // Two files with one output path are converted one after the other, in input order.
        Worker* w = m_resend.empty() && m_slots.size() <= kMaxHeldSlots && !PathBusy(job.out_path) ? WithRoom()
                                                                                                     : nullptr;
        if (w && Send(*w, job)) return;
        if (!w) WaitOne();
    }
}

void BatchPool::Resend()
{
    while (!m_resend.empty() && !PathBusy(m_resend.front().out_path)) {
        Worker* w = WithRoom();
        if (!w) return;
        if (Send(*w, m_resend.front())) m_resend.pop_front();
    }
}

void BatchPool::Finish()
{
    Flush();
    while (!m_slots.empty()) {
        Resend();
        WaitOne();
        Flush();
    }
    for (Worker& w : m_workers)
        if (w.pid > 0) Stop(w, false);
    m_settings.log = m_log;
    m_settings.logUser = mp_log_user;
    m_settings.mp_pool = nullptr;
}

BatchPool::Worker* BatchPool::WithRoom()
{
    Worker* best = nullptr;
    for (Worker& w : m_workers)
        if (w.jobs.size() < kJobsPerWorker && (!best || w.jobs.size() < best->jobs.size())) best = &w;
    return best;
}

bool BatchPool::PathBusy(const std::string& out_path) const
{
    if (out_path.empty()) return false;
    for (const Worker& w : m_workers)
        for (const Job& job : w.jobs)
            if (job.out_path == out_path) return true;
    return false;
}

void BatchPool::Spawn(Worker& w)
{
    int jobs[2], results[2];
    QVX_CHECK(pipe2(jobs, O_CLOEXEC) == 0, "Failed to create a pipe for a worker process");
    if (pipe2(results, O_CLOEXEC) != 0) {
        close(jobs[0]);
        close(jobs[1]);
        QVX_THROW("pipe2(results) != 0", "Failed to create a pipe for a worker process");
    }
    // Buffered output would otherwise be written twice, once by each process.
    std::cout.flush();
    m_settings.report.flush();
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        for (Worker& other : m_workers) {
            if (other.to >= 0) close(other.to);
            if (other.from >= 0) close(other.from);
        }
        close(jobs[1]);
        close(results[0]);
        signal(SIGPIPE, SIG_DFL);
        RunWorker(m_settings, jobs[0], results[1]);
    }
    close(jobs[0]);
    close(results[1]);
    if (pid < 0) {
        close(jobs[1]);
        close(results[0]);
        QVX_THROW("fork() >= 0", "Failed to start a worker process");
    }
    w.pid = pid;
    w.to = jobs[1];
    w.from = results[0];
    w.received.clear();
}

int BatchPool::Stop(Worker& w, bool kill)
{
    if (w.to >= 0) close(w.to);
    if (w.from >= 0) close(w.from);
    if (kill) ::kill(w.pid, SIGKILL);
    int status = 0;
    while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    w = Worker{};
    return status;
}

bool BatchPool::Send(Worker& w, const Job& job)
{
    if (w.pid < 0) Spawn(w);
    std::string message;
    AppendString(message, job.file.string());
    AppendString(message, job.out_folder);
    if (!WriteAll(w.to, message)) {
        // It died: on the file it had, or between two files; a fresh one takes this job.
        if (w.jobs.empty()) Stop(w, true);
        else Lost(w, {});
        return false;
    }
    if (w.jobs.empty()) w.started = Clock::now();
    w.jobs.push_back(job);
    return true;
}

void BatchPool::WaitOne()
{
    std::vector<pollfd> fds;
    std::vector<Worker*> busy;
    int timeout_ms = -1;
    Clock::time_point now = Clock::now();
    for (Worker& w : m_workers) {
        if (w.jobs.empty()) continue;
        fds.push_back({w.from, POLLIN, 0});
        busy.push_back(&w);
        if (m_settings.timeoutSeconds > 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                w.started + std::chrono::seconds(m_settings.timeoutSeconds) - now);
            int ms = static_cast<int>(std::max<std::int64_t>(left.count(), 0)) + 1;
            timeout_ms = timeout_ms < 0 ? ms : std::min(timeout_ms, ms);
        }
    }
    QVX_CHECK(!fds.empty(), "No file is being processed while the batch waits for one");
    int n = poll(fds.data(), fds.size(), timeout_ms);
    QVX_CHECK(n >= 0 || errno == EINTR, "Waiting for the worker processes failed");
    for (std::size_t i = 0; i < fds.size(); ++i)
        if (n > 0 && fds[i].revents) Receive(*busy[i]);
    if (m_settings.timeoutSeconds == 0) return;
    now = Clock::now();
    for (Worker* w : busy)
        if (!w->jobs.empty() && now >= w->started + std::chrono::seconds(m_settings.timeoutSeconds))
            Lost(*w, "Processing took longer than the limit of " + std::to_string(m_settings.timeoutSeconds) +
                         " s (--timeout) and was stopped.");
}

void BatchPool::Receive(Worker& w)
{
    char buf[65536];
    ssize_t n = read(w.from, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        Lost(w, {});
        return;
    }
    w.received.append(buf, static_cast<std::size_t>(n));
    // One read may bring the results of both of its files.
    while (std::optional<std::string> records = TakeMessage(w.received)) {
        QVX_CHECK(!w.jobs.empty(), "A worker sent a result for a file it was not given");
        std::uint64_t seq = w.jobs.front().seq;
        w.jobs.pop_front();
        w.started = Clock::now();
        Complete(seq, std::move(*records));
    }
}

void BatchPool::Lost(Worker& w, const std::string& reason)
{
    Job job = w.jobs.front();
    // The files it had not started go to the other workers first, in their order.
    m_resend.insert(m_resend.begin(), w.jobs.begin() + 1, w.jobs.end());
    int status = Stop(w, true);
    std::string text = reason.empty() ? DeathReason(status, m_settings) : reason;
    std::string records;
    {
        OutputCapture capture(m_settings);
        ReportProcessingError(job.file, text, m_settings);
        records = capture.Take();
    }
    Complete(job.seq, std::move(records));
}

void BatchPool::Complete(std::uint64_t seq, std::string records)
{
    Slot& slot = m_slots[seq - m_first_seq];
    slot.done = true;
    slot.records = std::move(records);
    Flush();
}

void BatchPool::Flush()
{
    while (!m_slots.empty() && m_slots.front().done) {
        ReplayRecords(m_slots.front().records, m_log, mp_log_user, m_settings);
        m_slots.pop_front();
        ++m_first_seq;
    }
}

}  // namespace qvx::Tolva
