#pragma once
// The JSON report of a run, for pipelines: one document
//
//     {"tool": "tolva", "version": ..., "run": {"date": ..., "level": ..., "options": {...}},
//      "files": [ {...}, ... ]}
//
// streamed as the files finish, one entry per line, so that a batch of any size is never
// held in memory and a reader can follow the run as it goes.

#include <cstdio>
#include <string>
#include <vector>

#include "apps/tolva/FileResult.h"
#include "apps/tolva/ToolSettings.h"

namespace qvx::Tolva {

// Text as a JSON string literal, quotes included. The text is UTF-8; control characters,
// quotes and backslashes are escaped, everything else is kept as it is.
std::string JsonString(std::string_view text);

class JsonReport {
public:
    // Opens path ("-": standard output) and writes everything up to the files array. A file
    // that cannot be opened throws Common::Exception.
    explicit JsonReport(const ToolSettings& settings);
    ~JsonReport();
    JsonReport(const JsonReport&) = delete;
    JsonReport& operator=(const JsonReport&) = delete;

    // Writes one file's entry and flushes it.
    void Add(const FileResult& result);
    // Ends the document; the destructor does it when Close was not called.
    void Close();

private:
    std::FILE* mp_out = nullptr;
    bool m_owned = false;
    bool m_first = true;
};

}  // namespace qvx::Tolva
