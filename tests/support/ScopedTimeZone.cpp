// The time-zone guard of tests (see ScopedTimeZone.h).
#include "tests/support/ScopedTimeZone.h"

#include <cstdlib>
#include <ctime>

namespace quillet::testing {

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* current = std::getenv("TZ")) saved_ = current;
  setenv("TZ", zone, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (saved_) {
    setenv("TZ", saved_->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace quillet::testing
