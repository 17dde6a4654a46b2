// Writes the lines of a composed message into its file in transfer form: every line ends
// with CR LF, a line starting with "." gets a second "." in front (dot-stuffing, once, for
// every line whatever part of the message it belongs to), and the message ends with a
// line holding a single ".".
//
// A line longer than kMaxLineLength characters (an attached message's junk, say) is
// written as several lines of at most that length, dot included, so the file never holds
// a line that SMTP does not allow. The first failed write is remembered and every later
// line is dropped.
#pragma once

#include <string_view>

#include "base/File.h"
#include "decode/ContentEncoders.h"

namespace quillet {

class TransferFileWriter final : public LineSink {
 public:
  static constexpr size_t kMaxLineLength = 998;

  explicit TransferFileWriter(File& file) : file_(file) {}

  // Writes one line (without its line end).
  void line(std::string_view text) override;
  // Writes the final "." line.
  void finish();
  // True once a write has failed.
  [[nodiscard]] bool failed() const { return failed_; }

 private:
  void physicalLine(std::string_view text);

  File& file_;
  bool failed_ = false;
};

}  // namespace quillet
