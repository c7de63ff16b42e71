#pragma once
// What every pass of the compliance driver works on: the run's document with its check
// state, the input's name, the structure data handed through, and the per-run caches.
//
// The pattern of a check: on a violation Report the rule's code (which drops a rule the
// table of rules, sdf/Rules.def, does not hold in force at the level, and with first-stop in
// a validation sets the stop flag); in conversion, repair. A check tests the level itself
// only where it does something different per level.

#include <cstdint>
#include <string>

#include "common/UString.h"
#include "pdf/PageTree.h"
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
    // The document's pages, read once per run.
    const PageTree& Pages() { return caches.Get<PageTree>(doc); }
    // Records code against the indirect object that is obj or holds it (none when obj is
    // null or outside the table).
    void Report(std::int32_t code, const SDF::Obj* obj = nullptr) { state.Report(code, EnclosingObjNum(obj)); }

    static std::uint32_t EnclosingObjNum(const SDF::Obj* obj);
};

}  // namespace qvx::PDF
