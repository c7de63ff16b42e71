#pragma once
// The command line: the option table, help and version texts, level names, and the whole
// start-up of the tool up to the batch run.

#include <boost/program_options.hpp>
#include <cstdint>
#include <string>

#include "apps/tolva/ToolSettings.h"

namespace qvx::Tolva {

inline constexpr const char* kToolVersion = "10.8083607";

// The "OPTIONS" group in help order; --verb, --max_ref_objs and --config are bound to settings.
boost::program_options::options_description BuildOptions(ToolSettings& settings);

// "1A".."4F", "UA1" (12) and "AUTO" (kLevelAuto) in any case to the level number; anything
// else is 4 (2B).
std::int32_t LevelFromText(const std::string& text);
// The upper-case text of a level; empty for 0 and unknown numbers.
std::string LevelText(std::int32_t level);

// "\n", the product line, a notice line.
std::string Banner();
// The usage line, the rendered options and the examples.
std::string UsageText(const boost::program_options::options_description& options);

// The folder of the running executable, or empty when it cannot be found.
std::string ExecutableDir(const char* argv0);

// Everything main does; returns the exit status (0, 1 or 3).
int RunTool(int argc, char** argv);

}  // namespace qvx::Tolva
