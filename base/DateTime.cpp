// Calendar arithmetic, timestamps, fixed-position parsing and formatting of dates and
// times, and the clock-aligned wait.
#include "base/DateTime.h"

#include <chrono>
#include <thread>

#include "base/Clock.h"
#include "base/ProcessContext.h"

namespace quillet {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int32_t kDayNumberOfYearOne = 1721426;    // 0001-01-01
constexpr int32_t kDayNumberOfYear10000 = 5373484;  // 10000-01-01
constexpr Date kTimestampEpoch{1994, 1, 0, 1};

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && isLeapYear(year)) return 29;
  return kDays[month - 1];
}

int dayOfYear(const Date& date) {
  int days = date.day;
  for (int m = 1; m < date.month; ++m) days += daysInMonth(date.year, m);
  return days;
}

// C atoi over a fixed slice of text: leading white space, an optional sign, digits.
int atoiSlice(const Str& text, int pos, int length) {
  return Str(text.view().substr(static_cast<size_t>(pos), static_cast<size_t>(length))).toLong();
}

void appendPadded(Str& out, int value, int width) {
  char digits[16];
  int n = 0;
  unsigned v = static_cast<unsigned>(value < 0 ? 0 : value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0 && n < 15);
  for (int i = n; i < width; ++i) out += '0';
  while (n > 0) out += digits[--n];
}

// Writes a pattern such as "DD.MM.YYYY" or "hh:mm:ss": a run of Y, M, D, h, m or s is the
// field zero-padded to the run's length (YY is the year within its century); any other
// character is copied.
Str formatByPattern(const char* pattern, const Date& date, const Time& time) {
  Str out;
  for (const char* p = pattern; *p != 0;) {
    int run = 1;
    while (p[run] == *p) ++run;
    switch (*p) {
      case 'Y':
        appendPadded(out, run == 2 ? date.year % 100 : date.year, run);
        break;
      case 'M':
        appendPadded(out, date.month, run);
        break;
      case 'D':
        appendPadded(out, date.day, run);
        break;
      case 'h':
        appendPadded(out, time.hour, run);
        break;
      case 'm':
        appendPadded(out, time.minute, run);
        break;
      case 's':
        appendPadded(out, time.second, run);
        break;
      default:
        out.append(p, run);
        break;
    }
    p += run;
  }
  return out;
}

}  // namespace

