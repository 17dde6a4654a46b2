// EventLog: the server's entries in the system log (syslog, facility daemon), standing in
// for the Windows event log. The ident is the service name; the event id and the event's
// strings are kept in the message text ("event 1: Quillet").
//
// Strings may come from settings or peers: CR, LF and other control characters become
// blanks and a message is cut to kMaxMessageLength bytes. It does not open or rotate files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillet {

class EventLog {
 public:
  static constexpr int kEventError = 0;
  static constexpr int kEventStarted = 1;
  static constexpr int kEventStopped = 2;
  static constexpr size_t kMaxMessageLength = 1024;

  // Opens the system log with the service name as ident (kept by this object, since
  // syslog keeps a pointer to it). Only one EventLog should exist at a time.
  explicit EventLog(std::string serviceName);
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Information entry, event 1 with the service name.
  void started();
  // Information entry, event 2 with the service name.
  void stopped();
  // Error entry, event 0 with two strings: service name + " error: " + the last system
  // error in decimal, and the text.
  void error(int lastSystemError, const std::string& text);

  // Error entry of a worker thread with its own event id, written as "event 0x" + the id
  // in hex + ": " + the strings joined by "; " (cleaned and cut as below). Needs no
  // object: it goes to the system log as opened by the run's EventLog.
  static void errorEntry(uint32_t eventId, const std::vector<std::string>& strings);
  // The message text of an entry: "event " + id + ": " + the strings joined by "; ",
  // cleaned and cut as described above.
  [[nodiscard]] static std::string formatEvent(int eventId,
                                               const std::vector<std::string>& strings);

 private:
  void write(int priority, int eventId, const std::vector<std::string>& strings);

  std::string ident_;
};

}  // namespace quillet
