// RouterWakeUp: ICMP echo requests that make a dial-on-demand router open its line before
// a mailbox is fetched. Attempts are repeated until one gets a reply or the configured
// number of seconds has passed; the outcome only tells the caller whether a reply came,
// problems are never reported (the fetch that follows will show them).
//
// It does not dial anything itself. Target names are resolved to IPv4 only. Between two
// failed attempts it pauses (1 second by default) rather than spinning, and a stop of the
// program ends every wait and the wake-up soon.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/Str.h"

namespace quillet {

// The public host asked when neither the settings nor the mailbox table name one
// (a.root-servers.net, an address that has answered echo requests for decades).
inline constexpr const char* kDefaultWakeUpAddress = "198.41.0.4";

struct WakeUpSettings {
  int32_t seconds = 0;   // WakeUpRouter: 0 = no wake-up
  Str address;           // WakeUpRouterIPAddress, may be blank
  Str firstMailboxHost;  // the POP3 server of the first mailbox that names one
};

// The steps of one attempt; the system's ICMP echo in the server, a fake in tests.
class EchoProbe {
 public:
  virtual ~EchoProbe() = default;
  // The target's IPv4 address (network byte order); false when it has none.
  [[nodiscard]] virtual bool resolve(const Str& target, uint32_t& address) = 0;
  // Opens the echo facility for one attempt; false when it cannot be opened.
  [[nodiscard]] virtual bool open() = 0;
  // One echo request of payload to address, waiting up to timeoutMs; true on a reply
  // (replier set, network byte order).
  [[nodiscard]] virtual bool echo(uint32_t address, const std::vector<uint8_t>& payload,
                                  int timeoutMs, uint32_t& replier) = 0;
  virtual void close() = 0;
};

// The system's probe: the resolver and an ICMP echo socket; waits end when running says no.
[[nodiscard]] std::unique_ptr<EchoProbe> makeIcmpEchoProbe(std::function<bool()> running);

class RouterWakeUp {
 public:
  struct Timing {
    int echoTimeoutMs = 5000;
    int echoesPerAttempt = 5;
    int retryPauseMs = 1000;
  };
  static constexpr size_t kPayloadSize = 64;
  static constexpr uint8_t kPayloadByte = 170;

  // running tells whether the program still runs (the process's running flag when empty).
  RouterWakeUp(WakeUpSettings settings, std::unique_ptr<EchoProbe> probe, Timing timing,
               std::function<bool()> running = {});
  // The same with the system's probe and timing.
  explicit RouterWakeUp(WakeUpSettings settings);

  // The address or name asked: the configured address, else the first mailbox's host,
  // else kDefaultWakeUpAddress.
  [[nodiscard]] static Str target(const WakeUpSettings& settings);

  [[nodiscard]] bool enabled() const { return settings_.seconds != 0; }

  // Runs attempts until one gets a reply (true; replier gets the replying address as
  // "a.b.c.d") or the deadline passes or the program stops (false).
  [[nodiscard]] bool run(Str* replier = nullptr);

 private:
  // One attempt: resolve, open, up to echoesPerAttempt echoes, close.
  [[nodiscard]] bool attempt(const Str& target, uint32_t& replier);
  // Sleeps ms unless the program stops first; false when it stopped.
  [[nodiscard]] bool pause(int ms) const;

  WakeUpSettings settings_;
  std::unique_ptr<EchoProbe> probe_;
  Timing timing_;
  std::function<bool()> running_;
};

}  // namespace quillet
