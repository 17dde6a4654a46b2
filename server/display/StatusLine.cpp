// Status line rendering.
#include "server/display/StatusLine.h"

namespace quillet {

StatusValues StatusSource::read() const {
  StatusValues values;
  if (counters != nullptr) {
    values.sent = counters->sent.load(std::memory_order_relaxed);
    values.received = counters->received.load(std::memory_order_relaxed);
    values.connections = counters->connections.load(std::memory_order_relaxed);
  }
  if (inboundQueueLength) values.inboundQueue = inboundQueueLength();
  if (outboundQueueLength) values.outboundQueue = outboundQueueLength();
  if (threadCount) values.threads = threadCount();
  return values;
}

Str statusField(uint32_t value, int width) {
  Str text = Str::fromUInt(value);
  return text.setLength(width);
}

void placeText(Str& row, int column, const Str& text) {
  if (column < 0) return;
  char* cells = row.data();
  for (int i = 0; i < text.length() && column + i < row.length(); ++i) {
    cells[column + i] = text.at(i);
  }
}

Str renderStatusRow(const StatusValues& values, uint32_t breakAt, int width) {
  Str row(' ', width < 0 ? 0 : width);
  placeText(row, 1, "Sent: " + statusField(values.sent, 6));
  placeText(row, 14, "Recv: " + statusField(values.received, 6));
  placeText(row, 27, "In-Q: " + statusField(values.inboundQueue, 4));
  placeText(row, 38, "Out-Q: " + statusField(values.outboundQueue, 4));
  placeText(row, 53, "Con: " + statusField(values.connections, 6));
  placeText(row, 65, "Thr: " + statusField(values.threads, 3));
  if (breakAt != 0) {
    Date date;
    Time time;
    fromTimestamp(breakAt, date, time);
    // "Break:" at W-25, the date at W-18 and the time at W-9, written as one run with the
    // blanks between them, so that on a screen narrower than the counters need no digit of
    // a counter is left standing inside the break time.
    placeText(row, width - 25, "Break: " + formatDate(date, 1) + " " + formatTime(time, 2) + " ");
  }
  return row;
}

}  // namespace quillet
