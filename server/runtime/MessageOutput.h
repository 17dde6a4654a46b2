// MessageOutput: the one output every part of the server reports through. Each message is
// shown in the message area of the status display (or written to standard output when
// there is none) and appended with a time stamp to the day's log files.
//
// Message texts are OEM (code page 850) like all server text; the log files, the terminal
// and standard output get UTF-8. CR and LF inside a message become blanks. A log that
// cannot be written never stops a message from being shown.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "base/DateTime.h"
#include "base/Str.h"
#include "server/runtime/LogFiles.h"
#include "server/runtime/MessageAreaSink.h"

namespace quillet {

class MessageOutput {
 public:
  // Where the plain line goes when there is no display (default: standard output).
  using PlainWriter = std::function<void(const std::string& utf8Line)>;
  // An output with the given log settings, stamping lines with the local time of
  // base/Clock.h and writing plain lines through plain (standard output when empty).
  explicit MessageOutput(LogOptions options, PlainWriter plain = {});

  // Shows messages in this area from now on; null = plain lines again. The area must
  // outlive its use here (reset it before destroying the area).
  void setMessageArea(MessageAreaSink* area);

  // Writes a timestamped line (timestamped) or a continuation line. Thread-safe.
  void write(const Str& text, bool timestamped = true);
  // A worker thread's timestamped line: "0003: " + text for thread number 3.
  void threadWrite(int32_t threadNumber, const Str& text);

  // The dated and current log files for a date (the log mailing packs them).
  [[nodiscard]] Str datedLogPath(const Date& date) const { return logs_.datedPath(date); }
  [[nodiscard]] Str currentLogPath() const { return logs_.currentPath(); }

 private:
  PlainWriter plain_;
  LogFiles logs_;
  std::mutex areaMutex_;
  MessageAreaSink* area_ = nullptr;  // guarded by areaMutex_
};

}  // namespace quillet
