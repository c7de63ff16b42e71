#pragma once
// The command-line tool's settings: built with defaults, filled from the command line, then
// read by the batch run and the report. It also owns the open report stream.

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "common/UString.h"

namespace qvx::Tolva {

class BatchPool;
class OutputCapture;

// Message kinds of the log sink.
enum LogKind : int {
    e_LogError = 1,       // "Error: " + text + newline
    e_LogInfo = 2,        // text as it is
    e_LogReadLine = 3,    // reads a line from standard input
    e_LogOutputFile = 4,  // a converted file was written; the console ignores it
};

using LogSink = void (*)(int kind, const char* text, void* user);

// Writes to standard output; kind 3 stores the line read into *(std::string*)user when set.
void ConsoleSink(int kind, const char* text, void* user);
// The same on standard error, for runs whose standard output carries the JSON report.
void ConsoleErrorSink(int kind, const char* text, void* user);

// The level text "AUTO": each file is validated at the level its metadata claims.
inline constexpr std::int32_t kLevelAuto = -1;

class JsonReport;
class HtmlReport;
class Progress;

struct ToolSettings {
    Common::UString separator{u"/"};
    std::int32_t level = 4;
    std::int32_t verbosity = 1;
    bool subfolders = false;
    bool linearize = false;
    bool listDetails = true;
    std::string outputDir;       // bytes, as the file system takes them
    Common::UString outputName;
    std::string password;
    bool revalidate = true;
    bool convert = false;
    std::string configFile;
    Common::UString extension{u".pdf"};
    Common::UString suffix{u"_pdfa"};
    bool writeXml = true;
    std::ofstream report;
    LogSink log = ConsoleSink;
    void* logUser = nullptr;
    std::uint32_t maxRefObjs = 10;
    bool flatten = false;
    bool comparePages = false;   // --compare-pages: draw the copy's pages against the original's
    std::string jsonPath;                // --json; "-" is standard output
    std::shared_ptr<JsonReport> json;    // open while the batch runs
    std::shared_ptr<HtmlReport> html;    // open while the batch runs, beside report.xml
    std::shared_ptr<Progress> progress;  // while the batch runs, when standard error is a terminal
    // Worker processes for the batch, and per-file limits (0 = none). With one job and no
    // limit every file is processed inside the tool's own process.
    std::uint32_t jobs = 1;
    std::uint32_t timeoutSeconds = 0;
    std::uint32_t maxMemoryMB = 0;
    // Set while a batch hands its files to worker processes.
    BatchPool* mp_pool = nullptr;
    // Set while one file's output is held back to be written by the batch later.
    OutputCapture* mp_capture = nullptr;
};

// Sends text to the settings' sink, when one is set.
void Log(const ToolSettings& settings, int kind, const std::string& text);

}  // namespace qvx::Tolva
