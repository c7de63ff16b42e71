#pragma once
// Worker processes for a batch. The walk hands each file to a free worker (a forked copy of
// the tool that processes one file at a time); what a file's processing writes comes back
// and is written in input order, between the walk's own messages, so the console and the
// report read as if the files had been processed one by one. A worker that crashes or goes
// past a per-file limit costs its file alone: the file is reported as a processing error
// and a fresh worker takes its place.

#include <sys/types.h>

#include <boost/filesystem/path.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "apps/tolva/ToolSettings.h"

namespace qvx::Tolva {

class BatchPool {
public:
    // Routes the settings' log through the pool until Finish.
    explicit BatchPool(ToolSettings& settings);
    ~BatchPool();
    BatchPool(const BatchPool&) = delete;
    BatchPool& operator=(const BatchPool&) = delete;

    // Queues one file (as ProcessPDFA would take it); returns once a worker has it.
    void Submit(const boost::filesystem::path& file, const std::string& out_folder);
    // Waits for every file, writes what is left and stops the workers.
    void Finish();

private:
    struct Job {
        std::uint64_t seq = 0;
        boost::filesystem::path file;
        std::string out_folder;
        std::string out_path;  // the converted file's path; empty when not converting
    };
    struct Worker {
        pid_t pid = -1;
        int to = -1;    // jobs go out here
        int from = -1;  // results come back here
        // Sent and not yet answered, in order: the first is being processed, the others wait
        // in the pipe so that the worker goes straight on to them.
        std::deque<Job> jobs;
        std::chrono::steady_clock::time_point started;  // of the first
        std::string received;
    };
    // Output waiting for the files before it: the walk's messages, or one file's records.
    struct Slot {
        bool done = false;
        std::string records;
    };

    static void OrderedSink(int kind, const char* text, void* user);
    void Spawn(Worker& w);
    int Stop(Worker& w, bool kill);  // returns the wait status
    // Sends the job to a worker with room, spawning it when needed; false when it died meanwhile.
    bool Send(Worker& w, const Job& job);
    // Hands out the jobs of a lost worker that it had not started, as far as workers have room.
    void Resend();
    // Waits for one event: a result, a worker lost, a file past its time.
    void WaitOne();
    void Receive(Worker& w);
    void Lost(Worker& w, const std::string& reason);
    void Complete(std::uint64_t seq, std::string records);
    void Flush();
    Worker* WithRoom();
    bool PathBusy(const std::string& out_path) const;

    ToolSettings& m_settings;
    LogSink m_log;
    void* mp_log_user;
    std::vector<Worker> m_workers;
    std::deque<Slot> m_slots;
    std::deque<Job> m_resend;
    std::uint64_t m_first_seq = 0;  // the sequence number of m_slots.front()
    std::uint64_t m_next_seq = 0;
    bool m_finished = false;
};

// The worker side: reads jobs from `in`, processes each, writes its records to `out`;
// returns when `in` ends. Runs in the forked child only.
[[noreturn]] void RunWorker(ToolSettings& settings, int in, int out);

}  // namespace qvx::Tolva
