#include "filters/CCITTCodes.h"

#include <array>

namespace qvx::Filters::CCITT {

namespace {

// Code words are written as they appear in the coding tables, most significant bit first.
constexpr Code C(const char* s)
{
    std::uint16_t bits = 0;
    std::uint8_t length = 0;
    for (; s[length]; ++length) bits = static_cast<std::uint16_t>((bits << 1) | (s[length] == '1'));
    return {bits, length};
}

}  // namespace

const Code kTerminating[2][64] = {
    {C("00110101"), C("000111"),   C("0111"),     C("1000"),     C("1011"),     C("1100"),
     C("1110"),     C("1111"),     C("10011"),    C("10100"),    C("00111"),    C("01000"),
     C("001000"),   C("000011"),   C("110100"),   C("110101"),   C("101010"),   C("101011"),
     C("0100111"),  C("0001100"),  C("0001000"),  C("0010111"),  C("0000011"),  C("0000100"),
     C("0101000"),  C("0101011"),  C("0010011"),  C("0100100"),  C("0011000"),  C("00000010"),
     C("00000011"), C("00011010"), C("00011011"), C("00010010"), C("00010011"), C("00010100"),
     C("00010101"), C("00010110"), C("00010111"), C("00101000"), C("00101001"), C("00101010"),
     C("00101011"), C("00101100"), C("00101101"), C("00000100"), C("00000101"), C("00001010"),
     C("00001011"), C("01010010"), C("01010011"), C("01010100"), C("01010101"), C("00100100"),
     C("00100101"), C("01011000"), C("01011001"), C("01011010"), C("01011011"), C("01001010"),
     C("01001011"), C("00110010"), C("00110011"), C("00110100")},
    {C("0000110111"),   C("010"),          C("11"),           C("10"),
     C("011"),          C("0011"),         C("0010"),         C("00011"),
     C("000101"),       C("000100"),       C("0000100"),      C("0000101"),
     C("0000111"),      C("00000100"),     C("00000111"),     C("000011000"),
     C("0000010111"),   C("0000011000"),   C("0000001000"),   C("00001100111"),
     C("00001101000"),  C("00001101100"),  C("00000110111"),  C("00000101000"),
     C("00000010111"),  C("00000011000"),  C("000011001010"), C("000011001011"),
     C("000011001100"), C("000011001101"), C("000001101000"), C("000001101001"),
     C("000001101010"), C("000001101011"), C("000011010010"), C("000011010011"),
     C("000011010100"), C("000011010101"), C("000011010110"), C("000011010111"),
     C("000001101100"), C("000001101101"), C("000011011010"), C("000011011011"),
     C("000001010100"), C("000001010101"), C("000001010110"), C("000001010111"),
     C("000001100100"), C("000001100101"), C("000001010010"), C("000001010011"),
     C("000000100100"), C("000000110111"), C("000000111000"), C("000000100111"),
     C("000000101000"), C("000001011000"), C("000001011001"), C("000000101011"),
     C("000000101100"), C("000001011010"), C("000001100110"), C("000001100111")},
};

const Code kMakeup[2][27] = {
    {C("11011"),     C("10010"),     C("010111"),    C("0110111"),   C("00110110"),
     C("00110111"),  C("01100100"),  C("01100101"),  C("01101000"),  C("01100111"),
     C("011001100"), C("011001101"), C("011010010"), C("011010011"), C("011010100"),
     C("011010101"), C("011010110"), C("011010111"), C("011011000"), C("011011001"),
     C("011011010"), C("011011011"), C("010011000"), C("010011001"), C("010011010"),
     C("011000"),    C("010011011")},
    {C("0000001111"),    C("000011001000"),  C("000011001001"),  C("000001011011"),
     C("000000110011"),  C("000000110100"),  C("000000110101"),  C("0000001101100"),
     C("0000001101101"), C("0000001001010"), C("0000001001011"), C("0000001001100"),
     C("0000001001101"), C("0000001110010"), C("0000001110011"), C("0000001110100"),
     C("0000001110101"), C("0000001110110"), C("0000001110111"), C("0000001010010"),
     C("0000001010011"), C("0000001010100"), C("0000001010101"), C("0000001011010"),
     C("0000001011011"), C("0000001100100"), C("0000001100101")},
};

const Code kExtendedMakeup[13] = {
    C("00000001000"),  C("00000001100"),  C("00000001101"),  C("000000010010"), C("000000010011"),
    C("000000010100"), C("000000010101"), C("000000010110"), C("000000010111"), C("000000011100"),
    C("000000011101"), C("000000011110"), C("000000011111"),
};

const Code kVertical[7] = {C("0000010"), C("000010"), C("010"), C("1"),
                           C("011"),     C("000011"), C("0000011")};

namespace {

template <unsigned N>
struct RunTable {
    std::array<RunEntry, (1u << N)> slots{};

    void Put(Code c, unsigned run, RunKind kind)
    {
        unsigned shift = N - c.length;
        for (unsigned i = 0; i < (1u << shift); ++i)
            slots[(unsigned(c.bits) << shift) | i] = {static_cast<std::uint16_t>(run), c.length, kind};
    }

    explicit RunTable(unsigned colour)
    {
        for (unsigned r = 0; r < 64; ++r) Put(kTerminating[colour][r], r, e_terminating);
        for (unsigned i = 0; i < 27; ++i) Put(kMakeup[colour][i], 64 * (i + 1), e_makeup);
        for (unsigned i = 0; i < 13; ++i) Put(kExtendedMakeup[i], 64 * (i + 28), e_makeup);
        Put(kEOL, 0, e_eol);
    }
};

struct Modes {
    std::array<ModeEntry, (1u << kModeBits)> slots{};

    void Put(Code c, ModeKind kind, int delta)
    {
        unsigned shift = kModeBits - c.length;
        for (unsigned i = 0; i < (1u << shift); ++i)
            slots[(unsigned(c.bits) << shift) | i] = {kind, static_cast<std::int8_t>(delta), c.length};
    }

    Modes()
    {
        Put(kPass, e_mode_pass, 0);
        Put(kHorizontal, e_mode_horizontal, 0);
        for (int d = -3; d <= 3; ++d) Put(kVertical[d + 3], e_mode_vertical, d);
        Put(C("0000001"), e_mode_extension, 0);
    }
};

}  // namespace

const RunEntry* WhiteRunTable()
{
    static const RunTable<kWhiteBits> table(e_white);
    return table.slots.data();
}

const RunEntry* BlackRunTable()
{
    static const RunTable<kBlackBits> table(e_black);
    return table.slots.data();
}

const ModeEntry* ModeTable()
{
    static const Modes table;
    return table.slots.data();
}

}  // namespace qvx::Filters::CCITT
