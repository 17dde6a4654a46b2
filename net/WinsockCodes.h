// The mapping of Linux socket and resolver failures onto the WinSock codes of the system's
// error table (base/ErrorCodes.h), so that every socket text of the table can appear.
// Only the mapping lives here; the codes and their texts are base's.
#pragma once

namespace quillet {

// The WinSock code for a Linux errno value (unmapped values give err::kWsaInvalidArgument).
[[nodiscard]] int winsockCodeFromErrno(int errnoValue);

// The WinSock code for a getaddrinfo/getnameinfo result (EAI_*); 0 for success.
[[nodiscard]] int winsockCodeFromResolver(int eaiValue);

}  // namespace quillet
