// Schedule: building windows from the record's text fields and the due test.
#include "config/Schedule.h"

#include <cctype>

#include "base/DateTime.h"

namespace quillet {
namespace {

constexpr int kWeekdays = 7;
constexpr int kTimeTextLength = 5;

// Seconds after midnight of an "HH:MM" text; 0 when it is not a valid time.
int32_t secondsFromText(const Str& text) {
  Str padded = text;
  padded.setLength(kTimeTextLength);
  Time time;
  if (!parseTime(padded, time)) return 0;
  return secondsOfDay(time);
}

int32_t clampSeconds(int64_t seconds) {
  if (seconds < 0) return 0;
  if (seconds > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(seconds);
}

}  // namespace

Schedule::Schedule(const Schedule& other) {
  std::lock_guard lock(other.mutex_);
  items_ = other.items_;
  lastRun_ = other.lastRun_;
}

Schedule& Schedule::operator=(const Schedule& other) {
  if (this == &other) return *this;
  std::scoped_lock lock(mutex_, other.mutex_);
  items_ = other.items_;
  lastRun_ = other.lastRun_;
  return *this;
}

void Schedule::add(const Str& daysText, const Str& fromText, const Str& untilText,
                   int64_t everySeconds, bool anyMark) {
  Str marks = daysText;
  marks.setLength(kWeekdays);
  ScheduleItem item;
  for (int i = 0; i < kWeekdays; ++i) {
    const char mark = marks.at(i);
    const bool set = anyMark ? !std::isspace(static_cast<unsigned char>(mark)) : mark == 'X';
    if (set) item.days |= 1 << (i + 1);
  }
  item.from = secondsFromText(fromText);
  item.until = secondsFromText(untilText);
  item.every = clampSeconds(everySeconds);
  std::lock_guard lock(mutex_);
  items_.push_back(item);
}

bool Schedule::due(uint32_t now) const {
  Date date;
  Time time;
  fromTimestamp(now, date, time);
  const int32_t timeOfDay = secondsOfDay(time);
  const int weekday = date.dayOfWeek;
  std::lock_guard lock(mutex_);
  for (const ScheduleItem& item : items_) {
    if (item.from > timeOfDay || timeOfDay >= item.until) continue;
    if ((item.days & (1 << weekday)) == 0) continue;
    // lastRun 0 means never started: due at the first look whatever the interval.
    // 64 bits: lastRun + every must not wrap around.
    if (lastRun_ != 0 && static_cast<int64_t>(now) < static_cast<int64_t>(lastRun_) + item.every) {
      continue;
    }
    return true;
  }
  return false;
}

void Schedule::markRun(uint32_t now) {
  std::lock_guard lock(mutex_);
  lastRun_ = now;
}

uint32_t Schedule::lastRun() const {
  std::lock_guard lock(mutex_);
  return lastRun_;
}

std::vector<ScheduleItem> Schedule::items() const {
  std::lock_guard lock(mutex_);
  return items_;
}

}  // namespace quillet
