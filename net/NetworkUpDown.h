// NetworkUpDown: what a mailbox thread calls before and after it talks to its provider.
// With a dial-up object, "up" enters the shared connection and "down" waits the keep-open
// time and leaves it; without one, "up" may wake a dial-on-demand router and "down" does
// nothing.
//
// With verbose on, the steps are reported through the message sink as the thread's lines
// (the server binds it to its message output). It owns neither the dial-up object nor the
// wake-up; the run's state does. Failure texts are the caller's (DialUp::errorText).
#pragma once

#include <cstdint>
#include <functional>

#include "base/Str.h"
#include "net/DialUp.h"
#include "net/RouterWakeUp.h"

namespace quillet {

class NetworkUpDown {
 public:
  // Writes one OEM message line of the given thread.
  using MessageSink = std::function<void(int32_t threadId, const Str& text)>;

  struct Options {
    bool verbose = false;
    int keepOpenStepMs = 1000;      // one step of the keep-open wait (one second)
    std::function<bool()> running;  // the process's running flag when empty
  };

  // dialUp and wakeUp may be null (no dial-up; no router wake-up).
  NetworkUpDown(DialUp* dialUp, RouterWakeUp* wakeUp, MessageSink sink, Options options);

  // Brings the network up for holder. Returns 0, or a dial-up failure code (550 or the
  // link's code) to be reported with DialUp::errorText. A router wake-up always gives 0.
  [[nodiscard]] int networkUp(DialUpSession& holder, int32_t threadId);

  // Takes the network down for holder after the keep-open wait (cut short by a stop).
  // Returns 0 or a dial-up failure code.
  [[nodiscard]] int networkDown(DialUpSession& holder, int32_t threadId);

 private:
  void message(int32_t threadId, const Str& text) const;
  void waitKeepOpen(const DialUpSession& holder) const;

  DialUp* dialUp_;
  RouterWakeUp* wakeUp_;
  MessageSink sink_;
  Options options_;
};

}  // namespace quillet
