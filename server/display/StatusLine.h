// The texts of the status display that change while the server runs: the date and time in
// the header row, and the status line with the counters and the break time. Pure
// renderings into rows of the screen's width, so the columns can be checked exactly.
#pragma once

#include <cstdint>
#include <functional>

#include "base/DateTime.h"
#include "base/Str.h"
#include "server/runtime/RunState.h"

namespace quillet {

// The values of one status line.
struct StatusValues {
  uint32_t sent = 0;
  uint32_t received = 0;
  uint32_t inboundQueue = 0;
  uint32_t outboundQueue = 0;
  uint32_t connections = 0;
  uint32_t threads = 0;
};

// Where the clock thread reads the values; providers left empty count as 0.
struct StatusSource {
  const ServerCounters* counters = nullptr;
  std::function<uint32_t()> inboundQueueLength;
  std::function<uint32_t()> outboundQueueLength;
  std::function<uint32_t()> threadCount;
  uint32_t breakAt = 0;  // timestamp of the break time; 0 = none

  [[nodiscard]] StatusValues read() const;
};

// Column of the date (W-18) and of the time (W-9) in the header row and the status line.
[[nodiscard]] inline int dateColumn(int width) { return width - 18; }
[[nodiscard]] inline int timeColumn(int width) { return width - 9; }

// The number in decimal, left-aligned and padded with blanks to width (cut when longer).
[[nodiscard]] Str statusField(uint32_t value, int width);

// Copies text into row at column, cut at the row's end (nothing outside the row).
void placeText(Str& row, int column, const Str& text);

// The status line, width characters: the six fields at their columns and, when breakAt is
// not 0, "Break:" at W-25 with the break date at W-18 and time at W-9, written last as one
// run of text with the blanks between, so on a narrow screen it covers what lies beneath.
[[nodiscard]] Str renderStatusRow(const StatusValues& values, uint32_t breakAt, int width);

}  // namespace quillet
