#pragma once
// The batch run: the walk over the input names and folders, and the per-file work
// (validation, conversion with save, revalidation) with its reporting. A failure of one
// file never stops the batch.

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

#include "apps/tolva/ToolSettings.h"
#include "common/UString.h"

namespace qvx::Tolva {

// Walks the inputs in order; returns 0, or 3 when the output folder cannot be created.
int RunBatch(ToolSettings& settings, const std::vector<std::string>& inputs);

// relative is the subfolder below outputDir that mirrors where the folder was found.
void ProcessFolder(const boost::filesystem::path& folder, Common::UString relative, ToolSettings& settings);
void ProcessFile(const boost::filesystem::path& file, const Common::UString& relative, ToolSettings& settings);
void ProcessPDFA(const boost::filesystem::path& file, const std::string& out_folder, ToolSettings& settings);
// A file whose processing was cut short outside the engine (its worker crashed, or it went
// past a limit): a failure entry carrying the reason, or the console's processing error.
void ReportProcessingError(const boost::filesystem::path& file, const std::string& reason, ToolSettings& settings);

// outputName, or the input's stem + suffix + ".pdf".
Common::UString OutputName(const boost::filesystem::path& input, const ToolSettings& settings);
// The folder without one trailing slash or backslash, the separator, the name.
std::string OutputPath(const std::string& folder, const Common::UString& name, const ToolSettings& settings);

}  // namespace qvx::Tolva
