// Error texts and the mapping of Linux errors onto WinSock codes.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "net/ErrorText.h"

namespace quillet {
namespace {

TEST(ErrorText, FormatsCodeWithTextAndBrackets) {
  EXPECT_STREQ(errorText(9).c_str(), "Error: Timeout in reading data [9]");
  EXPECT_STREQ(errorText(10061).c_str(), "Error: Connection refused [10061]");
  EXPECT_STREQ(errorText(132).c_str(),
               "Error: SOCKS5 reports that there is a failure in authentication [132]");
}

TEST(ErrorText, GapsAndUnlistedCodesAreUnknown) {
  for (int code : {0, 2, 24, 48, 52, 56, 58, 97, 104, 117, 134, 142, 173, 10000, 11005, -1}) {
    EXPECT_STREQ(errorMessage(code), "Unknown Error") << code;
  }
  EXPECT_STREQ(errorText(58).c_str(), "Error: Unknown Error [58]");
}

TEST(ErrorText, SharedTextsCoverEveryListedCode) {
  for (int code : {17, 22, 32, 40, 54, 145}) {
    EXPECT_STREQ(errorMessage(code), "Unable to create temp file") << code;
  }
  for (int code : {18, 23, 35, 42, 55, 147}) {
    EXPECT_STREQ(errorMessage(code), "Unable to write to temp file") << code;
  }
  for (int code : {19, 30, 41, 146}) EXPECT_STREQ(errorMessage(code), "Unable to open SMTP file");
  for (int code : {33, 44, 103}) EXPECT_STREQ(errorMessage(code), "No SendTo address given");
  for (int code = 80; code <= 96; ++code) EXPECT_STRNE(errorMessage(code), "Unknown Error");
  for (int code = 110; code <= 116; ++code) EXPECT_STRNE(errorMessage(code), "Unknown Error");
  for (int code = 120; code <= 133; ++code) EXPECT_STRNE(errorMessage(code), "Unknown Error");
  for (int code = 180; code <= 186; ++code) EXPECT_STRNE(errorMessage(code), "Unknown Error");
}

TEST(ErrorText, MapsErrnoOntoWinsockCodes) {
  EXPECT_EQ(winsockCodeFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(winsockCodeFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(winsockCodeFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(winsockCodeFromErrno(EPIPE), 10054);
  EXPECT_EQ(winsockCodeFromErrno(EWOULDBLOCK), 10035);
  EXPECT_EQ(winsockCodeFromErrno(ENETUNREACH), 10051);
  EXPECT_EQ(winsockCodeFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(winsockCodeFromResolver(EAI_NONAME), 11001);
  EXPECT_EQ(winsockCodeFromResolver(EAI_AGAIN), 11002);
  // Every mapped code has a text of its own.
  for (int e : {EINTR,    EBADF,    EACCES,     EFAULT,        EINVAL,    EMFILE,       EINPROGRESS,
                EALREADY, ENOTSOCK, EADDRINUSE, EADDRNOTAVAIL, ENETDOWN,  ECONNABORTED, ENOBUFS,
                EISCONN,  ENOTCONN, ELOOP,      ENAMETOOLONG,  EHOSTDOWN, EDQUOT}) {
    EXPECT_STRNE(errorMessage(winsockCodeFromErrno(e)), "Unknown Error") << e;
  }
}

}  // namespace
}  // namespace quillet
