// ClockThread: once-a-second refresh of the header clock and the status line.
#include "server/display/ClockThread.h"

#include <utility>

#include "base/Clock.h"
#include "base/DateTime.h"

namespace quillet {

ClockThread::ClockThread(ThreadRegistry* registry, ConsoleScreen* screen, StatusSource source)
    : BaseThread(registry), screen_(screen), source_(std::move(source)) {}

int ClockThread::run() {
  while (keepRunning()) {
    refresh();
    if (!pause()) break;
  }
  return 0;
}

bool ClockThread::refresh() {
  const uint32_t moment = currentTimestamp();
  if (moment <= lastRefresh_) return false;
  lastRefresh_ = moment;
  if (screen_ == nullptr) return false;

  Date date;
  Time time;
  fromTimestamp(moment, date, time);
  const StatusValues values = source_.read();
  const int width = screen_->width();

  ConsoleScreen::ScreenLock lock(*screen_);
  screen_->select(TextAttribute::Header);
  screen_->writeAt(0, dateColumn(width), formatDate(date, 1));
  screen_->writeAt(0, timeColumn(width), formatTime(time, 2));
  // Reserved for the next scheduled inbound run, which nothing fills in.
  const Str blankField(' ', 8);
  screen_->writeAt(1, dateColumn(width), blankField);
  screen_->writeAt(1, timeColumn(width), blankField);
  screen_->writeAt(screen_->height() - 1, 0, renderStatusRow(values, source_.breakAt, width));
  screen_->select(TextAttribute::Message);
  return true;
}

}  // namespace quillet
