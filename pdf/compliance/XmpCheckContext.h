#pragma once
// What the metadata checks share: the run's check state and the metadata stream that
// violations are recorded against.

#include <cstdint>
#include <map>
#include <string>

#include "sdf/CheckState.h"

namespace qvx::PDF {

struct XmpCheckContext {
    SDF::CheckState& state;
    std::uint32_t obj_num = 0;

    int Part() const { return SDF::CheckState::PartOf(state.level); }
    bool IsPDFA1() const { return Part() == 1; }
    bool IsPDFA4() const { return Part() == 4; }
    bool Convert() const { return state.convert; }
    void Report(std::int32_t code) const { state.Report(code, obj_num); }
};

// Namespace URI -> property name -> whether the property is structured (has fields or
// items): the properties of every namespace that holds a property PDF/A does not predefine.
using XmpUndescribed = std::map<std::string, std::map<std::string, bool>>;

}  // namespace qvx::PDF
