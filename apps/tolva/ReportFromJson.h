#pragma once
// report.html made again from a JSON report (--html-from). The cluster runner gathers its
// workers' entries into one JSON report in input order and has the page written from it,
// so that a cluster run shows the page a single tolva run writes.

#include <string>

#include "apps/tolva/FileResult.h"
#include "apps/tolva/ToolSettings.h"

namespace qvx::Tolva {

// One file's entry, as JsonReport writes it on one line, read back. Throws
// Common::Exception when the line is not such an entry.
FileResult ReadJsonEntry(const std::string& line);

// Reads the JSON report at jsonPath and writes report.html into settings.outputDir. The
// run's level comes from the report. Throws Common::Exception when the report cannot be
// read; returns the tool's exit status.
int WriteHtmlFromJson(ToolSettings& settings, const std::string& jsonPath);

}  // namespace qvx::Tolva
