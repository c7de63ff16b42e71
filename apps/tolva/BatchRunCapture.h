#pragma once
// What one file's processing writes (log messages and report text), held back as records
// so that it can cross from a worker process to the batch and be written there in input
// order, exactly as if the file had been processed in place.

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "apps/tolva/FileResult.h"
#include "apps/tolva/ToolSettings.h"

namespace qvx::Tolva {

// While alive, the settings' log sink and report stream write into records instead, and
// finished files (for the JSON and HTML reports) are recorded rather than handed on.
class OutputCapture {
public:
    explicit OutputCapture(ToolSettings& settings);
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // The records written so far, encoded; the capture starts afresh.
    std::string Take();
    void AddFile(const FileResult& result);

private:
    static void Sink(int kind, const char* text, void* user);
    void FlushReport();

    ToolSettings& m_settings;
    LogSink m_log;
    void* mp_log_user;
    std::streambuf* mp_report_buf;
    std::stringbuf m_report;
    std::string m_records;
};

// Writes encoded records, in their order: messages through the log sink, report text to the
// settings' report, finished files to the reports written per file.
void ReplayRecords(std::string_view records, LogSink log, void* log_user, ToolSettings& settings);

}  // namespace qvx::Tolva
