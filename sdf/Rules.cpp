#include "sdf/Rules.h"

namespace qvx::SDF {

namespace {

constexpr RuleRow kRules[] = {
#define QVX_RULE(kind, number, levels, part1, part2, part3, part4, ua, message) \
    {e_##kind##number, levels, {part1, part2, part3, part4, ua}, message},
#define QVX_RULE_AGAIN QVX_RULE
#include "sdf/Rules.def"
#undef QVX_RULE
#undef QVX_RULE_AGAIN
};

LevelSet LevelsOf(std::int32_t code)
{
    switch (code) {
#define QVX_RULE(kind, number, levels, part1, part2, part3, part4, ua, message) \
    case e_##kind##number: return levels;
#define QVX_RULE_AGAIN(kind, number, levels, part1, part2, part3, part4, ua, message)
#include "sdf/Rules.def"
#undef QVX_RULE
#undef QVX_RULE_AGAIN
    default: return kAllLevels;
    }
}

}  // namespace

std::span<const RuleRow> Rules() { return kRules; }

const RuleRow* FindRule(std::int32_t code)
{
    for (const RuleRow& row : kRules)
        if (row.code == code) return &row;
    return nullptr;
}

bool InForce(std::int32_t code, std::int32_t level)
{
    if (level < 1 || level > 12) return true;
    return (LevelsOf(code) & LevelBit(level)) != 0;
}

}  // namespace qvx::SDF
