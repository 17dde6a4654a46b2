// The text of every error code and the classification of failures (see ErrorCodes.h).
#include "base/ErrorCodes.h"

#include <string>

namespace quillet {
namespace {

// Codes written as numbers here carry a text although no operation of this system
// returns them; they keep the numbering complete for messages and files of other origin.
const ErrorTextEntry kTexts[] = {
    {err::kTerminated, "Program termination requested"},
    {err::kResolveFailed, "Unable to convert hostname to IP address ( no answer from NS )"},
    {err::kConnectUnexpected, "Unexpected error in connect"},
    {err::kConnectFailed, "Unable to establish a connection with host"},
    {err::kNoPortConnection, "Unable to connect to port"},
    {err::kTimeout, "Timeout"},
    {err::kClientNotResponding, "Client not responding"},
    {err::kReadTimeout, "Timeout in reading data"},
    {err::kWriteTimeout, "Timeout in writing data"},
    {err::kPeerClosed, "Connection reset by peer"},
    {err::kNoDialUpConnection, "Unable to establish a connection with dial-up network"},
    {err::kNoPop3Connection, "Unable to establish a connection with POP3 host"},
    {err::kNoMailHostConnection, "Unable to establish a connection with mail host"},
    {err::kNoFtpConnection, "Unable to establish a connection with FTP host"},
    {err::kStorageExceeded, "Mail system storage has been exceeded"},
    {17, "Unable to create temp file"},
    {err::kCreateMessageFile, "Unable to create temp file"},
    {err::kCreatePartFile, "Unable to create temp file"},
    {err::kCreateComposedFile, "Unable to create temp file"},
    {err::kCreateTempFile, "Unable to create temp file"},
    {145, "Unable to create temp file"},
    {err::kFileWriteFailed, "Unable to write to temp file"},
    {23, "Unable to write to temp file"},
    {35, "Unable to write to temp file"},
    {err::kWriteComposedFile, "Unable to write to temp file"},
    {err::kWriteTempFile, "Unable to write to temp file"},
    {147, "Unable to write to temp file"},
    {err::kOpenSmtpFile, "Unable to open SMTP file"},
    {err::kOpenMessageFile, "Unable to open SMTP file"},
    {41, "Unable to open SMTP file"},
    {146, "Unable to open SMTP file"},
    {err::kCreateThread, "Unable to create thread"},
    {53, "Unable to create thread"},
    {err::kNegativeReply, "No OK received"},
    {31, "Unable to parse SMTP header"},
    {33, "No SendTo address given"},
    {44, "No SendTo address given"},
    {103, "No SendTo address given"},
    {34, "Unable to convert SendTo to MSMail address"},
    {43, "Unable to export ATT file"},
    {45, "Unable to convert SendTo address"},
    {46, "Unable to convert From address"},
    {47, "Unable to convert ReturnPath address"},
    {err::kPermanentFailure, "Permanent message handling problem"},
    {err::kTemporaryFailure, "Temporary message handling problem"},
    {err::kRescheduledRunning, "Rescheduled due to running connection"},
    {err::kNsInvalidServer, "Invalid names server"},
    {err::kNsInvalidDomain, "Invalid domain"},
    {err::kNsConnectFailed, "Unable to connect to name server"},
    {err::kNsNoResponse, "No response from name server"},
    {err::kNsEnumerationFailed, "Enumeration of host failed"},
    {err::kNsTooManyRedirections, "Too many name server redirections"},
    {err::kNsNoMailHost, "Unable to get the name of the mail host from the name server"},
    {err::kNsNoData, "No data received from name server"},
    {err::kNsNullAnswer, "Answer from name server is null"},
    {err::kNsShortAnswer, "Answer from name server is to short"},
    {err::kNsFormatError, "Name server reported a format error"},
    {err::kNsServerFailure, "Name server reported a server failure"},
    {err::kNsNotImplemented, "Name server reported not implemented"},
    {err::kNsRefused, "Name server refused query"},
    {err::kNsUnknownError, "Name server reported an unknown error"},
    {err::kNsDomainNotFound, "Name server reported that the domain does not exist"},
    {err::kNsNameError, "Name server reported a name error"},
    {100, "No To address given"},
    {101, "Invalid To address given"},
    {102, "Invalid CC address given"},
    {err::kSocks4ConnectFailed, "Unable to connect to SOCKS4 host"},
    {err::kSocks4NoResponse, "No response from SOCKS4 host"},
    {err::kSocks4Incomplete, "SOCKS4 answer is not complete"},
    {err::kSocks4RequestFailed, "SOCKS4 request failed"},
    {err::kSocks4TargetUnreachable, "SOCKS host is unable to connect to target host"},
    {err::kSocks4IdentMismatch, "SOCKS4 host reported different Indetd"},
    {err::kSocks4Unknown, "SOCKS4 host reported an unknown error"},
    {err::kSocks5ConnectFailed, "Unable to connect to SOCKS5 host"},
    {err::kSocks5NoResponse, "No response from SOCKS5 host"},
    {err::kSocks5GeneralFailure, "SOCKS5 general failure"},
    {err::kSocks5NotAllowed, "SOCKS5 connection not allowed by ruleset"},
    {err::kSocks5NetworkUnreachable, "SOCKS5 reports that the network is unreachable"},
    {err::kSocks5HostUnreachable, "SOCKS5 reports that the host is unreachable"},
    {err::kSocks5ConnectionRefused, "SOCKS5 reports that the connection is refused"},
    {err::kSocks5TtlExpired, "SOCKS5 reports that the TTL is expiered"},
    {err::kSocks5CommandNotSupported, "SOCKS5 reports that the command is not supported"},
    {err::kSocks5AddressTypeNotSupported, "SOCKS5 reports that the address type is not supported"},
    {err::kSocks5Unknown, "SOCKS5 reports that there is an unknown error"},
    {err::kSocks5NoAcceptableMethod, "SOCKS5 reports that this is not an acceptable method"},
    {err::kSocks5AuthFailed, "SOCKS5 reports that there is a failure in authentication"},
    {err::kSocks5BadAddressType, "SOCKS5 reports that this is not a valid ATYPE"},
    {err::kNoAuthLogin, "No AUTH command in EHLO found, Authentication failed"},
    {err::kAuthenticationFailed, "Authentication failed"},
    {160, "FTP reports that there is an unknown warning"},
    {161, "FTP reports that there is an unknown error"},
    {162, "Unable to parse address or port"},
    {163, "Unable to change directory"},
    {164, "Unable to upload file"},
    {170, "Temporary NNTP server problem"},
    {171, "Permanent NNTP server problem"},
    {172, "Unable to parse NNTP data"},
    {err::kTlsSetupFailed, "Unable to set up TLS"},
    {err::kTlsHandshakeFailed, "TLS handshake failed"},
    {err::kTlsUntrusted, "TLS certificate of host is not trusted"},
    {err::kTlsHostMismatch, "TLS certificate does not match host name"},
    {err::kTlsCaFileFailed, "Unable to load TLS CA file"},
    {err::kTlsConnectionFailed, "TLS connection failed"},
    {err::kTlsDataBeforeUpgrade, "Unexpected data before TLS start"},
    {err::kTlsNotOffered, "The mail host does not offer STARTTLS"},
    {err::kLineTooLong, "Received line is too long"},
    {err::kBlockTooLarge, "Received message is too large"},
    {err::kFileReadFailed, "Unable to read SMTP file"},
    {err::kWsaInterrupted, "Interrupted function call"},
    {err::kWsaBadDescriptor, "Bad file descriptor"},
    {err::kWsaAccessDenied, "Permission denied"},
    {err::kWsaBadAddress, "Bad address"},
    {err::kWsaInvalidArgument, "Invalid argument"},
    {err::kWsaTooManyFiles, "Too many open files"},
    {err::kWsaWouldBlock, "Resource temporarily unavailable (would block)"},
    {err::kWsaInProgress, "Operation now in progress"},
    {err::kWsaAlready, "Operation already in progress"},
    {err::kWsaNotSocket, "Socket operation on non-socket"},
    {err::kWsaDestinationRequired, "Destination address required"},
    {err::kWsaMessageTooLong, "Message too long"},
    {err::kWsaProtocolType, "Protocol wrong type for socket"},
    {err::kWsaProtocolOption, "Bad protocol option"},
    {err::kWsaProtocolNotSupported, "Not supported"},
    {err::kWsaSocketTypeNotSupported, "Type not supported"},
    {err::kWsaOperationNotSupported, "Operation not supported"},
    {err::kWsaProtocolFamilyNotSupported, "Protocol family not supported"},
    {err::kWsaAddressFamilyNotSupported, "Address family not supported by protocol family"},
    {err::kWsaAddressInUse, "Port or address already in use"},
    {err::kWsaAddressNotAvailable, "Assign requested address"},
    {err::kWsaNetworkDown, "Network is down"},
    {err::kWsaNetworkUnreachable, "Network is unreachable"},
    {err::kWsaNetworkReset, "Network dropped connection on reset"},
    {err::kWsaConnectionAborted, "Software caused connection abort"},
    {err::kWsaConnectionReset, "Connection reset by peer"},
    {err::kWsaNoBufferSpace, "No buffer space available"},
    {err::kWsaIsConnected, "Socket is already connected"},
    {err::kWsaNotConnected, "Socket is not connected"},
    {err::kWsaShutdown, "Cannot send after socket shutdown"},
    {err::kWsaTooManyReferences, "Too many references; can't splice"},
    {err::kWsaTimedOut, "Connection timed out"},
    {err::kWsaConnectionRefused, "Connection refused"},
    {err::kWsaSymbolicLinkLoop, "Too many levels of symbolic links"},
    {err::kWsaNameTooLong, "File name too long"},
    {err::kWsaHostDown, "Host is down"},
    {err::kWsaHostUnreachable, "No route to host"},
    {err::kWsaNotEmpty, "Directory not empty"},
    {err::kWsaTooManyProcesses, "Too many processes"},
    {err::kWsaTooManyUsers, "Too many users"},
    {err::kWsaDiskQuota, "Disc quota exceeded"},
    {err::kWsaStaleHandle, "Stale NFS file handle"},
    {err::kWsaRemotePath, "Too many levels of remote in path"},
    {err::kWsaSystemNotReady, "Network subsystem is unavailable"},
    {err::kWsaVersionNotSupported, "WinSock.DLL version out of range"},
    {err::kWsaNotInitialised, "Successful WSAStartup() not yet performed"},
    {err::kWsaHostNotFound, "Host not found"},
    {err::kWsaTryAgain, "Non-authoritative host not found"},
    {err::kWsaNoRecovery, "This is a non-recoverable error"},
    {err::kWsaNoData, "Valid name, no data record of requested type"},
};

}  // namespace

std::span<const ErrorTextEntry> errorTextTable() { return kTexts; }

const char* errorMessage(int code) {
  for (const ErrorTextEntry& entry : kTexts) {
    if (entry.code == code) return entry.text;
  }
  return "Unknown Error";
}

Str errorText(int code) {
  std::string text = "Error: ";
  text += errorMessage(code);
  text += " [" + std::to_string(code) + "]";
  return Str(std::string_view(text));
}

bool isRetryLater(int code) {
  return (code >= err::kTerminated && code <= err::kStorageExceeded) || code >= err::kWsaBase;
}

bool isConnectionLevel(int code) {
  if (isRetryLater(code)) return true;
  return (code >= err::kTlsSetupFailed && code <= err::kTlsNotOffered) ||
         (code >= err::kLineTooLong && code <= err::kFileReadFailed);
}

bool isPermanent(int code) { return code == err::kPermanentFailure; }

}  // namespace quillet
