// Waiting in tests for what another thread or process does: a condition polled until it
// holds, a text that appears in a file, and counting a text in collected output.
#pragma once

#include <functional>
#include <string>

namespace quillet::testing {

// Polls condition every 20 ms until it holds or timeoutMs passed; its last value.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
// True when the file contains text within timeoutMs.
bool waitForText(const std::string& file, const std::string& text, int timeoutMs);
// How often text occurs in all (overlapping occurrences count).
[[nodiscard]] int occurrences(const std::string& all, const std::string& text);

}  // namespace quillet::testing
