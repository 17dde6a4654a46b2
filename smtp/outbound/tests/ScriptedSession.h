// A scripted SMTP session for the delivery tests: it answers connect, authentication,
// each message (per recipient, by address) and RSET/QUIT as the test's script says, and
// records every step, so the delivery thread's handling of each outcome can be checked
// without a server.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "smtp/outbound/OutboundSession.h"

namespace quillet::testing {

struct SmtpScript {
  std::atomic<int> connectCode{0};  // changed by a test while a manager runs
  std::vector<std::string> extensions = {"XEXCH50"};
  int authCode = 0;
  int resetCode = 0;
  int quitCode = 0;
  // Recipients the server refuses, by address: their outcome at RCPT.
  std::map<std::string, SMTPRecipientOutcome> refusals;
  // The result of the n-th message of a session (1-based) after its recipients; 0 =
  // accepted. A message-level failure applies to every recipient not refused at RCPT.
  std::map<int, int> messageCodes;
  std::string messageStatus;  // status code of a message-level failure
  // While set, connect waits until it is cleared (a session that is busy for long).
  std::atomic<bool> holdConnect{false};

  // What happened, one line per step: "CONNECT host:port as name", "AUTH user password",
  // "MAIL <sender> TO a,b", "RSET", "QUIT", "CLOSE".
  std::vector<std::string> steps() const;
  int sessions() const { return sessionCount.load(); }
  int busyAtOnce() const { return mostAtOnce.load(); }

  mutable std::mutex mutex;
  std::vector<std::string> recorded;  // guarded by mutex
  std::atomic<int> sessionCount{0};
  std::atomic<int> open{0};
  std::atomic<int> mostAtOnce{0};

  // The factory the context takes.
  OutboundSessionFactory factory();
};

}  // namespace quillet::testing
