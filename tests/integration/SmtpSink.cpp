// smtp-sink as a test SMTP server (see SmtpSink.h).
#include "SmtpSink.h"

#include <unistd.h>

#include <sstream>

#include "PeerFiles.h"
#include "tests/support/FileBytes.h"
#include "tests/support/LoopbackNetwork.h"
#include "tests/support/Waiting.h"

namespace quillet::testing {
namespace {

// Connections smtp-sink serves at once.
constexpr const char* kBacklog = "16";

bool startsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

SinkMessage parseSinkDump(const std::string& dump) {
  SinkMessage message;
  std::istringstream lines(dump);
  std::string line;
  std::streampos bodyStart = 0;
  bool sawHeaders = false;
  // smtp-sink's own headers end with a three-line Received field; the message follows.
  while (std::getline(lines, line)) {
    if (startsWith(line, "X-Helo-Args: ")) {
      message.heloArgs = line.substr(13);
    } else if (startsWith(line, "X-Mail-Args: ")) {
      message.mailArgs = line.substr(13);
    } else if (startsWith(line, "X-Rcpt-Args: ")) {
      message.rcptArgs.push_back(line.substr(13));
    } else if (startsWith(line, "Received: ")) {
      sawHeaders = true;
      bodyStart = lines.tellg();
      while (lines.peek() == '\t' && std::getline(lines, line)) bodyStart = lines.tellg();
      break;
    } else if (!startsWith(line, "X-Client-")) {
      break;
    }
  }
  if (!sawHeaders) {
    message.body = dump;
    return message;
  }
  message.body = bodyStart < 0 ? "" : dump.substr(static_cast<size_t>(bodyStart));
  // smtp-sink ends every dump with an empty line of its own.
  if (!message.body.empty() && message.body.back() == '\n') message.body.pop_back();
  return message;
}

SmtpSink::SmtpSink(std::vector<std::string> extraArguments)
    : extraArguments_(std::move(extraArguments)) {
  port_ = freePort();
  makeOwnedDirectory(dumpDirectory());
}

SmtpSink::~SmtpSink() = default;

std::string SmtpSink::start() {
  const std::string sink = findProgram("smtp-sink");
  if (sink.empty()) return "smtp-sink (postfix) is not installed";
  if (::geteuid() != 0) return "smtp-sink runs as nobody, which needs root";
  // One file per transaction: smtp-sink appends a random number to the expanded name, so
  // several messages within one second get files of their own.
  std::vector<std::string> argv{sink, "-u", "nobody", "-d", dumpDirectory() + "/%Y%m%d%H%M%S."};
  argv.insert(argv.end(), extraArguments_.begin(), extraArguments_.end());
  argv.emplace_back("127.0.0.1:" + std::to_string(port_));
  argv.emplace_back(kBacklog);
  process_ = std::make_unique<TestProcess>(argv, dir_.file("smtp-sink.log"));
  if (!process_->started() || !waitForPort("127.0.0.1", port_, 10000)) {
    return "smtp-sink did not start: " + log();
  }
  return "";
}

void SmtpSink::stop() { process_.reset(); }

std::vector<SinkMessage> SmtpSink::messages() const {
  std::vector<SinkMessage> messages;
  for (const std::string& dump : filesInWriteOrder(dumpDirectory())) {
    messages.push_back(parseSinkDump(dump));
  }
  return messages;
}

int SmtpSink::messageCount() const { return countFiles(dumpDirectory()); }

bool SmtpSink::waitForMessages(int count, int timeoutMs) const {
  return waitUntil([&] { return messageCount() >= count; }, timeoutMs);
}

std::string SmtpSink::log() const { return readBytes(dir_.file("smtp-sink.log")); }

}  // namespace quillet::testing