bool operator==(const Date& a, const Date& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

bool operator==(const Time& a, const Time& b) {
  return a.hour == b.hour && a.minute == b.minute && a.second == b.second &&
         a.milliseconds == b.milliseconds;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool isValidDate(const Date& date) {
  if (date.year == 0 || date.month == 0 || date.day == 0) return false;
  if (date.month > 12) return false;
  return date.day <= daysInMonth(date.year, date.month);
}

int32_t dayNumber(const Date& date) {
  if (date.year == 0 || date.month == 0 || date.day == 0) return 0;
  if (!isValidDate(date)) return -1;
  const int32_t y = date.year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400 + dayOfYear(date) + 1721425;
}

Date dateFromDayNumber(int32_t number) {
  if (number < kDayNumberOfYearOne || number >= kDayNumberOfYear10000) return Date{};
  // Days since 0000-03-01 in 400-year eras (era arithmetic of the proleptic Gregorian
  // calendar with the year starting in March, so the leap day is the year's last day).
  const int32_t z = number - 1721120;
  const int32_t era = z / 146097;
  const int32_t dayOfEra = z - era * 146097;
  const int32_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int32_t dayOfMarchYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int32_t mp = (5 * dayOfMarchYear + 2) / 153;
  const int32_t day = dayOfMarchYear - (153 * mp + 2) / 5 + 1;
  const int32_t month = mp < 10 ? mp + 3 : mp - 9;
  const int32_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  Date date{static_cast<uint16_t>(year), static_cast<uint16_t>(month), 0,
            static_cast<uint16_t>(day)};
  date.dayOfWeek = static_cast<uint16_t>(dayOfWeek(date));
  return date;
}

int dayOfWeek(const Date& date) {
  const int32_t number = dayNumber(date);
  if (number <= 0) return 0;
  return static_cast<int>((number + 1) % 7 + 1);
}

uint32_t toTimestamp(const Date& date, const Time& time) {
  static const int32_t epochDay = dayNumber(kTimestampEpoch);
  const int32_t number = dayNumber(date);
  if (number < epochDay) return 0;  // before 1994, invalid (-1) or no date (0)
  const int64_t seconds =
      static_cast<int64_t>(number - epochDay) * kSecondsPerDay + secondsOfDay(time);
  return static_cast<uint32_t>(seconds);  // modulo 2^32, past the year 2130
}

void fromTimestamp(uint32_t seconds, Date& date, Time& time) {
  static const int32_t epochDay = dayNumber(kTimestampEpoch);
  date = dateFromDayNumber(epochDay + static_cast<int32_t>(seconds / kSecondsPerDay));
  const uint32_t inDay = seconds % kSecondsPerDay;
  time = Time{static_cast<uint16_t>(inDay / 3600), static_cast<uint16_t>(inDay / 60 % 60),
              static_cast<uint16_t>(inDay % 60), 0};
}

bool isValidTime(const Time& time) {
  return time.hour <= 23 && time.minute <= 59 && time.second <= 59;
}

bool assignTime(Time& target, const Time& source) {
  if (!isValidTime(source)) return false;
  target = source;
  return true;
}

int secondsOfDay(const Time& time) { return time.hour * 3600 + time.minute * 60 + time.second; }

bool timeFromSeconds(int64_t n, Time& time) {
  if (n <= 0) return false;
  if (n > kSecondsPerDay) n = (n - 1) % kSecondsPerDay + 1;  // reduce by whole days while above
  time = Time{static_cast<uint16_t>(n / 3600 % 24), static_cast<uint16_t>(n / 60 % 60),
              static_cast<uint16_t>(n % 60), 0};
  return true;
}

bool parseTime(const Str& text, Time& time) {
  if (text.length() < 5) return false;
  const int hour = atoiSlice(text, 0, 2);
  const int minute = atoiSlice(text, 3, 2);
  const int second = text.length() > 7 ? atoiSlice(text, 6, 2) : 0;
  if (hour < 0 || minute < 0 || second < 0) return false;
  const Time parsed{static_cast<uint16_t>(hour), static_cast<uint16_t>(minute),
                    static_cast<uint16_t>(second), 0};
  return assignTime(time, parsed);
}

bool parseDate(const Str& text, Date& date) {
  if (text.length() < 8) return false;
  const int year = atoiSlice(text, 0, 4);
  const int month = atoiSlice(text, 4, 2);
  const int day = atoiSlice(text, 6, 2);
  if (year <= 0 || month <= 0 || day <= 0) return false;
  Date parsed{static_cast<uint16_t>(year), static_cast<uint16_t>(month), 0,
              static_cast<uint16_t>(day)};
  if (!isValidDate(parsed)) return false;
  parsed.dayOfWeek = static_cast<uint16_t>(dayOfWeek(parsed));
  date = parsed;
  return true;
}

Str formatDate(const Date& date, int format) {
  static constexpr const char* kFormats[] = {"YY-MM-DD", "YYYY-MM-DD", "DD.MM.YY", "DD.MM.YYYY",
                                             "MM/DD/YY", "MM/DD/YYYY", "YYYYMMDD", "YYYY/MM/DD"};
  if (format < 1 || format > 8) return Str();
  return formatByPattern(kFormats[format - 1], date, Time{});
}

Str formatTime(const Time& time, int format) {
  static constexpr const char* kFormats[] = {"hh:mm", "hh:mm:ss", "hhmm"};
  return formatByPattern(format >= 1 && format <= 3 ? kFormats[format - 1] : "hhmmss", Date{},
                         time);
}

void waitSeconds(int n) {
  using namespace std::chrono;
  if (n < 0) n = 0;
  // The second boundaries of local time are those of UTC (zones differ by whole
  // minutes), so the UTC seconds are looked at directly.
  const WaitDeadline deadline(seconds(n + 1) + milliseconds(600));
  const int64_t start = utcSeconds();
  int64_t boundary = -1;
  while (ProcessContext::instance().running() && !deadline.reached()) {
    const int64_t current = utcSeconds();
    if (boundary < 0 && current != start) boundary = current;
    if (boundary >= 0 && current - boundary >= n) return;
    std::this_thread::sleep_for(milliseconds(300));
  }
}

}  // namespace quillet
