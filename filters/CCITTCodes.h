#pragma once
// The code words of fax coding (ITU-T T.4 and T.6): run lengths by colour, the 2-D mode
// codes and EOL, for the encoder, and the lookup tables the decoder reads them with.

#include <cstdint>

namespace qvx::Filters::CCITT {

enum Colour : unsigned { e_white = 0, e_black = 1 };

struct Code {
    std::uint16_t bits;  // right-aligned
    std::uint8_t length;
};

// Terminating codes for runs 0..63, by colour.
extern const Code kTerminating[2][64];
// Make-up codes for runs 64, 128, .., 1728 (index run / 64 - 1), by colour.
extern const Code kMakeup[2][27];
// Make-up codes shared by both colours for 1792, 1856, .., 2560 (index run / 64 - 28).
extern const Code kExtendedMakeup[13];
inline constexpr unsigned kMaxMakeup = 2560;

inline constexpr Code kEOL{0x001, 12};
inline constexpr Code kPass{0x1, 4};
inline constexpr Code kHorizontal{0x1, 3};
// Vertical modes by a1 - b1 + 3 (VL3 .. V0 .. VR3).
extern const Code kVertical[7];

// Run-length lookup: indexed by the next kWhiteBits / kBlackBits bits of the input.
enum RunKind : std::uint8_t { e_invalid = 0, e_terminating, e_makeup, e_eol };
struct RunEntry {
    std::uint16_t run;
    std::uint8_t length;
    RunKind kind;
};
inline constexpr unsigned kWhiteBits = 12;
inline constexpr unsigned kBlackBits = 13;
const RunEntry* WhiteRunTable();
const RunEntry* BlackRunTable();

// 2-D mode lookup, indexed by the next kModeBits bits.
enum ModeKind : std::uint8_t { e_mode_invalid = 0, e_mode_pass, e_mode_horizontal, e_mode_vertical,
                               e_mode_extension };
struct ModeEntry {
    ModeKind kind;
    std::int8_t delta;  // a1 - b1 for vertical modes
    std::uint8_t length;
};
inline constexpr unsigned kModeBits = 7;
const ModeEntry* ModeTable();

}  // namespace qvx::Filters::CCITT
