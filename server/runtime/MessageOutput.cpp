// MessageOutput: renders a message once and sends it to the screen and the log files.
#include "server/runtime/MessageOutput.h"

#include <cstdio>
#include <utility>

#include "base/Clock.h"
#include "server/runtime/MessageLines.h"

namespace quillet {
namespace {

void writeToStandardOutput(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

MessageOutput::MessageOutput(LogOptions options, PlainWriter plain)
    : plain_(plain ? std::move(plain) : PlainWriter(writeToStandardOutput)),
      logs_(std::move(options)) {}

void MessageOutput::setMessageArea(MessageAreaSink* area) {
  std::lock_guard<std::mutex> guard(areaMutex_);
  area_ = area;
}

void MessageOutput::write(const Str& text, bool timestamped) {
  const Timer moment = now();
  {
    // Held while showing, so an area is never reset while a line is on its way to it.
    std::lock_guard<std::mutex> guard(areaMutex_);
    if (area_ != nullptr) {
      area_->showLine(renderScreenLine(moment, text, timestamped));
    } else {
      plain_(withoutLineBreaks(text).oemToAnsiCopy().toStd());
    }
  }
  // A failed log write is retried with the next message; the line was shown all the same.
  (void)logs_.append(moment, renderLogLine(moment, text, timestamped).oemToAnsiCopy());
}

void MessageOutput::threadWrite(int32_t threadNumber, const Str& text) {
  write(threadMessageText(threadNumber, text), true);
}

}  // namespace quillet
