#pragma once
// Conversions between PDF dates and XMP dates, and the comparison the date checks use.

#include <exempi/xmp.h>

#include <string>

#include "pdf/PDFDate.h"

namespace qvx::PDF {

// Year to second copied; sign +1 for '+', -1 for '-', UTC otherwise; offset hours clamped to
// 0..23 and minutes to 0..59; a signed offset of 00:00, and any UTC date, get offset 00:00
// and UTC.
XmpDateTime InfoDateToXmp(const PDFDate& date);

// Year to second and the offset; the zone character '+', '-' or 'Z' from the sign.
PDFDate XmpDateToInfo(const XmpDateTime& date);

// The ISO 8601 text of an XMP date with its zone always written: 'Z' for UTC, else +hh:mm or
// -hh:mm; fractional seconds only when there are any. (The toolkit drops the zone of a UTC
// date, which readers then take as local time.)
std::string XmpDateText(const XmpDateTime& date);

// Both brought to UTC, then ordered by year, month, day, hour, minute, second, nanosecond:
// negative when a is earlier, 0 when equal, positive when a is later.
int CompareXmpDates(const XmpDateTime& a, const XmpDateTime& b);

}  // namespace qvx::PDF
