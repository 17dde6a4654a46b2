// The set-up of the composer tests: a fixed zone (+0100 in December), a test clock at
// 2026-12-08 14:05:09, a private program directory with its queues, and the composer
// with fixed boundary letters and Message-ID parts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/Clock.h"
#include "server/queue/QueueStore.h"
#include "smtp/SMTPEncode.h"
#include "smtp/tests/ComposedSamples.h"
#include "tests/support/ClockDriver.h"
#include "tests/support/ScopedTimeZone.h"
#include "tests/support/TempDir.h"

namespace quillet::testing {

// A hand-written expected message: written with LF line ends, compared in transfer form
// (CR LF).
inline std::string expectedMessage(const std::string& name) {
  const std::string text = readBytes(std::string(QUILLET_SMTP_EXPECTED_DIR) + "/" + name + ".eml");
  EXPECT_FALSE(text.empty()) << name;
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class ComposeTest : public ::testing::Test {
 protected:
  ComposeTest()
      : zone_("CET-1CEST,M3.5.0,M10.5.0/3"),
        clock_(localTime(2026, 12, 8, 14, 5, 9)),
        store_(Str(std::string_view(dir_.path()))) {
    EXPECT_TRUE(store_.createQueueDirectories());
  }

  // Composes with fresh fixed unique values; the file's bytes, or a test failure.
  std::string compose(const ComposedSample& sample) {
    FixedUniqueSource unique;
    SMTPEncode encoder(store_, unique);
    Str path;
    const int result = encoder.compose(sample.message, sample.parameters, path);
    EXPECT_EQ(result, 0) << sample.name;
    return result == 0 ? readBytes(path.toStd()) : std::string();
  }

  std::string attachments() const { return dir_.path() + "/"; }
  std::string outbound() const { return dir_.file("MSG-OUT"); }

  TempDir dir_;
  ScopedTimeZone zone_;
  TestClock clock_;
  QueueStore store_;
};

}  // namespace quillet::testing
