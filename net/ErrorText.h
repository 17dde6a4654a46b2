// The error codes of the network layer and the text of every error code of the system.
//
// One 32-bit numbering serves the whole system: 0 is success, 1 to 16 and 10000 and above
// are network-class failures, the rest protocol or local failures. WinSock codes (10004 to
// 11004) are kept as the codes of socket failures; Linux errno values are mapped onto them
// here so that every text of the table can appear. Codes 180 to 186, 190 and 191 are this
// layer's own additions (TLS and over-long lines).
#pragma once

#include "base/Str.h"

namespace quillet {

// Codes returned by the network layer.
namespace neterr {
constexpr int kOk = 0;
constexpr int kTerminated = 1;     // the running flag was cleared
constexpr int kResolveFailed = 3;  // no address for a host name
constexpr int kConnectUnexpected = 4;
constexpr int kConnectFailed = 5;  // no connection within the time-out
constexpr int kTimeout = 7;        // waitSocket, or no data for too long
constexpr int kReadTimeout = 9;
constexpr int kWriteTimeout = 10;
constexpr int kPeerClosed = 11;
constexpr int kFileWriteFailed = 18;
constexpr int kFileOpenFailed = 19;
constexpr int kTempFileWriteFailed = 55;
constexpr int kSocks4ConnectFailed = 110;
constexpr int kSocks4RequestFailed = 113;
constexpr int kSocks4TargetUnreachable = 114;
constexpr int kSocks4IdentMismatch = 115;
constexpr int kSocks4Unknown = 116;
constexpr int kSocks5ConnectFailed = 120;
constexpr int kSocks5GeneralFailure = 122;  // reply codes 1..8 map to 122..129
constexpr int kSocks5Unknown = 130;
constexpr int kSocks5NoAcceptableMethod = 131;
constexpr int kSocks5AuthFailed = 132;
constexpr int kSocks5BadAddressType = 133;
constexpr int kTlsSetupFailed = 180;  // library, context or session set-up
constexpr int kTlsHandshakeFailed = 181;
constexpr int kTlsUntrusted = 182;          // certificate chain not trusted
constexpr int kTlsHostMismatch = 183;       // certificate does not name the host
constexpr int kTlsCaFileFailed = 184;       // the named CA file cannot be loaded
constexpr int kTlsConnectionFailed = 185;   // TLS protocol error after the handshake
constexpr int kTlsDataBeforeUpgrade = 186;  // plain bytes pending when TLS should start
constexpr int kLineTooLong = 190;           // a received line exceeded the line cap
constexpr int kBlockTooLarge = 191;         // a dot-terminated block exceeded its cap

// WinSock codes used by name.
constexpr int kWouldBlock = 10035;
constexpr int kInProgress = 10036;
constexpr int kAlready = 10037;
constexpr int kNotSocket = 10038;
constexpr int kIsConnected = 10056;
constexpr int kConnReset = 10054;
}  // namespace neterr

// The text of a code ("Unknown Error" for codes without one).
[[nodiscard]] const char* errorMessage(int code);

// "Error: " + text + " [" + code + "]".
[[nodiscard]] Str errorText(int code);

// The WinSock code for a Linux errno value (unmapped values give 10022, invalid argument).
[[nodiscard]] int winsockCodeFromErrno(int errnoValue);

// The WinSock code for a getaddrinfo/getnameinfo result (EAI_*).
[[nodiscard]] int winsockCodeFromResolver(int eaiValue);

}  // namespace quillet
