#pragma once
// A PDF date ("D:YYYYMMDDHHmmSSOHH'mm'") as its fields.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvx::PDF {

struct PDFDate {
    std::uint16_t year = 0;
    std::uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char tz = 0;                  // '+', '-', 'Z', or 0 when the date names none
    std::int8_t tz_hour = 0, tz_minute = 0;

    friend bool operator==(const PDFDate&, const PDFDate&) = default;

    // Reads the fields present, in order; missing month and day are 1, the rest 0. A zone
    // may follow the last field present ("D:202403051020+01'00'"). The "D:" prefix is
    // optional. Nullopt when the text does not begin with four digits.
    static std::optional<PDFDate> Parse(std::string_view text);
    // "D:YYYYMMDDHHmmSS" and "Z", or the offset as +HH'mm'.
    std::string Format() const;
    // A date with a field out of its range (month 13, hour 24, second 60, 30 February)
    // carried over as a calendar does: 24:00 is the next day's 00:00. The zone is kept;
    // a date of year 0, which stands for no date, is returned as it is.
    PDFDate Normalised() const;
    // The current time in UTC.
    static PDFDate Now();
};

}  // namespace qvx::PDF
