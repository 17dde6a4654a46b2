// RFC 822 dates (see Rfc822Date.h).
#include "smtp/Rfc822Date.h"

#include <cstdio>
#include <cstdlib>

#include "base/Clock.h"

namespace quillet {

std::string rfc822Date(const Timer& when, bool universal) {
  static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int weekday = dayOfWeek(when.date);  // 1 Sunday .. 7 Saturday, 0 invalid
  const int month = when.date.month;
  std::string zone = "GMT";
  if (!universal) {
    // Zones lie within a day of UTC; the clamp only keeps the field four digits.
    int offset = utcOffsetMinutesAt(when);
    offset = offset > 1439 ? 1439 : offset < -1439 ? -1439 : offset;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                  std::abs(offset) % 60);
    zone = text;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %s",
                kWeekdays[weekday >= 1 && weekday <= 7 ? weekday - 1 : 0], when.date.day,
                kMonths[month >= 1 && month <= 12 ? month - 1 : 0], when.date.year, when.time.hour,
                when.time.minute, when.time.second, zone.c_str());
  return text;
}

}  // namespace quillet
