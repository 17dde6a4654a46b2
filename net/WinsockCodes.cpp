// The mapping of Linux error numbers onto WinSock codes (see WinsockCodes.h).
#include "net/WinsockCodes.h"

#include <netdb.h>

#include <cerrno>

#include "base/ErrorCodes.h"

namespace quillet {
namespace {

struct ErrnoCode {
  int errnoValue;
  int winsock;
};

// Berkeley error numbers onto their WinSock counterparts (err::kWsaBase + the BSD number).
const ErrnoCode kErrnoCodes[] = {
    {EINTR, err::kWsaInterrupted},
    {EBADF, err::kWsaBadDescriptor},
    {EACCES, err::kWsaAccessDenied},
    {EPERM, err::kWsaAccessDenied},
    {EFAULT, err::kWsaBadAddress},
    {EINVAL, err::kWsaInvalidArgument},
    {EMFILE, err::kWsaTooManyFiles},
    {ENFILE, err::kWsaTooManyFiles},
    {EWOULDBLOCK, err::kWsaWouldBlock},
    {EINPROGRESS, err::kWsaInProgress},
    {EALREADY, err::kWsaAlready},
    {ENOTSOCK, err::kWsaNotSocket},
    {EDESTADDRREQ, err::kWsaDestinationRequired},
    {EMSGSIZE, err::kWsaMessageTooLong},
    {EPROTOTYPE, err::kWsaProtocolType},
    {ENOPROTOOPT, err::kWsaProtocolOption},
    {EPROTONOSUPPORT, err::kWsaProtocolNotSupported},
    {ESOCKTNOSUPPORT, err::kWsaSocketTypeNotSupported},
    {EOPNOTSUPP, err::kWsaOperationNotSupported},
    {EPFNOSUPPORT, err::kWsaProtocolFamilyNotSupported},
    {EAFNOSUPPORT, err::kWsaAddressFamilyNotSupported},
    {EADDRINUSE, err::kWsaAddressInUse},
    {EADDRNOTAVAIL, err::kWsaAddressNotAvailable},
    {ENETDOWN, err::kWsaNetworkDown},
    {ENETUNREACH, err::kWsaNetworkUnreachable},
    {ENETRESET, err::kWsaNetworkReset},
    {ECONNABORTED, err::kWsaConnectionAborted},
    {ECONNRESET, err::kWsaConnectionReset},
    {EPIPE, err::kWsaConnectionReset},
    {ENOBUFS, err::kWsaNoBufferSpace},
    {ENOMEM, err::kWsaNoBufferSpace},
    {EISCONN, err::kWsaIsConnected},
    {ENOTCONN, err::kWsaNotConnected},
    {ESHUTDOWN, err::kWsaShutdown},
    {ETOOMANYREFS, err::kWsaTooManyReferences},
    {ETIMEDOUT, err::kWsaTimedOut},
    {ECONNREFUSED, err::kWsaConnectionRefused},
    {ELOOP, err::kWsaSymbolicLinkLoop},
    {ENAMETOOLONG, err::kWsaNameTooLong},
    {EHOSTDOWN, err::kWsaHostDown},
    {EHOSTUNREACH, err::kWsaHostUnreachable},
    {ENOTEMPTY, err::kWsaNotEmpty},
    {EUSERS, err::kWsaTooManyUsers},
    {EDQUOT, err::kWsaDiskQuota},
    {ESTALE, err::kWsaStaleHandle},
    {EREMOTE, err::kWsaRemotePath},
};

}  // namespace

int winsockCodeFromErrno(int errnoValue) {
  for (const ErrnoCode& entry : kErrnoCodes) {
    if (entry.errnoValue == errnoValue) return entry.winsock;
  }
  return err::kWsaInvalidArgument;
}

int winsockCodeFromResolver(int eaiValue) {
  switch (eaiValue) {
    case 0:
      return err::kOk;
    case EAI_NONAME:
      return err::kWsaHostNotFound;
    case EAI_AGAIN:
      return err::kWsaTryAgain;  // temporary: non-authoritative not found
    case EAI_FAIL:
      return err::kWsaNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return err::kWsaNoData;  // the name exists without an address of that kind
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return err::kWsaNoData;
#endif
    case EAI_FAMILY:
      return err::kWsaAddressFamilyNotSupported;
    case EAI_SOCKTYPE:
      return err::kWsaSocketTypeNotSupported;
    case EAI_SERVICE:
      return err::kWsaInvalidArgument;
    case EAI_MEMORY:
      return err::kWsaNoBufferSpace;
    case EAI_SYSTEM:
      return winsockCodeFromErrno(errno);
    default:
      return err::kWsaNoRecovery;
  }
}

}  // namespace quillet
