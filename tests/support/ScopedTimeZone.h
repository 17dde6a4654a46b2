// Sets the process's time zone (the TZ variable) for as long as the guard exists and puts
// the previous one back, so tests of local offsets do not depend on the machine's zone.
// Tests that use it must not run threads that read local times meanwhile.
#pragma once

#include <optional>
#include <string>

namespace quillet::testing {

class ScopedTimeZone {
 public:
  // zone in the POSIX TZ form, e.g. "UTC0" or "CET-1CEST,M3.5.0,M10.5.0/3".
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> saved_;
};

}  // namespace quillet::testing
