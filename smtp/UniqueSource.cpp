// Boundaries and Message-IDs of composed messages (see UniqueSource.h).
#include "smtp/UniqueSource.h"

#include <unistd.h>

#include <chrono>
#include <random>

#include "base/Clock.h"
#include "smtp/HeaderText.h"

namespace quillet {
namespace {

class SystemUniqueSource final : public UniqueSource {
 public:
  uint32_t randomValue() override {
    thread_local std::mt19937 generator{std::random_device{}()};
    return static_cast<uint32_t>(generator());
  }
  uint32_t tickCountMs() override {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        MonotonicClock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
  }
  uint32_t processId() override { return static_cast<uint32_t>(::getpid()); }
};

}  // namespace

UniqueSource& systemUniqueSource() {
  static SystemUniqueSource source;
  return source;
}

std::string makeBoundary(uint32_t number, UniqueSource& unique) {
  std::string boundary = "_NextPart_" + std::to_string(number) + "_";
  while (boundary.size() < kBoundaryLength) {
    const uint32_t value = unique.randomValue() % 52;
    boundary += static_cast<char>(value < 26 ? 'A' + value : 'a' + (value - 26));
  }
  return boundary;
}

std::string makeMessageId(const Str& host, UniqueSource& unique) {
  const std::string domain = hostText(host.view());
  return "<" + std::to_string(currentTimestamp()) + "." + std::to_string(unique.tickCountMs()) +
         "." + std::to_string(unique.processId()) + "@" + domain + ">";
}

}  // namespace quillet
