#include "pdf/compliance/XmpDates.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <tuple>

namespace qvx::PDF {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d)
{
    y -= m <= 2;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Seconds since the epoch in UTC; fields outside their ranges simply carry over.
std::int64_t UtcSeconds(const XmpDateTime& d)
{
    std::int64_t days = DaysFromCivil(d.year, std::clamp(d.month, 1, 12), 1) + (d.day - 1);
    std::int64_t offset = static_cast<std::int64_t>(d.tzSign) * (d.tzHour * 3600 + d.tzMinute * 60);
    return days * 86400 + d.hour * 3600 + d.minute * 60 + d.second - offset;
}

}  // namespace

XmpDateTime InfoDateToXmp(const PDFDate& date)
{
    XmpDateTime x{};
    x.year = date.year;
    x.month = date.month;
    x.day = date.day;
    x.hour = date.hour;
    x.minute = date.minute;
    x.second = date.second;
    x.tzSign = date.tz == '+' ? XMP_TZ_EAST : date.tz == '-' ? XMP_TZ_WEST : XMP_TZ_UTC;
    x.tzHour = std::clamp<int>(date.tz_hour, 0, 23);
    x.tzMinute = std::clamp<int>(date.tz_minute, 0, 59);
    if (x.tzSign == XMP_TZ_UTC || (x.tzHour == 0 && x.tzMinute == 0)) {
        x.tzSign = XMP_TZ_UTC;
        x.tzHour = x.tzMinute = 0;
    }
    x.nanoSecond = 0;
    return x;
}

PDFDate XmpDateToInfo(const XmpDateTime& date)
{
    PDFDate d;
    d.year = static_cast<std::uint16_t>(date.year);
    d.month = static_cast<std::uint8_t>(date.month);
    d.day = static_cast<std::uint8_t>(date.day);
    d.hour = static_cast<std::uint8_t>(date.hour);
    d.minute = static_cast<std::uint8_t>(date.minute);
    d.second = static_cast<std::uint8_t>(date.second);
    d.tz_hour = static_cast<std::int8_t>(date.tzHour);
    d.tz_minute = static_cast<std::int8_t>(date.tzMinute);
    d.tz = date.tzSign > 0 ? '+' : date.tzSign < 0 ? '-' : 'Z';
    return d;
}

std::string XmpDateText(const XmpDateTime& date)
{
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", date.year, date.month, date.day,
                          date.hour, date.minute, date.second);
    std::string text(buf, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buf) - 1)));
    if (date.nanoSecond > 0 && date.nanoSecond < 1000000000) {
        std::snprintf(buf, sizeof buf, ".%09d", date.nanoSecond);
        std::string frac(buf);
        frac.erase(frac.find_last_not_of('0') + 1);
        text += frac;
    }
    if (date.tzSign == XMP_TZ_UTC) return text + "Z";
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", date.tzSign > 0 ? '+' : '-', std::clamp(date.tzHour, 0, 23),
                  std::clamp(date.tzMinute, 0, 59));
    return text + buf;
}

int CompareXmpDates(const XmpDateTime& a, const XmpDateTime& b)
{
    auto key = [](const XmpDateTime& d) { return std::make_tuple(UtcSeconds(d), d.nanoSecond); };
    auto ka = key(a), kb = key(b);
    return ka < kb ? -1 : ka == kb ? 0 : 1;
}

}  // namespace qvx::PDF
