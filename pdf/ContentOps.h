#pragma once
// The content-stream operators and what each needs.

#include <cstdint>
#include <string_view>

namespace qvx::PDF {

enum class Op : std::uint8_t {
    e_unknown,
    // General graphics state
    e_w, e_J, e_j, e_M, e_d, e_ri, e_i, e_gs,
    // Special graphics state
    e_q, e_Q, e_cm,
    // Path construction
    e_m, e_l, e_c, e_v, e_y, e_h, e_re,
    // Path painting
    e_S, e_s, e_f, e_F, e_fstar, e_B, e_Bstar, e_b, e_bstar, e_n,
    // Clipping
    e_W, e_Wstar,
    // Text objects, state, positioning, showing
    e_BT, e_ET, e_Tc, e_Tw, e_Tz, e_TL, e_Tf, e_Tr, e_Ts, e_Td, e_TD, e_Tm, e_Tstar,
    e_Tj, e_TJ, e_quote, e_dquote,
    // Type 3 fonts
    e_d0, e_d1,
    // Colour
    e_CS, e_cs, e_SC, e_SCN, e_sc, e_scn, e_G, e_g, e_RG, e_rg, e_K, e_k,
    // Shading, XObjects, inline images
    e_sh, e_Do, e_BI, e_ID, e_EI,
    // Marked content
    e_MP, e_DP, e_BMC, e_BDC, e_EMC,
    // Compatibility
    e_BX, e_EX,
};

// The operator a keyword names, e_unknown for any other keyword.
Op OpFromKeyword(std::string_view keyword);
// The keyword of an operator ("" for e_unknown).
std::string_view KeywordOf(Op op);
// How many operands the operator takes; -1 for a variable count (SC, SCN, sc, scn).
int OperandCount(Op op);
// Whether the operator's operands are numbers, or it takes none (path construction and
// painting, q and Q, the text state and positioning numbers, device colours...).
bool TakesOnlyNumbers(Op op);

}  // namespace qvx::PDF
