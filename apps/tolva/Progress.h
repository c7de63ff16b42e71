#pragma once
// The progress line: while a batch that has run for more than a second goes on, one line on
// standard error, redrawn in place, tells how many files are done of how many, at what rate
// and how long the rest should take. Only when standard error is a terminal, so that logs
// and pipes stay clean.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "apps/tolva/ToolSettings.h"

namespace qvx::Tolva {

// "done/total files, rate files/s, m:ss left"; the rate and time once anything is done.
std::string ProgressText(std::uint64_t done, std::uint64_t total, double seconds);

// The files the batch will process: those its walk would hand to the per-file work.
std::uint64_t CountInputFiles(const std::vector<std::string>& inputs, const ToolSettings& settings);

class Progress {
public:
    // Whether standard error is a terminal.
    static bool Wanted();

    // Puts itself in front of the settings' log sink, so that console lines never land in
    // the middle of the progress line: the line is cleared before each one.
    Progress(std::uint64_t total, ToolSettings& settings);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void FileDone();
    // Clears the line and gives the settings their sink back.
    void Finish();

private:
    static void Sink(int kind, const char* text, void* user);
    void Clear();

    using Clock = std::chrono::steady_clock;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_drawn{};
    bool m_shown = false;
    ToolSettings* mp_settings;
    LogSink m_inner;
    void* mp_inner_user;
};

}  // namespace qvx::Tolva
