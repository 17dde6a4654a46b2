// The SOCKS4 and SOCKS5 handshakes, run on a WSClient that is already connected to the
// proxy: each asks the proxy for a connection to the target and reads its verdict.
//
// Sends wait up to 10 s, receives up to 60 s (sliced); the client's stop and time-out codes
// come back unchanged. The caller closes the socket when a handshake fails. A reply is read
// field by field with exact lengths, so nothing of the target's first bytes is consumed.
#pragma once

#include <cstdint>

#include "base/Str.h"

namespace quillet {

class WSClient;

// SOCKS4: the client resolves the target to IPv4 itself (3 when it cannot, before
// anything is sent). 0, 113..116 for a refusal, or the transfer's code (9, 11, ...).
[[nodiscard]] int socks4Connect(WSClient& client, const Str& targetHost, int targetPort,
                                uint32_t options);

// SOCKS5: the proxy resolves target names. 0, 122..130 for the proxy's reply codes, 131
// (no acceptable method), 132 (authentication failed), 133 (bad address type in the
// reply), 3 (target name unusable), or the transfer's code.
[[nodiscard]] int socks5Connect(WSClient& client, const Str& targetHost, int targetPort,
                                uint32_t options);

}  // namespace quillet
