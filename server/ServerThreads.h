// The worker threads of a server run in their start order: the clock thread first (not
// waited for), then the decode thread, the SMTP outbound and POP3 inbound connection
// managers and, with Pickup on, the pickup manager, each started in the waiting mode with
// its own failure message. The threads that are not part of the server yet join this list
// here as they arrive; until then the list holds the clock thread.
#pragma once

#include "server/AppData.h"
#include "server/ThreadStartList.h"
#include "server/display/ConsoleScreen.h"

namespace quillet {

inline constexpr const char* kClockThreadStartError = "Error: Unable to start clock thread";
inline constexpr const char* kDecodeThreadStartError = "Error: Unable to start decode thread";
inline constexpr const char* kInboundManagerStartError =
    "Error: Unable to start POP3 inbound connection manager";
inline constexpr const char* kPickupManagerStartError = "Error: Unable to start Pickup manager";

// The start list of a run. screen may be null (no terminal). app and screen must outlive
// the started threads.
[[nodiscard]] ThreadStartList serverThreads(AppData& app, ConsoleScreen* screen);

}  // namespace quillet
