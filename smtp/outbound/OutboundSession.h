// OutboundSession: what a delivery thread asks of its SMTP session with the mail host:
// connect and greet, authenticate, send queued messages with RSET between them, QUIT and
// close, and which extensions the server advertised. SmtpClientSession carries it out with
// WSSMTPClient; tests put a scripted session in its place to drive every outcome.
//
// A session belongs to one delivery thread and serves one connection. Results are the
// codes of base/ErrorCodes.h as WSSMTPClient documents them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "server/queue/SMTPInfo.h"
#include "smtp/WSSMTPClient.h"

namespace quillet {

class OutboundSession {
 public:
  virtual ~OutboundSession() = default;

  // Connects to host:port and greets as localHostName; statusText goes to the status
  // display followed by the host. 0 or the failure, with the failing reply.
  [[nodiscard]] virtual int connect(const Str& host, int port, const Str& localHostName,
                                    const Str& statusText, uint32_t options, Str& lastReply,
                                    ArrayStr& transcript) = 0;
  // True when an extension line of the greeting starts with keyword (case ignored).
  [[nodiscard]] virtual bool advertises(const char* keyword) const = 0;
  [[nodiscard]] virtual int authenticate(const Str& user, const Str& password,
                                         uint32_t options) = 0;
  // One queued message; result tells each recipient's outcome.
  [[nodiscard]] virtual int sendMessage(const Str& messageFile, const SMTPInfoAddress& sender,
                                        const ArraySMTPInfoAddress& recipients, uint32_t priority,
                                        uint32_t options, SMTPSendResult& result) = 0;
  [[nodiscard]] virtual int reset(uint32_t options) = 0;
  [[nodiscard]] virtual int quit(uint32_t options) = 0;
  virtual void close() = 0;
};

// Makes the session of one delivery thread; threadId names the thread in the transfer
// trace.
using OutboundSessionFactory = std::function<std::unique_ptr<OutboundSession>(int32_t threadId)>;

}  // namespace quillet
