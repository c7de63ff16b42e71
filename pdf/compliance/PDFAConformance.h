#pragma once
// Conformance levels of a compliance run.

#include <cstdint>

namespace qvx::PDF {

enum PDFAConformance : std::int32_t {
    e_NoConformance = 0,
    e_Level1A = 1,
    e_Level1B = 2,
    e_Level2A = 3,
    e_Level2B = 4,
    e_Level2U = 5,
    e_Level3A = 6,
    e_Level3B = 7,
    e_Level3U = 8,
    e_Level4 = 9,
    e_Level4E = 10,
    e_Level4F = 11,
    e_LevelUA1 = 12,
};

inline bool IsPDFALevel(std::int32_t level) { return level >= e_Level1A && level <= e_Level4F; }
inline bool IsPDFUALevel(std::int32_t level) { return level == e_LevelUA1; }

}  // namespace qvx::PDF
