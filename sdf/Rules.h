#pragma once
// The table of rules: every finding the parser and the compliance checks record, with the
// levels it is in force at, its fixed English message and the clause it breaks in each part
// of the standards. The rows stand once, in sdf/Rules.def; the code names and the table below
// are both made from them. It lives here because the parser reports findings too.

#include <cstdint>
#include <span>

namespace qvx::SDF {

// A set of levels, one bit per level: 1..11 are PDF/A 1A 1B 2A 2B 2U 3A 3B 3U 4 4E 4F, 12 is
// PDF/UA-1.
using LevelSet = std::uint16_t;

constexpr LevelSet LevelBit(int level) { return static_cast<LevelSet>(1u << level); }
constexpr LevelSet kPart1Levels = LevelBit(1) | LevelBit(2);
constexpr LevelSet kPart2Levels = LevelBit(3) | LevelBit(4) | LevelBit(5);
constexpr LevelSet kPart3Levels = LevelBit(6) | LevelBit(7) | LevelBit(8);
constexpr LevelSet kPart4Levels = LevelBit(9) | LevelBit(10) | LevelBit(11);
constexpr LevelSet kPDFALevels = kPart1Levels | kPart2Levels | kPart3Levels | kPart4Levels;
constexpr LevelSet kUALevel = LevelBit(12);
constexpr LevelSet kAllLevels = kPDFALevels | kUALevel;
constexpr LevelSet kBeforePart4Levels = kAllLevels & static_cast<LevelSet>(~kPart4Levels);
constexpr LevelSet kPart1To3Levels = kPart1Levels | kPart2Levels | kPart3Levels;
constexpr LevelSet kPart2To4Levels = kPart2Levels | kPart3Levels | kPart4Levels;
// The A levels: 1A, 2A, 3A.
constexpr LevelSet kLevelALevels = LevelBit(1) | LevelBit(3) | LevelBit(6);
// The levels at which text must map to Unicode, code by code: 1A, 2A, 2U, 3A, 3U and
// PDF/UA-1.
constexpr LevelSet kUnicodeLevels = LevelBit(1) | LevelBit(3) | LevelBit(5) | LevelBit(6) | LevelBit(8) | kUALevel;

constexpr std::int32_t kPDFASign = 1;
constexpr std::int32_t kPDFUASign = -1;

// The code of each rule, named as reports print it: e_PDFA<n> for the PDF/A rule n, e_PDFUA<n>
// for the PDF/UA rule -n.
enum Rule : std::int32_t {
#define QVX_RULE(kind, number, levels, part1, part2, part3, part4, ua, message) e_##kind##number = k##kind##Sign * number,
#define QVX_RULE_AGAIN(kind, number, levels, part1, part2, part3, part4, ua, message)
#include "sdf/Rules.def"
#undef QVX_RULE
#undef QVX_RULE_AGAIN
};

// Index of a standard's clause column: parts 1 to 4 of ISO 19005, then ISO 14289-1.
constexpr int kUAClauseColumn = 4;

struct RuleRow {
    std::int32_t code;
    LevelSet levels;
    // The clause the rule breaks per column ("6.2.4.3"); empty where the conformance corpus
    // does not show it.
    const char* clauses[5];
    const char* message;
};

// Every row in reporting-table order. -17111 stands twice, for two rules; lookups take the
// first row.
std::span<const RuleRow> Rules();

// The first row of a code, or null when the table lacks it.
const RuleRow* FindRule(std::int32_t code);

// Whether the rule of code is in force at level. Outside 1..12 there is no level to hold a
// rule against, and a code the table lacks has no levels to check: both count as in force.
bool InForce(std::int32_t code, std::int32_t level);

}  // namespace qvx::SDF
