#pragma once
// The compliance driver: the fixed sequence of passes that one run executes over its opened
// document, in validation and in conversion alike, and the first-stop mechanism.
//
// After every pass the driver tests the stop flag; when it is set the remaining passes are
// skipped and the driver returns normally. The flag is the caller's when one is given;
// otherwise, with first-stop, one the driver owns; otherwise there is none. An exception
// from a pass propagates; the per-run caches are released either way.

#include <span>
#include <string_view>

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

using PassFunction = void (*)(PassContext&);

struct DriverPass {
    std::string_view name;
    PassFunction run;
};

// The passes in the order they run, 0 (flattening) to 14 (structure data).
std::span<const DriverPass> DriverPasses();

// Runs passes over ctx, whose check state already holds the run's level and flags.
void RunDriver(PassContext& ctx, bool* stop = nullptr, std::span<const DriverPass> passes = DriverPasses());

}  // namespace qvx::PDF
