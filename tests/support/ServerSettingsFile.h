// Test support for the users of the server's settings: a QUILLET.INI written with given
// lines in a private directory and read as a run would read it. Header only, so that only
// the test programs that use it need the configuration library.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "config/ServerSettings.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet::testing {

class ServerSettingsFile {
 public:
  // Settings read from a file with the given lines (CR LF, as Helmcrest writes them); valid
  // until the next read.
  ServerSettings& read(const std::string& lines) {
    writeBytes(dir_.file("QUILLET.INI"), lines);
    settings_ = std::make_unique<ServerSettings>(path());
    EXPECT_TRUE(settings_->read());
    return *settings_;
  }
  // The file's path, for settings made by the test itself.
  Str path() const { return dir_.str("QUILLET.INI"); }

 private:
  TempDir dir_;
  std::unique_ptr<ServerSettings> settings_;
};

}  // namespace quillet::testing
