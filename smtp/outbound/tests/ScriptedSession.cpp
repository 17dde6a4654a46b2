// The scripted SMTP session of the delivery tests (see ScriptedSession.h).
#include "ScriptedSession.h"

#include <chrono>
#include <thread>

#include "base/ErrorCodes.h"

namespace quillet::testing {

namespace {

class ScriptedSession final : public OutboundSession {
 public:
  explicit ScriptedSession(SmtpScript& script) : script_(script) {}

  int connect(const Str& host, int port, const Str& localHostName, const Str&, uint32_t, Str&,
              ArrayStr&) override {
    const int now = ++script_.open;
    int seen = script_.mostAtOnce.load();
    while (now > seen && !script_.mostAtOnce.compare_exchange_weak(seen, now)) {
    }
    ++script_.sessionCount;
    record("CONNECT " + host.toStd() + ":" + std::to_string(port) + " as " + localHostName.toStd());
    while (script_.holdConnect.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return script_.connectCode.load();
  }
  bool advertises(const char* keyword) const override {
    for (const std::string& line : script_.extensions) {
      if (Str(std::string_view(line)).startsWith(keyword, true)) return true;
    }
    return false;
  }
  int authenticate(const Str& user, const Str& password, uint32_t) override {
    record("AUTH " + user.toStd() + " " + password.toStd());
    return script_.authCode;
  }
  int sendMessage(const Str&, const SMTPInfoAddress& sender, const ArraySMTPInfoAddress& recipients,
                  uint32_t, uint32_t, SMTPSendResult& result) override {
    ++messages_;
    std::string to;
    int accepted = 0;
    bool temporary = false;
    for (int i = 1; i <= recipients.count(); ++i) {
      const std::string address = recipients[i].address.toStd();
      to += (i > 1 ? "," : "") + address;
      auto refusal = script_.refusals.find(address);
      if (refusal != script_.refusals.end()) {
        result.recipients.add(refusal->second);
        result.transcript.add(Str(std::string_view("RCPT TO:<" + address + ">")));
        result.transcript.add(refusal->second.reply);
        temporary = temporary || !isPermanent(refusal->second.result);
      } else {
        result.recipients.add(SMTPRecipientOutcome{});
        ++accepted;
      }
    }
    record("MAIL <" + sender.address.toStd() + "> TO " + to);
    if (accepted == 0) {
      return temporary ? err::kTemporaryFailure : err::kPermanentFailure;
    }
    auto code = script_.messageCodes.find(messages_);
    const int messageCode = code == script_.messageCodes.end() ? 0 : code->second;
    if (messageCode != 0) {
      result.statusCode = Str(std::string_view(script_.messageStatus));
      result.lastReply = "data refused";
      result.transcript.add("DATA");
      result.transcript.add(result.lastReply);
      for (int i = 1; i <= result.recipients.count(); ++i) {
        if (result.recipients[i].result == 0) result.recipients[i].result = messageCode;
      }
    }
    result.rate = 4096;
    return messageCode;
  }
  int reset(uint32_t) override {
    record("RSET");
    return script_.resetCode;
  }
  int quit(uint32_t) override {
    record("QUIT");
    return script_.quitCode;
  }
  void close() override {
    if (closed_) return;
    closed_ = true;
    --script_.open;
    record("CLOSE");
  }
  ~ScriptedSession() override { close(); }

 private:
  void record(const std::string& step) {
    std::lock_guard<std::mutex> lock(script_.mutex);
    script_.recorded.push_back(step);
  }

  SmtpScript& script_;
  int messages_ = 0;
  bool closed_ = false;
};

}  // namespace

std::vector<std::string> SmtpScript::steps() const {
  std::lock_guard<std::mutex> lock(mutex);
  return recorded;
}

OutboundSessionFactory SmtpScript::factory() {
  return [this](int32_t) -> std::unique_ptr<OutboundSession> {
    return std::make_unique<ScriptedSession>(*this);
  };
}

}  // namespace quillet::testing
