// The error codes of the whole system, by name, with their texts and their classification.
//
// One 32-bit numbering serves every program: 0 is success, 1 to 16 and 10000 and above are
// network-class failures (retried later), the rest protocol or local failures. WinSock codes
// (10004 to 11004) are the codes of socket failures; the network layer maps Linux errno
// values onto them. Codes 180 to 187 and 190 to 192 are this system's own additions (TLS,
// over-long input, a file that failed while being sent). The dial-up codes (550, 551 and the link's
// 600 to 704) form a numbering of their own, reported with the dial-up texts rather than the table
// below.
//
// Every code the system produces or tests for is named here and nowhere else, and code
// elsewhere uses the names; codes that only carry a text (left for files and messages of
// other origin) appear by number in the text table alone. The texts are part of the
// interface: logs, status lines and delivery status notifications show them.
#pragma once

#include <span>

#include "base/Str.h"

namespace quillet {
namespace err {

constexpr int kOk = 0;

// Network-class failures.
constexpr int kTerminated = 1;         // the running flag was cleared: stop requested
constexpr int kResolveFailed = 3;      // no address for a host name
constexpr int kConnectUnexpected = 4;  // the connect ended in an unexpected state
constexpr int kConnectFailed = 5;      // no connection within the time-out
constexpr int kNoPortConnection = 6;   // connected, but the connection never became ready
constexpr int kTimeout = 7;            // a wait for the socket ran out
constexpr int kClientNotResponding = 8;
constexpr int kReadTimeout = 9;
constexpr int kWriteTimeout = 10;
constexpr int kPeerClosed = 11;  // the peer closed while data was awaited
constexpr int kNoDialUpConnection = 12;
constexpr int kNoPop3Connection = 13;  // no connection to the POP3 host in time
constexpr int kNoMailHostConnection = 14;
constexpr int kNoFtpConnection = 15;
constexpr int kStorageExceeded = 16;  // the mail host's storage is full, or it dropped the data

// Files.
constexpr int kFileWriteFailed = 18;     // a received piece could not be written
constexpr int kOpenSmtpFile = 19;        // the file to send cannot be opened
constexpr int kCreateMessageFile = 22;   // a fetched message's file cannot be created
constexpr int kOpenMessageFile = 30;     // a queued message file cannot be opened
constexpr int kParseHeader = 31;         // a message file could not be read to its end
constexpr int kCreatePartFile = 32;      // a temporary file for a message part
constexpr int kWritePartFile = 35;       // a message part could not be written
constexpr int kCreateComposedFile = 40;  // no file for a composed message could be created
constexpr int kWriteComposedFile = 42;   // a composed message could not be written
constexpr int kCreateTempFile = 54;      // a queue or temporary file cannot be created
constexpr int kWriteTempFile = 55;       // a queue, message or temporary file write failed

// Threads and protocol results.
constexpr int kCreateThread = 20;
constexpr int kNegativeReply = 21;     // "No OK received"
constexpr int kPermanentFailure = 50;  // the mail host refused the message for good
constexpr int kTemporaryFailure = 51;  // the mail host refused the message for now
constexpr int kRescheduledRunning = 57;
constexpr int kInflateFailed = 59;       // compressed data could not be inflated (no text)
constexpr int kOpenCompressedFile = 60;  // the file for a compressed transfer (no text)
constexpr int kNoAuthLogin = 140;        // the mail host offers no AUTH LOGIN
constexpr int kAuthenticationFailed = 141;
constexpr int kReply590 = 155;  // the mail host answered 590 (no text)

// Name server failures (the texts are carried; the delivery status derivation names 86, 95).
constexpr int kNsInvalidServer = 80;
constexpr int kNsInvalidDomain = 81;
constexpr int kNsConnectFailed = 82;
constexpr int kNsNoResponse = 83;
constexpr int kNsEnumerationFailed = 84;
constexpr int kNsTooManyRedirections = 85;
constexpr int kNsNoMailHost = 86;
constexpr int kNsNoData = 87;
constexpr int kNsNullAnswer = 88;
constexpr int kNsShortAnswer = 89;
constexpr int kNsFormatError = 90;
constexpr int kNsServerFailure = 91;
constexpr int kNsNotImplemented = 92;
constexpr int kNsRefused = 93;
constexpr int kNsUnknownError = 94;
constexpr int kNsDomainNotFound = 95;
constexpr int kNsNameError = 96;

// SOCKS.
constexpr int kSocks4ConnectFailed = 110;
constexpr int kSocks4NoResponse = 111;
constexpr int kSocks4Incomplete = 112;
constexpr int kSocks4RequestFailed = 113;
constexpr int kSocks4TargetUnreachable = 114;
constexpr int kSocks4IdentMismatch = 115;
constexpr int kSocks4Unknown = 116;
constexpr int kSocks5ConnectFailed = 120;
constexpr int kSocks5NoResponse = 121;
constexpr int kSocks5GeneralFailure = 122;  // reply codes 1..8 map to 122..129 in order
constexpr int kSocks5NotAllowed = 123;
constexpr int kSocks5NetworkUnreachable = 124;
constexpr int kSocks5HostUnreachable = 125;
constexpr int kSocks5ConnectionRefused = 126;
constexpr int kSocks5TtlExpired = 127;
constexpr int kSocks5CommandNotSupported = 128;
constexpr int kSocks5AddressTypeNotSupported = 129;
constexpr int kSocks5Unknown = 130;
constexpr int kSocks5NoAcceptableMethod = 131;
constexpr int kSocks5AuthFailed = 132;
constexpr int kSocks5BadAddressType = 133;

// TLS and over-long input.
constexpr int kTlsSetupFailed = 180;  // library, context or session set-up
constexpr int kTlsHandshakeFailed = 181;
constexpr int kTlsUntrusted = 182;          // certificate chain not trusted
constexpr int kTlsHostMismatch = 183;       // certificate does not name the host
constexpr int kTlsCaFileFailed = 184;       // the named CA file cannot be loaded
constexpr int kTlsConnectionFailed = 185;   // TLS protocol error after the handshake
constexpr int kTlsDataBeforeUpgrade = 186;  // plain bytes pending when TLS should start
constexpr int kTlsNotOffered = 187;         // TLS is required but the peer does not offer it
constexpr int kLineTooLong = 190;           // a received line exceeded the line cap
constexpr int kBlockTooLarge = 191;         // a dot-terminated block exceeded its cap
constexpr int kFileReadFailed = 192;        // a file being sent could not be read

// Dial-up results (texts: the dial-up error text, not the table).
constexpr int kDialUpNotLoaded = 550;  // the system's dial-up facility is missing
constexpr int kDialUpShared = 551;     // others hold the connection (leave), or joined one (enter)
// Failure codes of the NetworkManager dial-up link. An nmcli exit status s (1..99) is
// reported as kNmcliExitBase + s; the others are the link's own.
constexpr int kNmcliExitBase = 600;
constexpr int kNmcliNotRun = 700;         // nmcli could not be started or was killed
constexpr int kNoIpv4Address = 701;       // the connection is up but has no IPv4 address
constexpr int kUnusablePassword = 702;    // the password holds a line break or NUL
constexpr int kPasswordFileFailed = 703;  // the temporary password file could not be written
constexpr int kNoConnectionName = 704;    // an empty connection name

// WinSock codes: kWsaBase + the Berkeley error number, then the resolver's 11001 to 11004.
constexpr int kWsaBase = 10000;
constexpr int kWsaInterrupted = 10004;
constexpr int kWsaBadDescriptor = 10009;
constexpr int kWsaAccessDenied = 10013;
constexpr int kWsaBadAddress = 10014;
constexpr int kWsaInvalidArgument = 10022;
constexpr int kWsaTooManyFiles = 10024;
constexpr int kWsaWouldBlock = 10035;
constexpr int kWsaInProgress = 10036;
constexpr int kWsaAlready = 10037;
constexpr int kWsaNotSocket = 10038;
constexpr int kWsaDestinationRequired = 10039;
constexpr int kWsaMessageTooLong = 10040;
constexpr int kWsaProtocolType = 10041;
constexpr int kWsaProtocolOption = 10042;
constexpr int kWsaProtocolNotSupported = 10043;
constexpr int kWsaSocketTypeNotSupported = 10044;
constexpr int kWsaOperationNotSupported = 10045;
constexpr int kWsaProtocolFamilyNotSupported = 10046;
constexpr int kWsaAddressFamilyNotSupported = 10047;
constexpr int kWsaAddressInUse = 10048;
constexpr int kWsaAddressNotAvailable = 10049;
constexpr int kWsaNetworkDown = 10050;
constexpr int kWsaNetworkUnreachable = 10051;
constexpr int kWsaNetworkReset = 10052;
constexpr int kWsaConnectionAborted = 10053;
constexpr int kWsaConnectionReset = 10054;
constexpr int kWsaNoBufferSpace = 10055;
constexpr int kWsaIsConnected = 10056;
constexpr int kWsaNotConnected = 10057;
constexpr int kWsaShutdown = 10058;
constexpr int kWsaTooManyReferences = 10059;
constexpr int kWsaTimedOut = 10060;
constexpr int kWsaConnectionRefused = 10061;
constexpr int kWsaSymbolicLinkLoop = 10062;
constexpr int kWsaNameTooLong = 10063;
constexpr int kWsaHostDown = 10064;
constexpr int kWsaHostUnreachable = 10065;
constexpr int kWsaNotEmpty = 10066;
constexpr int kWsaTooManyProcesses = 10067;
constexpr int kWsaTooManyUsers = 10068;
constexpr int kWsaDiskQuota = 10069;
constexpr int kWsaStaleHandle = 10070;
constexpr int kWsaRemotePath = 10071;
constexpr int kWsaSystemNotReady = 10091;
constexpr int kWsaVersionNotSupported = 10092;
constexpr int kWsaNotInitialised = 10093;
constexpr int kWsaHostNotFound = 11001;
constexpr int kWsaTryAgain = 11002;  // non-authoritative host not found
constexpr int kWsaNoRecovery = 11003;
constexpr int kWsaNoData = 11004;  // valid name, no record of the requested type

}  // namespace err

// One row of the text table.
struct ErrorTextEntry {
  int code;
  const char* text;
};

// Every code that has a text of its own, each once.
[[nodiscard]] std::span<const ErrorTextEntry> errorTextTable();

// The text of a code ("Unknown Error" for codes without one, 0 included).
[[nodiscard]] const char* errorMessage(int code);

// "Error: " + text + " [" + code + "]".
[[nodiscard]] Str errorText(int code);

// A network-class failure (1 to 16, 10000 and above): the peer could not be reached, the
// transfer broke or the server is stopping. The work is left as it is and tried again at a
// later run; it says nothing against the message or the mailbox itself.
[[nodiscard]] bool isRetryLater(int code);

// The connection that gave this code cannot carry another command: every network-class
// failure, and the failures this system adds on an established connection (TLS set-up,
// handshake and protocol errors, over-long input, a file that failed in the middle of being
// sent) after which the dialogue is out of step.
// The other work queued for the same connection is given up for this session.
[[nodiscard]] bool isConnectionLevel(int code);

// The mail host refused the message for good (50): it is returned to its sender and not
// tried again. Every other failure leaves the message queued.
[[nodiscard]] bool isPermanent(int code);

}  // namespace quillet
