#include "sdf/NumberToken.h"

#include <cmath>
#include <cstdio>

#include "sdf/CharClass.h"
#include "sdf/CheckState.h"
#include "sdf/Rules.h"

namespace qvx::SDF {

namespace {

constexpr double kMaxPart1Real = 32767.0;
constexpr double kMinReal = 1.175e-38;
constexpr double kMaxReal = 3.403e38;
// The largest magnitude written back: 38 digits before the point, the most a token may have.
constexpr double kLargestWritten = 1e37;

}  // namespace

NumberToken ReadNumberToken(std::string_view t, int part)
{
    NumberToken n;
    std::size_t i = 0;
    const std::size_t size = t.size();
    const bool neg = !t.empty() && t[0] == '-';
    while (i < size && (t[i] == '+' || t[i] == '-')) ++i;
    double v = 0;
    int digits = 0;
    while (i < size && CharClass::IsDigit(t[i])) {
        v = v * 10 + (t[i] - '0');
        ++digits;
        ++i;
    }
    if (i < size && t[i] == '.') {
        n.real = true;
        ++i;
        double f = 0.1;
        for (; i < size && CharClass::IsDigit(t[i]); ++i, f *= 0.1) v += (t[i] - '0') * f;
    }
    if (i != size) {
        n.status = NumberToken::e_fail;
        v = 0;
    } else if (digits > 38) {
        n.status = NumberToken::e_fail;
    } else if (!n.real && v > (neg ? 2147483648.0 : 2147483647.0)) {
        n.status = NumberToken::e_range;
    }
    if (neg) v = -v;
    if (part == 1 && n.real && n.status == NumberToken::e_ok) {
        const double r = std::nearbyint(v);
        if (std::fabs(v - r) < 1.52587890625e-5) v = r;
    }
    n.value = v;
    return n;
}

std::int32_t NumberLimitCode(const NumberToken& n, int part)
{
    if (part < 1 || part > 3) return 0;
    if (n.status == NumberToken::e_range) return e_PDFA1124;
    if (n.status == NumberToken::e_fail) return part == 1 ? e_PDFA1127 : e_PDFA1129;
    if (!n.real) return 0;
    const double a = std::fabs(n.value);
    if (part == 1) return a > kMaxPart1Real ? e_PDFA1127 : 0;
    if (n.value != 0 && a < kMinReal) return e_PDFA1128;
    return a > kMaxReal ? e_PDFA1129 : 0;
}

std::string NumberWithinLimits(const NumberToken& n, int part)
{
    if (n.status == NumberToken::e_fail) return "0";
    if (n.real && std::fabs(n.value) < kMinReal) return "0";
    char buf[64];
    if (part == 1) {
        // PDF/A-1 integers reach 2^31 where its reals stop at 32767: a real beyond them is
        // written as the nearest integer, which moves nothing by a visible amount.
        std::snprintf(buf, sizeof buf, "%.0f", ValueWithinLimits(std::nearbyint(n.value), part));
        return buf;
    }
    // Written as a real: an integer beyond 32 bits stays a number of the same value.
    std::snprintf(buf, sizeof buf, "%.1f", std::copysign(std::fmin(std::fabs(n.value), kLargestWritten), n.value));
    return buf;
}

bool NumberLimitsBroken(const ErrorStore& errors)
{
    return errors.Has(e_PDFA1124) || errors.Has(e_PDFA1127) || errors.Has(e_PDFA1128) || errors.Has(e_PDFA1129);
}

double ValueWithinLimits(double v, int part)
{
    if (part < 1 || part > 3) return v;
    if (part == 1 && std::fabs(v) > kMaxPart1Real) v = std::nearbyint(v);
    if (v == std::nearbyint(v)) return std::fmin(std::fmax(v, -2147483648.0), 2147483647.0);
    return std::fabs(v) < kMinReal ? 0 : v;
}

}  // namespace qvx::SDF
