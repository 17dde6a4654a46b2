// EventLog: server events in syslog with their event ids in the text.
#include "platform/EventLog.h"

#include <syslog.h>

#include <cstdio>
#include <utility>

namespace quillet {

EventLog::EventLog(std::string serviceName) : ident_(std::move(serviceName)) {
  ::openlog(ident_.c_str(), LOG_PID | LOG_NDELAY, LOG_DAEMON);
}

EventLog::~EventLog() { ::closelog(); }

void EventLog::started() { write(LOG_INFO, kEventStarted, {ident_}); }

void EventLog::stopped() { write(LOG_INFO, kEventStopped, {ident_}); }

void EventLog::error(int lastSystemError, const std::string& text) {
  write(LOG_ERR, kEventError, {ident_ + " error: " + std::to_string(lastSystemError), text});
}

namespace {

std::string formatWithId(const std::string& idText, const std::vector<std::string>& strings) {
  std::string message = "event " + idText + ":";
  const char* separator = " ";
  for (const std::string& text : strings) {
    message += separator;
    message += text;
    separator = "; ";
  }
  for (char& c : message) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  if (message.size() > EventLog::kMaxMessageLength) message.resize(EventLog::kMaxMessageLength);
  return message;
}

}  // namespace

std::string EventLog::formatEvent(int eventId, const std::vector<std::string>& strings) {
  return formatWithId(std::to_string(eventId), strings);
}

void EventLog::errorEntry(uint32_t eventId, const std::vector<std::string>& strings) {
  char idText[16];
  std::snprintf(idText, sizeof idText, "0x%08X", eventId);
  ::syslog(LOG_DAEMON | LOG_ERR, "%s", formatWithId(idText, strings).c_str());
}

void EventLog::write(int priority, int eventId, const std::vector<std::string>& strings) {
  ::syslog(LOG_DAEMON | priority, "%s", formatEvent(eventId, strings).c_str());
}

}  // namespace quillet
