#pragma once
// Number tokens as the parser reads them, and the PDF/A limits on numbers (parts 1 to 3;
// part 4 has none). Shared by the parser, which reports a token beyond them, and by the
// conversion, which writes such a token again within them.

#include <cstdint>
#include <string>
#include <string_view>

namespace qvx::SDF {

class ErrorStore;

struct NumberToken {
    enum Status { e_ok, e_range, e_fail };
    double value = 0;  // 0 for a token that fails
    bool real = false;
    // e_range: an integer beyond 32 bits; e_fail: trailing characters or more than 38 digits.
    Status status = e_ok;
};

// part 1 rounds a real within 2^-16 of an integer to it, as PDF/A-1's fixed-point reals do.
NumberToken ReadNumberToken(std::string_view token, int part);

// The code the token breaks at part (1 to 3), or 0.
std::int32_t NumberLimitCode(const NumberToken& n, int part);

// The token as written within the limits of part: its value, the nearest allowed one when it
// lies beyond them (at part 1 a real beyond 32767 becomes the nearest integer), or 0 for a
// token that fails (what the parser read it as).
std::string NumberWithinLimits(const NumberToken& n, int part);

// Whether a run recorded a number beyond the limits (the codes of NumberLimitCode).
bool NumberLimitsBroken(const ErrorStore& errors);

// A number object's value within the limits of part (1 to 3): objects are written with
// integral values as integers, so an integer beyond 32 bits becomes the nearest 32-bit one.
double ValueWithinLimits(double v, int part);

}  // namespace qvx::SDF
