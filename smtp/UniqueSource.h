// What makes each composed message unique: the random letters of its MIME boundary and
// the tick count and process id in its Message-ID. Behind an interface so that tests
// compose byte-for-byte predictable messages.
#pragma once

#include <cstdint>
#include <string>

#include "base/Str.h"

namespace quillet {

class UniqueSource {
 public:
  virtual ~UniqueSource() = default;
  // A random value (any 32 bits).
  [[nodiscard]] virtual uint32_t randomValue() = 0;
  // Milliseconds of the monotonic clock, as a 32-bit count that wraps.
  [[nodiscard]] virtual uint32_t tickCountMs() = 0;
  [[nodiscard]] virtual uint32_t processId() = 0;
};

// The system's randomness, the one clock and this process.
[[nodiscard]] UniqueSource& systemUniqueSource();

// "_NextPart_" + number in decimal + "_", then random letters (a random value modulo 52:
// 0..25 "A".."Z", 26..51 "a".."z") up to kBoundaryLength characters.
inline constexpr size_t kBoundaryLength = 39;
[[nodiscard]] std::string makeBoundary(uint32_t number, UniqueSource& unique);

// "<" + the current queue timestamp + "." + the tick count + "." + the process id + "@" +
// hostText(host) + ">" (HeaderText.h).
[[nodiscard]] std::string makeMessageId(const Str& host, UniqueSource& unique);

}  // namespace quillet
