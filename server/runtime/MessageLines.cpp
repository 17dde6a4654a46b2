// Log and screen renderings of a message.
#include "server/runtime/MessageLines.h"

#include <cstdio>

namespace quillet {

Str withoutLineBreaks(const Str& text) {
  Str result = text;
  result.replace('\r', ' ');
  result.replace('\n', ' ');
  return result;
}

Str renderLogLine(const Timer& moment, const Str& text, bool timestamped) {
  Str line;
  if (timestamped) {
    line = formatDate(moment.date, 1) + " " + formatTime(moment.time, 2) + " ";
  } else {
    line = Str(' ', kLogPrefixWidth);
  }
  return line + withoutLineBreaks(text);
}

Str renderScreenLine(const Timer& moment, const Str& text, bool timestamped) {
  Str line = timestamped ? formatTime(moment.time, 1) + " " : Str(' ', kScreenPrefixWidth);
  return line + withoutLineBreaks(text);
}

Str threadMessageText(int32_t threadNumber, const Str& text) {
  char number[16];
  std::snprintf(number, sizeof number, "%04d: ", threadNumber < 0 ? 0 : threadNumber);
  return Str(number) + text;
}

}  // namespace quillet
