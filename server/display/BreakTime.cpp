// Break time arithmetic.
#include "server/display/BreakTime.h"

#include <limits>

#include "base/DateTime.h"

namespace quillet {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Parts longer than this cannot be a sensible break and would only risk overflow.
constexpr int kMaxPartDigits = 9;

// One decimal part, blanks around it allowed; false for anything else.
bool readPart(Str part, int64_t& value) {
  part.trim();
  if (part.empty() || part.length() > kMaxPartDigits) return false;
  value = 0;
  for (int i = 0; i < part.length(); ++i) {
    const char c = part.at(i);
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// The digits of "HH:MM" or "HH:MM:SS" where the position rule reads them; parseTime alone
// would read letters as 0 and take any text for midnight.
bool hasTimeDigits(const Str& text) {
  auto digit = [&text](int pos) { return text.at(pos) >= '0' && text.at(pos) <= '9'; };
  if (text.length() < 5 || !digit(0) || !digit(1) || !digit(3) || !digit(4)) return false;
  return text.length() < 8 || (digit(6) && digit(7));
}

}  // namespace

uint32_t absoluteBreakTime(const Str& text, uint32_t now) {
  if (text.isBlank() || now == 0) return 0;
  Str trimmed = text;
  trimmed.trim();
  Time time;
  if (!hasTimeDigits(trimmed) || !parseTime(trimmed, time)) return 0;
  Date today;
  Time current;
  fromTimestamp(now, today, current);
  int64_t moment = int64_t{now} - secondsOfDay(current) + secondsOfDay(time);
  if (moment <= int64_t{now}) moment += kSecondsPerDay;
  if (moment > std::numeric_limits<uint32_t>::max()) return 0;
  return static_cast<uint32_t>(moment);
}

uint32_t relativeBreakTime(const Str& text, uint32_t now) {
  if (text.isBlank() || now == 0) return 0;
  Str rest = text;
  rest.trim();
  int colon = rest.find(':');
  if (colon < 0) return 0;  // a bare number could mean hours or minutes: not guessed
  int64_t days = 0;
  if (rest.count(':') >= 2) {
    if (!readPart(rest.left(colon), days)) return 0;
    rest = rest.mid(colon + 1);
    colon = rest.find(':');
  }
  // Of "hours:minutes:more" only hours and minutes count.
  const int end = rest.find(':', colon + 1);
  int64_t hours = 0;
  int64_t minutes = 0;
  if (!readPart(rest.left(colon), hours)) return 0;
  if (!readPart(end < 0 ? rest.mid(colon + 1) : rest.mid(colon + 1).left(end - colon - 1),
                minutes)) {
    return 0;
  }
  // Every part is non-negative, so the sum never lies in the past (0:00 stops at once).
  const int64_t moment = int64_t{now} + days * kSecondsPerDay + hours * 3600 + minutes * 60;
  if (moment > std::numeric_limits<uint32_t>::max()) return 0;
  return static_cast<uint32_t>(moment);
}

uint32_t computeBreakTime(const Str& breakTime, const Str& breakRelative, uint32_t now) {
  const uint32_t absolute = absoluteBreakTime(breakTime, now);
  const uint32_t relative = relativeBreakTime(breakRelative, now);
  if (absolute != 0 && relative != 0) return absolute < relative ? absolute : relative;
  return absolute != 0 ? absolute : relative;
}

}  // namespace quillet
