// Polling helpers for tests (see Waiting.h).
#include "tests/support/Waiting.h"

#include <chrono>
#include <thread>

#include "tests/support/FileBytes.h"

namespace quillet::testing {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool waitForText(const std::string& file, const std::string& text, int timeoutMs) {
  return waitUntil([&] { return readBytes(file).find(text) != std::string::npos; }, timeoutMs);
}

int occurrences(const std::string& all, const std::string& text) {
  int n = 0;
  for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
  return n;
}

}  // namespace quillet::testing
