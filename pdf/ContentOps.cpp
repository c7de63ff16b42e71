#include "pdf/ContentOps.h"

#include <algorithm>
#include <array>

namespace qvx::PDF {

namespace {

struct OpInfo {
    std::string_view keyword;
    Op op;
    int operands;
};

// Sorted by keyword bytes for the binary search.
constexpr OpInfo kOps[] = {
    {"\"", Op::e_dquote, 3}, {"'", Op::e_quote, 1}, {"B", Op::e_B, 0}, {"B*", Op::e_Bstar, 0},
    {"BDC", Op::e_BDC, 2}, {"BI", Op::e_BI, 0}, {"BMC", Op::e_BMC, 1}, {"BT", Op::e_BT, 0},
    {"BX", Op::e_BX, 0}, {"CS", Op::e_CS, 1}, {"DP", Op::e_DP, 2}, {"Do", Op::e_Do, 1},
    {"EI", Op::e_EI, 0}, {"EMC", Op::e_EMC, 0}, {"ET", Op::e_ET, 0}, {"EX", Op::e_EX, 0},
    {"F", Op::e_F, 0}, {"G", Op::e_G, 1}, {"ID", Op::e_ID, 0}, {"J", Op::e_J, 1},
    {"K", Op::e_K, 4}, {"M", Op::e_M, 1}, {"MP", Op::e_MP, 1}, {"Q", Op::e_Q, 0},
    {"RG", Op::e_RG, 3}, {"S", Op::e_S, 0}, {"SC", Op::e_SC, -1}, {"SCN", Op::e_SCN, -1},
    {"T*", Op::e_Tstar, 0}, {"TD", Op::e_TD, 2}, {"TJ", Op::e_TJ, 1}, {"TL", Op::e_TL, 1},
    {"Tc", Op::e_Tc, 1}, {"Td", Op::e_Td, 2}, {"Tf", Op::e_Tf, 2}, {"Tj", Op::e_Tj, 1},
    {"Tm", Op::e_Tm, 6}, {"Tr", Op::e_Tr, 1}, {"Ts", Op::e_Ts, 1}, {"Tw", Op::e_Tw, 1},
    {"Tz", Op::e_Tz, 1}, {"W", Op::e_W, 0}, {"W*", Op::e_Wstar, 0}, {"b", Op::e_b, 0},
    {"b*", Op::e_bstar, 0}, {"c", Op::e_c, 6}, {"cm", Op::e_cm, 6}, {"cs", Op::e_cs, 1},
    {"d", Op::e_d, 2}, {"d0", Op::e_d0, 2}, {"d1", Op::e_d1, 6}, {"f", Op::e_f, 0},
    {"f*", Op::e_fstar, 0}, {"g", Op::e_g, 1}, {"gs", Op::e_gs, 1}, {"h", Op::e_h, 0},
    {"i", Op::e_i, 1}, {"j", Op::e_j, 1}, {"k", Op::e_k, 4}, {"l", Op::e_l, 2},
    {"m", Op::e_m, 2}, {"n", Op::e_n, 0}, {"q", Op::e_q, 0}, {"re", Op::e_re, 4},
    {"rg", Op::e_rg, 3}, {"ri", Op::e_ri, 1}, {"s", Op::e_s, 0}, {"sc", Op::e_sc, -1},
    {"scn", Op::e_scn, -1}, {"sh", Op::e_sh, 1}, {"v", Op::e_v, 4}, {"w", Op::e_w, 1},
    {"y", Op::e_y, 4},
};

constexpr std::size_t kOpCount = sizeof(kOps) / sizeof(kOps[0]);

// Op -> index into kOps, built once.
const std::array<int, 256>& IndexByOp()
{
    static const std::array<int, 256> idx = [] {
        std::array<int, 256> a{};
        a.fill(-1);
        for (std::size_t i = 0; i < kOpCount; ++i) a[static_cast<std::size_t>(kOps[i].op)] = static_cast<int>(i);
        return a;
    }();
    return idx;
}

}  // namespace

Op OpFromKeyword(std::string_view keyword)
{
    if (keyword.empty() || keyword.size() > 3) return Op::e_unknown;
    const OpInfo* end = kOps + kOpCount;
    const OpInfo* it = std::lower_bound(kOps, end, keyword, [](const OpInfo& o, std::string_view k) { return o.keyword < k; });
    return it != end && it->keyword == keyword ? it->op : Op::e_unknown;
}

std::string_view KeywordOf(Op op)
{
    int i = IndexByOp()[static_cast<std::size_t>(op)];
    return i < 0 ? std::string_view() : kOps[i].keyword;
}

bool TakesOnlyNumbers(Op op)
{
    switch (op) {
    case Op::e_unknown: case Op::e_ri: case Op::e_gs: case Op::e_d: case Op::e_Tf: case Op::e_Tj: case Op::e_TJ:
    case Op::e_quote: case Op::e_dquote: case Op::e_CS: case Op::e_cs: case Op::e_SC: case Op::e_SCN: case Op::e_sc:
    case Op::e_scn: case Op::e_sh: case Op::e_Do: case Op::e_BI: case Op::e_ID: case Op::e_EI: case Op::e_MP:
    case Op::e_DP: case Op::e_BMC: case Op::e_BDC:
        return false;
    default:
        return true;
    }
}

int OperandCount(Op op)
{
    int i = IndexByOp()[static_cast<std::size_t>(op)];
    return i < 0 ? 0 : kOps[i].operands;
}

}  // namespace qvx::PDF
