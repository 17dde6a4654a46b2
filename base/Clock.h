// Where the programs get the current local date and time. The source can be replaced so
// tests of schedules and expiry run without sleeping; by default it is the system clock.
// This only affects now() and currentTimestamp(); waitSeconds() always sleeps on the real
// clock.
#pragma once

#include <cstdint>
#include <functional>

#include "base/DateTime.h"

namespace quillet {

using LocalTimeSource = std::function<Timer()>;

// Replaces the source of now(); an empty function restores the system clock. Thread-safe.
void setLocalTimeSource(LocalTimeSource source);

// The system's local date and time, millisecond precision, whatever source is set.
[[nodiscard]] Timer systemLocalTime();

// The local date and time of a moment given as seconds and nanoseconds since 1970-01-01
// UTC (as the system reports file times), millisecond precision.
[[nodiscard]] Timer localTimeAt(int64_t seconds, long nanoseconds);

}  // namespace quillet
