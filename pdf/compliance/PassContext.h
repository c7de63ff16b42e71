#pragma once
// What every pass of the compliance driver works on: the run's document with its check
// state, the input's name, the structure data handed through, and the per-run caches.
//
// The pattern of a check: test the rule when the level enables it; on a violation Report
// the code (which, with first-stop in a validation, sets the stop flag); in conversion,
// repair.

#include <cstdint>
#include <string>

#include "common/UString.h"
#include "pdf/compliance/RunCaches.h"
#include "sdf/CheckState.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

struct PassContext {
    PassContext(SDF::SDFDoc& d, Common::UString name = {}, std::string structure = {})
        : doc(d), state(d.GetCheckState()), input_name(std::move(name)), structure_data(std::move(structure))
    {
    }

    SDF::SDFDoc& doc;
    SDF::CheckState& state;
    Common::UString input_name;  // the input file's path; empty for a buffer
    std::string structure_data;  // empty in the tool
    RunCaches caches;

    // PDF/A rules are checked (levels 1 to 11).
    bool Checks() const { return state.is_pdfa; }
    // PDF/A part of the level (0 outside PDF/A).
    int Part() const { return SDF::CheckState::PartOf(state.level); }
    bool Stopped() const { return state.Stopped(); }
    // Records code against the indirect object that is obj or holds it (none when obj is
    // null or outside the table).
    void Report(std::int32_t code, const SDF::Obj* obj = nullptr) { state.Report(code, EnclosingObjNum(obj)); }

    static std::uint32_t EnclosingObjNum(const SDF::Obj* obj);
};

}  // namespace qvx::PDF
