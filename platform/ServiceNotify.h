// The server's status reports to systemd when it runs as a service (Type=notify units):
// ready, a free status text, stopping. They stand in for the service status reports of
// the Windows service control manager.
//
// Outside a service (no NOTIFY_SOCKET) every report is a no-op that succeeds. Status
// texts are cut at the first line break, since one notify message holds one variable
// per line.
#pragma once

#include <string>

namespace quillet {

// True when systemd started this process as a service (NOTIFY_SOCKET or INVOCATION_ID
// is set in the environment).
[[nodiscard]] bool startedBySystemd();

// "READY=1": the service has started. False when the message could not be sent.
bool notifyReady();
// "STATUS=" + text, the one-line status that systemctl status shows.
bool notifyStatus(const std::string& text);
// "STOPPING=1": the service is stopping for good.
bool notifyStopping();

}  // namespace quillet
