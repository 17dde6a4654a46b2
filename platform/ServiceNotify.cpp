// systemd notifications through sd_notify (see ServiceNotify.h).
#include "platform/ServiceNotify.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>

namespace quillet {

namespace {

bool environmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// sd_notify returns 0 when there is no socket to notify (not a service), which is fine.
bool send(const std::string& state) { return ::sd_notify(0, state.c_str()) >= 0; }

}  // namespace

bool startedBySystemd() {
  return environmentSet("NOTIFY_SOCKET") || environmentSet("INVOCATION_ID");
}

bool notifyReady() { return send("READY=1"); }

bool notifyStatus(const std::string& text) {
  const size_t end = text.find_first_of("\r\n");
  return send("STATUS=" + text.substr(0, end));
}

bool notifyStopping() { return send("STOPPING=1"); }

}  // namespace quillet
