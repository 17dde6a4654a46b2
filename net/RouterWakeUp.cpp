// Router wake-up with ICMP echo requests (see RouterWakeUp.h).
#include "net/RouterWakeUp.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/ProcessContext.h"
#include "net/Resolver.h"
#include "platform/IcmpEcho.h"

namespace quillet {
namespace {

class IcmpEchoProbe final : public EchoProbe {
 public:
  explicit IcmpEchoProbe(std::function<bool()> running) : running_(std::move(running)) {}

  bool resolve(const Str& target, uint32_t& address) override {
    std::vector<NetAddress> addresses;
    Str canonical;
    if (resolveHost(target, 0, AddressFamilies::IPv4Only, addresses, canonical) != 0) {
      return false;
    }
    for (const NetAddress& candidate : addresses) {
      if (candidate.family() == AF_INET) {
        address = candidate.ipv4NetworkOrder();
        return true;
      }
    }
    return false;
  }

  bool open() override { return socket_.open() == 0; }

  bool echo(uint32_t address, const std::vector<uint8_t>& payload, int timeoutMs,
            uint32_t& replier) override {
    return socket_.echo(address, payload, timeoutMs, replier, running_) == 0;
  }

  void close() override { socket_.close(); }

 private:
  std::function<bool()> running_;
  IcmpEcho socket_;
};

Str dotted(uint32_t networkOrder) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&networkOrder);
  Str text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text += '.';
    text += Str::fromInt(bytes[i]);
  }
  return text;
}

}  // namespace

std::unique_ptr<EchoProbe> makeIcmpEchoProbe(std::function<bool()> running) {
  return std::make_unique<IcmpEchoProbe>(std::move(running));
}

RouterWakeUp::RouterWakeUp(WakeUpSettings settings, std::unique_ptr<EchoProbe> probe, Timing timing,
                           std::function<bool()> running)
    : settings_(std::move(settings)),
      probe_(std::move(probe)),
      timing_(timing),
      running_(running ? std::move(running) : std::function<bool()>([] {
        return ProcessContext::instance().running();
      })) {}

RouterWakeUp::RouterWakeUp(WakeUpSettings settings)
    : RouterWakeUp(std::move(settings),
                   makeIcmpEchoProbe([] { return ProcessContext::instance().running(); }),
                   Timing{}) {}

Str RouterWakeUp::target(const WakeUpSettings& settings) {
  Str target = settings.address;
  if (target.trim().empty()) {
    target = settings.firstMailboxHost;
    if (target.trim().empty()) target = kDefaultWakeUpAddress;
  }
  return target;
}

bool RouterWakeUp::pause(int ms) const {
  const WaitDeadline until{std::chrono::milliseconds(ms)};
  while (running_()) {
    const int sleepMs = until.sliceMs(250);
    if (sleepMs <= 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
  }
  return false;
}

bool RouterWakeUp::attempt(const Str& target, uint32_t& replier) {
  uint32_t address = 0;
  if (!probe_->resolve(target, address) || !probe_->open()) return false;
  const std::vector<uint8_t> payload(kPayloadSize, kPayloadByte);
  bool answered = false;
  for (int i = 0; i < timing_.echoesPerAttempt && !answered && running_(); ++i) {
    answered = probe_->echo(address, payload, timing_.echoTimeoutMs, replier);
  }
  probe_->close();
  return answered;
}

bool RouterWakeUp::run(Str* replier) {
  if (!enabled() || !probe_) return false;
  const Str asked = target(settings_);
  const WaitDeadline deadline{std::chrono::seconds(std::max<int32_t>(settings_.seconds, 0))};
  while (running_()) {
    uint32_t from = 0;
    if (attempt(asked, from)) {
      if (replier != nullptr) *replier = dotted(from);
      return true;
    }
    if (deadline.reached()) return false;
    if (!pause(timing_.retryPauseMs)) return false;
    if (deadline.reached()) return false;
  }
  return false;
}

}  // namespace quillet
