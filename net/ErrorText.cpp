// The system's error texts and the mapping of Linux error numbers onto WinSock codes.
#include "net/ErrorText.h"

#include <netdb.h>

#include <cerrno>
#include <string>

namespace quillet {
namespace {

struct CodeText {
  int code;
  const char* text;
};

const CodeText kTexts[] = {
    {1, "Program termination requested"},
    {3, "Unable to convert hostname to IP address ( no answer from NS )"},
    {4, "Unexpected error in connect"},
    {5, "Unable to establish a connection with host"},
    {6, "Unable to connect to port"},
    {7, "Timeout"},
    {8, "Client not responding"},
    {9, "Timeout in reading data"},
    {10, "Timeout in writing data"},
    {11, "Connection reset by peer"},
    {12, "Unable to establish a connection with dial-up network"},
    {13, "Unable to establish a connection with POP3 host"},
    {14, "Unable to establish a connection with mail host"},
    {15, "Unable to establish a connection with FTP host"},
    {16, "Mail system storage has been exceeded"},
    {17, "Unable to create temp file"},
    {22, "Unable to create temp file"},
    {32, "Unable to create temp file"},
    {40, "Unable to create temp file"},
    {54, "Unable to create temp file"},
    {145, "Unable to create temp file"},
    {18, "Unable to write to temp file"},
    {23, "Unable to write to temp file"},
    {35, "Unable to write to temp file"},
    {42, "Unable to write to temp file"},
    {55, "Unable to write to temp file"},
    {147, "Unable to write to temp file"},
    {19, "Unable to open SMTP file"},
    {30, "Unable to open SMTP file"},
    {41, "Unable to open SMTP file"},
    {146, "Unable to open SMTP file"},
    {20, "Unable to create thread"},
    {53, "Unable to create thread"},
    {21, "No OK received"},
    {31, "Unable to parse SMTP header"},
    {33, "No SendTo address given"},
    {44, "No SendTo address given"},
    {103, "No SendTo address given"},
    {34, "Unable to convert SendTo to MSMail address"},
    {43, "Unable to export ATT file"},
    {45, "Unable to convert SendTo address"},
    {46, "Unable to convert From address"},
    {47, "Unable to convert ReturnPath address"},
    {50, "Permanent message handling problem"},
    {51, "Temporary message handling problem"},
    {57, "Rescheduled due to running connection"},
    {80, "Invalid names server"},
    {81, "Invalid domain"},
    {82, "Unable to connect to name server"},
    {83, "No response from name server"},
    {84, "Enumeration of host failed"},
    {85, "Too many name server redirections"},
    {86, "Unable to get the name of the mail host from the name server"},
    {87, "No data received from name server"},
    {88, "Answer from name server is null"},
    {89, "Answer from name server is to short"},
    {90, "Name server reported a format error"},
    {91, "Name server reported a server failure"},
    {92, "Name server reported not implemented"},
    {93, "Name server refused query"},
    {94, "Name server reported an unknown error"},
    {95, "Name server reported that the domain does not exist"},
    {96, "Name server reported a name error"},
    {100, "No To address given"},
    {101, "Invalid To address given"},
    {102, "Invalid CC address given"},
    {110, "Unable to connect to SOCKS4 host"},
    {111, "No response from SOCKS4 host"},
    {112, "SOCKS4 answer is not complete"},
    {113, "SOCKS4 request failed"},
    {114, "SOCKS host is unable to connect to target host"},
    {115, "SOCKS4 host reported different Indetd"},
    {116, "SOCKS4 host reported an unknown error"},
    {120, "Unable to connect to SOCKS5 host"},
    {121, "No response from SOCKS5 host"},
    {122, "SOCKS5 general failure"},
    {123, "SOCKS5 connection not allowed by ruleset"},
    {124, "SOCKS5 reports that the network is unreachable"},
    {125, "SOCKS5 reports that the host is unreachable"},
    {126, "SOCKS5 reports that the connection is refused"},
    {127, "SOCKS5 reports that the TTL is expiered"},
    {128, "SOCKS5 reports that the command is not supported"},
    {129, "SOCKS5 reports that the address type is not supported"},
    {130, "SOCKS5 reports that there is an unknown error"},
    {131, "SOCKS5 reports that this is not an acceptable method"},
    {132, "SOCKS5 reports that there is a failure in authentication"},
    {133, "SOCKS5 reports that this is not a valid ATYPE"},
    {140, "No AUTH command in EHLO found, Authentication failed"},
    {141, "Authentication failed"},
    {160, "FTP reports that there is an unknown warning"},
    {161, "FTP reports that there is an unknown error"},
    {162, "Unable to parse address or port"},
    {163, "Unable to change directory"},
    {164, "Unable to upload file"},
    {170, "Temporary NNTP server problem"},
    {171, "Permanent NNTP server problem"},
    {172, "Unable to parse NNTP data"},
    {180, "Unable to set up TLS"},
    {181, "TLS handshake failed"},
    {182, "TLS certificate of host is not trusted"},
    {183, "TLS certificate does not match host name"},
    {184, "Unable to load TLS CA file"},
    {185, "TLS connection failed"},
    {186, "Unexpected data before TLS start"},
    {190, "Received line is too long"},
    {191, "Received message is too large"},
    {10004, "Interrupted function call"},
    {10009, "Bad file descriptor"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Resource temporarily unavailable (would block)"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Not supported"},
    {10044, "Type not supported"},
    {10045, "Operation not supported"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Port or address already in use"},
    {10049, "Assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Cannot send after socket shutdown"},
    {10059, "Too many references; can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "WinSock.DLL version out of range"},
    {10093, "Successful WSAStartup() not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-authoritative host not found"},
    {11003, "This is a non-recoverable error"},
    {11004, "Valid name, no data record of requested type"},
};

struct ErrnoCode {
  int errnoValue;
  int winsock;
};

// Berkeley error numbers onto their WinSock counterparts (WinSock = 10000 + BSD number).
const ErrnoCode kErrnoCodes[] = {
    {EINTR, 10004},        {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},        {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},       {ENFILE, 10024},          {EWOULDBLOCK, 10035},
    {EINPROGRESS, 10036},  {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {EPIPE, 10054},           {ENOBUFS, 10055},
    {ENOMEM, 10055},       {EISCONN, 10056},         {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
    {EUSERS, 10068},       {EDQUOT, 10069},          {ESTALE, 10070},
    {EREMOTE, 10071},
};

}  // namespace

const char* errorMessage(int code) {
  for (const CodeText& entry : kTexts) {
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

int winsockCodeFromErrno(int errnoValue) {
  for (const ErrnoCode& entry : kErrnoCodes) {
    if (entry.errnoValue == errnoValue) return entry.winsock;
  }
  return 10022;
}

int winsockCodeFromResolver(int eaiValue) {
  switch (eaiValue) {
    case 0:
      return 0;
    case EAI_NONAME:
      return 11001;  // host not found
    case EAI_AGAIN:
      return 11002;  // temporary: non-authoritative not found
    case EAI_FAIL:
      return 11003;  // non-recoverable
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;  // name exists without an address of that kind
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return 11004;
#endif  // name exists without an address of that kind
    case EAI_FAMILY:
      return 10047;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_SERVICE:
      return 10022;
    case EAI_MEMORY:
      return 10055;
    case EAI_SYSTEM:
      return winsockCodeFromErrno(errno);
    default:
      return 11003;
  }
}

}  // namespace quillet
