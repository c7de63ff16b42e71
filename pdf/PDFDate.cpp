#include "pdf/PDFDate.h"

#include <cstdio>
#include <ctime>

namespace qvx::PDF {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads n digits at pos; false (and pos unchanged) when they are not all there.
bool Digits(std::string_view s, std::size_t& pos, int n, int& value)
{
    if (pos + n > s.size()) return false;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (!IsDigit(s[pos + i])) return false;
        v = v * 10 + (s[pos + i] - '0');
    }
    pos += n;
    value = v;
    return true;
}

// The moment in UTC as a date with zone tz.
PDFDate FromUTC(std::time_t moment, char tz)
{
    std::tm utc{};
    gmtime_r(&moment, &utc);
    PDFDate d;
    d.year = static_cast<std::uint16_t>(utc.tm_year + 1900);
    d.month = static_cast<std::uint8_t>(utc.tm_mon + 1);
    d.day = static_cast<std::uint8_t>(utc.tm_mday);
    d.hour = static_cast<std::uint8_t>(utc.tm_hour);
    d.minute = static_cast<std::uint8_t>(utc.tm_min);
    d.second = static_cast<std::uint8_t>(utc.tm_sec);
    d.tz = tz;
    return d;
}

}  // namespace

std::optional<PDFDate> PDFDate::Parse(std::string_view text)
{
    std::size_t pos = text.starts_with("D:") ? 2 : 0;
    PDFDate d;
    int v = 0;
    if (!Digits(text, pos, 4, v)) return std::nullopt;
    d.year = static_cast<std::uint16_t>(v);
    d.month = d.day = 1;
    std::uint8_t* fields[] = {&d.month, &d.day, &d.hour, &d.minute, &d.second};
    for (std::uint8_t* f : fields) {
        if (!Digits(text, pos, 2, v)) break;
        *f = static_cast<std::uint8_t>(v);
    }
    if (pos >= text.size()) return d;
    char z = text[pos++];
    if (z != '+' && z != '-' && z != 'Z') return d;
    d.tz = z;
    if (Digits(text, pos, 2, v)) {
        d.tz_hour = static_cast<std::int8_t>(v);
        if (pos < text.size() && text[pos] == '\'') ++pos;
        if (Digits(text, pos, 2, v)) d.tz_minute = static_cast<std::int8_t>(v);
    }
    return d;
}

std::string PDFDate::Format() const
{
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "D:%04u%02u%02u%02u%02u%02u", year, month, day, hour, minute, second);
    std::string s(buf, static_cast<std::size_t>(n));
    if (tz == '+' || tz == '-') {
        n = std::snprintf(buf, sizeof buf, "%c%02d'%02d'", tz, tz_hour, tz_minute);
        s.append(buf, static_cast<std::size_t>(n));
    } else if (tz == 'Z') s += 'Z';
    return s;
}

PDFDate PDFDate::Normalised() const
{
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool in_range = month >= 1 && month <= 12 && day >= 1 && day <= kDays[month - 1] && hour <= 23 && minute <= 59 &&
                          second <= 59 && !(month == 2 && day == 29 && (year % 4 != 0 || (year % 100 == 0 && year % 400 != 0)));
    if (year == 0 || in_range) return *this;
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    // The fields are read as UTC only to carry them over; the zone stays as it was.
    std::time_t seconds = timegm(&t);
    if (seconds == static_cast<std::time_t>(-1)) return *this;
    PDFDate d = FromUTC(seconds, tz);
    if (d.year < 1 || d.year > 9999) return *this;
    d.tz_hour = tz_hour;
    d.tz_minute = tz_minute;
    return d;
}

PDFDate PDFDate::Now() { return FromUTC(std::time(nullptr), 'Z'); }

}  // namespace qvx::PDF
