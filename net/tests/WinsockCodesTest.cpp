// The mapping of Linux socket and resolver errors onto WinSock codes.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "base/ErrorCodes.h"
#include "net/WinsockCodes.h"

namespace quillet {
namespace {

TEST(WinsockCodes, MapsErrnoOntoWinsockCodes) {
  EXPECT_EQ(winsockCodeFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(winsockCodeFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(winsockCodeFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(winsockCodeFromErrno(EPIPE), 10054);
  EXPECT_EQ(winsockCodeFromErrno(EWOULDBLOCK), 10035);
  EXPECT_EQ(winsockCodeFromErrno(ENETUNREACH), 10051);
  EXPECT_EQ(winsockCodeFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(winsockCodeFromErrno(ENOENT), err::kWsaInvalidArgument);  // unmapped
  EXPECT_EQ(winsockCodeFromResolver(0), err::kOk);
  EXPECT_EQ(winsockCodeFromResolver(EAI_NONAME), 11001);
  EXPECT_EQ(winsockCodeFromResolver(EAI_AGAIN), 11002);
  EXPECT_EQ(winsockCodeFromResolver(EAI_FAIL), 11003);
  // Every mapped code has a text of its own.
  for (int e : {EINTR,    EBADF,    EACCES,     EFAULT,        EINVAL,    EMFILE,       EINPROGRESS,
                EALREADY, ENOTSOCK, EADDRINUSE, EADDRNOTAVAIL, ENETDOWN,  ECONNABORTED, ENOBUFS,
                EISCONN,  ENOTCONN, ELOOP,      ENAMETOOLONG,  EHOSTDOWN, EDQUOT}) {
    EXPECT_STRNE(errorMessage(winsockCodeFromErrno(e)), "Unknown Error") << e;
  }
}

}  // namespace
}  // namespace quillet
