// The daily message name counter.
#include "server/queue/MessageNameCounter.h"

#include "base/Clock.h"

namespace quillet {

MessageNameCounter& MessageNameCounter::processCounter() {
  static MessageNameCounter counter;
  return counter;
}

uint32_t MessageNameCounter::next() {
  const Timer current = now();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!(current.date == date_)) {
    date_ = current.date;
    value_ = static_cast<uint32_t>(secondsOfDay(current.time));
  }
  ++value_;
  if (value_ > kMaxValue) value_ = 1;
  return value_;
}

Str MessageNameCounter::nextName() { return Str("MSG") + formatNumber(next()); }

Str MessageNameCounter::formatNumber(uint32_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char text[5];
  for (int i = 4; i >= 0; --i) {
    text[i] = kDigits[value & 0xF];
    value >>= 4;
  }
  return Str(text, 5);
}

}  // namespace quillet
