// WSPOPClient: one POP3 session (see WSPOPClient.h); the steps are in Pop3Session.
#include "pop3/WSPOPClient.h"

#include "pop3/Pop3Session.h"

namespace quillet {

namespace {
constexpr int kPop3sPort = 995;
}  // namespace

int pop3PortFor(int mailboxPort, ConnectionSecurity security, int defaultPort) {
  if (mailboxPort > 0) return mailboxPort;
  switch (security) {
    case ConnectionSecurity::Tls:
      return kPop3sPort;
    case ConnectionSecurity::Plain:
    case ConnectionSecurity::StartTls:
      return defaultPort;
  }
  return defaultPort;
}

WSPOPClient::WSPOPClient(const QueueStore& store) : store_(store) {}

int WSPOPClient::FetchMailbox(const POPSessionRequest& request, ArrayStr& knownUids,
                              POPSessionResult& result) {
  result.transcript.clear();
  Pop3Session session(*this, store_, request, knownUids, result);
  return session.run();
}

}  // namespace quillet
