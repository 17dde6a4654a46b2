// The delivery threads' session over WSSMTPClient (see SmtpClientSession.h).
#include "smtp/outbound/SmtpClientSession.h"

#include <memory>

#include "smtp/WSSMTPClient.h"

namespace quillet {

namespace {

class SmtpClientSession final : public OutboundSession {
 public:
  SmtpClientSession(int32_t threadId, StartTlsMode startTls, const Str& trustFile) {
    client_.setId(static_cast<uint32_t>(threadId));
    client_.setStartTls(startTls, trustFile);
  }

  int connect(const Str& host, int port, const Str& localHostName, const Str& statusText,
              uint32_t options, Str& lastReply, ArrayStr& transcript) override {
    return client_.Connect(host, port, localHostName, statusText, options, lastReply, transcript);
  }
  bool advertises(const char* keyword) const override { return client_.advertises(keyword); }
  int authenticate(const Str& user, const Str& password, uint32_t options) override {
    return client_.Authenticate(user, password, options);
  }
  int sendMessage(const Str& messageFile, const SMTPInfoAddress& sender,
                  const ArraySMTPInfoAddress& recipients, uint32_t priority, uint32_t options,
                  SMTPSendResult& result) override {
    return client_.SendMessage(messageFile, sender, recipients, priority, options, result);
  }
  int reset(uint32_t options) override { return client_.Reset(options); }
  int quit(uint32_t options) override { return client_.Quit(options); }
  void close() override { client_.Close(); }

 private:
  WSSMTPClient client_;
};

}  // namespace

StartTlsMode startTlsModeOf(int32_t setting) {
  if (setting == static_cast<int32_t>(StartTlsMode::Never)) return StartTlsMode::Never;
  if (setting == static_cast<int32_t>(StartTlsMode::Required)) return StartTlsMode::Required;
  return StartTlsMode::WhenOffered;
}

OutboundSessionFactory smtpClientSessions(const SMTPOutSettings& settings) {
  const StartTlsMode startTls = settings.startTls;
  const Str trustFile = settings.trustFile;
  return [startTls, trustFile](int32_t threadId) -> std::unique_ptr<OutboundSession> {
    return std::make_unique<SmtpClientSession>(threadId, startTls, trustFile);
  };
}

}  // namespace quillet
