// ClockThread: refreshes the status display about once a second: the date and time in the
// header row, the two reserved fields of row 1 (always blank), and the status line with
// the counters, the queue lengths, the thread count and the break time. It looks every
// pause (up to 750 ms) and redraws only when the clock's second has moved on.
//
// Values are read without locks (they are atomics or the providers' own business). It
// does nothing visible when there is no screen (standard output is not a terminal).
#pragma once

#include <cstdint>

#include "base/BaseThread.h"
#include "server/display/ConsoleScreen.h"
#include "server/display/StatusLine.h"

namespace quillet {

class ClockThread : public BaseThread {
 public:
  // screen may be null. The screen and what source refers to must outlive the thread.
  ClockThread(ThreadRegistry* registry, ConsoleScreen* screen, StatusSource source);

  // Redraws the changing fields when the current second (currentTimestamp) is later than
  // that of the last refresh; true when it drew.
  bool refresh();

 protected:
  int run() override;

 private:
  ConsoleScreen* screen_;
  StatusSource source_;
  uint32_t lastRefresh_ = 0;  // only the refreshing thread touches it
};

}  // namespace quillet
