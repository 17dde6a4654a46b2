// A scripted loopback peer for tests: listens on a port the system chooses (127.0.0.1 or
// ::1), accepts one connection (or a given number, one after the other) on its own thread
// and runs a script on each. Scripts play
// servers and proxies that misbehave in ways real ones never do.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace quillet::testing {

class ScriptedPeer {
 public:
  using Script = std::function<void(int fd)>;

  explicit ScriptedPeer(Script script, int family = AF_INET, int connections = 1);
  ~ScriptedPeer();  // waits for the script to end
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  int port() const { return port_; }
  // Waits for the script to end (also done by the destructor).
  void join();

  // Helpers for scripts (blocking).
  static void send(int fd, std::string_view bytes);
  static void sendSlowly(int fd, std::string_view bytes, int pauseMs);  // one byte at a time
  // Reads exactly n bytes, or fewer when the other side closes or 5 s pass in silence.
  static std::string read(int fd, size_t n);
  // Reads one line up to and including LF (same limits as read).
  static std::string readLine(int fd);
  // Reads until the other side closes (or 5 s of silence); everything read.
  static std::string readToEnd(int fd);
  static void sleepMs(int ms);

  // Scripts that many tests play.
  // Reads until the other side closes (or 5 s of silence), answering nothing.
  static Script listensSilently();
  // Sends bytes, then reads until the other side closes (or 5 s of silence).
  static Script saysThenListens(std::string bytes);
  // Keeps the connection open, reading nothing, until release becomes true.
  static Script holdsUntil(const std::atomic<bool>& release);

 private:
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace quillet::testing
