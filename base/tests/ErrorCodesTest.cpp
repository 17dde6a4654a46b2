// The one table of error codes: its texts byte for byte, the text format, unknown codes,
// and the classification of failures at the edges of each class.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "base/ErrorCodes.h"

namespace quillet {
namespace {

// Every text of the table as published to administrators ("codes|text"), followed by the
// texts of the codes added for TLS, over-long input and files that fail while being sent.
constexpr const char* kPublishedTexts = R"(1|Program termination requested
3|Unable to convert hostname to IP address ( no answer from NS )
4|Unexpected error in connect
5|Unable to establish a connection with host
6|Unable to connect to port
7|Timeout
8|Client not responding
9|Timeout in reading data
10|Timeout in writing data
11|Connection reset by peer
12|Unable to establish a connection with dial-up network
13|Unable to establish a connection with POP3 host
14|Unable to establish a connection with mail host
15|Unable to establish a connection with FTP host
16|Mail system storage has been exceeded
17 22 32 40 54 145|Unable to create temp file
18 23 35 42 55 147|Unable to write to temp file
19 30 41 146|Unable to open SMTP file
20 53|Unable to create thread
21|No OK received
31|Unable to parse SMTP header
33 44 103|No SendTo address given
34|Unable to convert SendTo to MSMail address
43|Unable to export ATT file
45|Unable to convert SendTo address
46|Unable to convert From address
47|Unable to convert ReturnPath address
50|Permanent message handling problem
51|Temporary message handling problem
57|Rescheduled due to running connection
100|No To address given
101|Invalid To address given
102|Invalid CC address given
140|No AUTH command in EHLO found, Authentication failed
141|Authentication failed
160|FTP reports that there is an unknown warning
161|FTP reports that there is an unknown error
162|Unable to parse address or port
163|Unable to change directory
164|Unable to upload file
170|Temporary NNTP server problem
171|Permanent NNTP server problem
172|Unable to parse NNTP data
80|Invalid names server
81|Invalid domain
82|Unable to connect to name server
83|No response from name server
84|Enumeration of host failed
85|Too many name server redirections
86|Unable to get the name of the mail host from the name server
87|No data received from name server
88|Answer from name server is null
89|Answer from name server is to short
90|Name server reported a format error
91|Name server reported a server failure
92|Name server reported not implemented
93|Name server refused query
94|Name server reported an unknown error
95|Name server reported that the domain does not exist
96|Name server reported a name error
110|Unable to connect to SOCKS4 host
111|No response from SOCKS4 host
112|SOCKS4 answer is not complete
113|SOCKS4 request failed
114|SOCKS host is unable to connect to target host
115|SOCKS4 host reported different Indetd
116|SOCKS4 host reported an unknown error
120|Unable to connect to SOCKS5 host
121|No response from SOCKS5 host
122|SOCKS5 general failure
123|SOCKS5 connection not allowed by ruleset
124|SOCKS5 reports that the network is unreachable
125|SOCKS5 reports that the host is unreachable
126|SOCKS5 reports that the connection is refused
127|SOCKS5 reports that the TTL is expiered
128|SOCKS5 reports that the command is not supported
129|SOCKS5 reports that the address type is not supported
130|SOCKS5 reports that there is an unknown error
131|SOCKS5 reports that this is not an acceptable method
132|SOCKS5 reports that there is a failure in authentication
133|SOCKS5 reports that this is not a valid ATYPE
10004|Interrupted function call
10009|Bad file descriptor
10013|Permission denied
10014|Bad address
10022|Invalid argument
10024|Too many open files
10035|Resource temporarily unavailable (would block)
10036|Operation now in progress
10037|Operation already in progress
10038|Socket operation on non-socket
10039|Destination address required
10040|Message too long
10041|Protocol wrong type for socket
10042|Bad protocol option
10043|Not supported
10044|Type not supported
10045|Operation not supported
10046|Protocol family not supported
10047|Address family not supported by protocol family
10048|Port or address already in use
10049|Assign requested address
10050|Network is down
10051|Network is unreachable
10052|Network dropped connection on reset
10053|Software caused connection abort
10054|Connection reset by peer
10055|No buffer space available
10056|Socket is already connected
10057|Socket is not connected
10058|Cannot send after socket shutdown
10059|Too many references; can't splice
10060|Connection timed out
10061|Connection refused
10062|Too many levels of symbolic links
10063|File name too long
10064|Host is down
10065|No route to host
10066|Directory not empty
10067|Too many processes
10068|Too many users
10069|Disc quota exceeded
10070|Stale NFS file handle
10071|Too many levels of remote in path
10091|Network subsystem is unavailable
10092|WinSock.DLL version out of range
10093|Successful WSAStartup() not yet performed
11001|Host not found
11002|Non-authoritative host not found
11003|This is a non-recoverable error
11004|Valid name, no data record of requested type
180|Unable to set up TLS
181|TLS handshake failed
182|TLS certificate of host is not trusted
183|TLS certificate does not match host name
184|Unable to load TLS CA file
185|TLS connection failed
186|Unexpected data before TLS start
187|The mail host does not offer STARTTLS
190|Received line is too long
191|Received message is too large
192|Unable to read SMTP file)";

std::map<int, std::string> publishedTexts() {
  std::map<int, std::string> texts;
  std::istringstream lines(kPublishedTexts);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t bar = line.find('|');
    if (bar == std::string::npos) continue;
    std::istringstream codes(line.substr(0, bar));
    int code = 0;
    while (codes >> code) texts[code] = line.substr(bar + 1);
  }
  return texts;
}

TEST(ErrorCodes, EveryTextIsExactlyThePublishedOne) {
  const std::map<int, std::string> expected = publishedTexts();
  ASSERT_EQ(expected.size(), 158U);
  for (const auto& [code, text] : expected) {
    EXPECT_EQ(std::string(errorMessage(code)), text) << code;
  }
  // The table holds each code once and nothing beyond the published texts.
  std::set<int> seen;
  for (const ErrorTextEntry& entry : errorTextTable()) {
    EXPECT_TRUE(seen.insert(entry.code).second) << "twice: " << entry.code;
    EXPECT_EQ(expected.count(entry.code), 1U) << "unpublished: " << entry.code;
  }
  EXPECT_EQ(seen.size(), expected.size());
}

TEST(ErrorCodes, NamesCarryTheirCodesTexts) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {err::kTerminated, "Program termination requested"},
      {err::kConnectFailed, "Unable to establish a connection with host"},
      {err::kNoPortConnection, "Unable to connect to port"},
      {err::kReadTimeout, "Timeout in reading data"},
      {err::kPeerClosed, "Connection reset by peer"},
      {err::kNoPop3Connection, "Unable to establish a connection with POP3 host"},
      {err::kStorageExceeded, "Mail system storage has been exceeded"},
      {err::kFileWriteFailed, "Unable to write to temp file"},
      {err::kOpenSmtpFile, "Unable to open SMTP file"},
      {err::kNegativeReply, "No OK received"},
      {err::kCreateMessageFile, "Unable to create temp file"},
      {err::kOpenMessageFile, "Unable to open SMTP file"},
      {err::kParseHeader, "Unable to parse SMTP header"},
      {err::kCreatePartFile, "Unable to create temp file"},
      {err::kWritePartFile, "Unable to write to temp file"},
      {err::kCreateComposedFile, "Unable to create temp file"},
      {err::kWriteComposedFile, "Unable to write to temp file"},
      {err::kCreateTempFile, "Unable to create temp file"},
      {err::kWriteTempFile, "Unable to write to temp file"},
      {err::kPermanentFailure, "Permanent message handling problem"},
      {err::kTemporaryFailure, "Temporary message handling problem"},
      {err::kRescheduledRunning, "Rescheduled due to running connection"},
      {err::kNoAuthLogin, "No AUTH command in EHLO found, Authentication failed"},
      {err::kAuthenticationFailed, "Authentication failed"},
      {err::kNsNoMailHost, "Unable to get the name of the mail host from the name server"},
      {err::kNsDomainNotFound, "Name server reported that the domain does not exist"},
      {err::kSocks4IdentMismatch, "SOCKS4 host reported different Indetd"},
      {err::kSocks5GeneralFailure, "SOCKS5 general failure"},
      {err::kSocks5AddressTypeNotSupported,
       "SOCKS5 reports that the address type is not supported"},
      {err::kSocks5BadAddressType, "SOCKS5 reports that this is not a valid ATYPE"},
      {err::kTlsUntrusted, "TLS certificate of host is not trusted"},
      {err::kTlsNotOffered, "The mail host does not offer STARTTLS"},
      {err::kBlockTooLarge, "Received message is too large"},
      {err::kFileReadFailed, "Unable to read SMTP file"},
      {err::kWsaInvalidArgument, "Invalid argument"},
      {err::kWsaConnectionReset, "Connection reset by peer"},
      {err::kWsaNoBufferSpace, "No buffer space available"},
      {err::kWsaConnectionRefused, "Connection refused"},
      {err::kWsaNotInitialised, "Successful WSAStartup() not yet performed"},
      {err::kWsaHostNotFound, "Host not found"},
      {err::kWsaNoData, "Valid name, no data record of requested type"},
  };
  for (const auto& c : cases) EXPECT_STREQ(errorMessage(c.code), c.text) << c.code;
  // The SOCKS5 reply codes 1..8 map onto consecutive codes.
  EXPECT_EQ(err::kSocks5AddressTypeNotSupported - err::kSocks5GeneralFailure, 7);
  // Codes without a text of their own.
  for (int code : {err::kOk, err::kInflateFailed, err::kOpenCompressedFile, err::kReply590,
                   err::kDialUpNotLoaded, err::kDialUpShared, err::kNmcliNotRun}) {
    EXPECT_STREQ(errorMessage(code), "Unknown Error") << code;
  }
}

TEST(ErrorCodes, FormatsCodeWithTextAndBrackets) {
  EXPECT_STREQ(errorText(9).c_str(), "Error: Timeout in reading data [9]");
  EXPECT_STREQ(errorText(10061).c_str(), "Error: Connection refused [10061]");
  EXPECT_STREQ(errorText(132).c_str(),
               "Error: SOCKS5 reports that there is a failure in authentication [132]");
  EXPECT_STREQ(errorText(err::kInflateFailed).c_str(), "Error: Unknown Error [59]");
  EXPECT_STREQ(errorText(-7).c_str(), "Error: Unknown Error [-7]");
}

TEST(ErrorCodes, GapsAndUnlistedCodesAreUnknown) {
  for (int code : {0, 2, 24, 48, 52, 56, 58, 97, 104, 117, 134, 142, 173, 10000, 11005, -1}) {
    EXPECT_STREQ(errorMessage(code), "Unknown Error") << code;
  }
  EXPECT_STREQ(errorText(58).c_str(), "Error: Unknown Error [58]");
}

TEST(ErrorCodes, SharedTextsCoverEveryListedCode) {
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
  for (int code = 180; code <= 187; ++code) EXPECT_STRNE(errorMessage(code), "Unknown Error");
}

TEST(ErrorCodes, RetryLaterIsTheNetworkClass) {
  for (int code : {1, 5, 11, 16, 10000, 10054, 10061, 11001, 11004, 20000}) {
    EXPECT_TRUE(isRetryLater(code)) << code;
  }
  for (int code : {0, -1, 17, 21, 50, 51, 55, 133, 180, 185, 190, 192, 550, 704, 9999}) {
    EXPECT_FALSE(isRetryLater(code)) << code;
  }
}

TEST(ErrorCodes, ConnectionLevelAddsFailuresThatLeaveTheDialogueOutOfStep) {
  for (int code : {1, 16, 10000, 10054, 11004, 180, 181, 185, 186, 187, 190, 191, 192}) {
    EXPECT_TRUE(isConnectionLevel(code)) << code;
  }
  for (int code : {0, -1, 17, 21, 50, 51, 55, 133, 155, 179, 188, 189, 193, 550, 9999}) {
    EXPECT_FALSE(isConnectionLevel(code)) << code;
  }
}

TEST(ErrorCodes, OnlyTheHostsFinalRefusalIsPermanent) {
  EXPECT_TRUE(isPermanent(err::kPermanentFailure));
  for (int code : {0, 1, 16, 21, 49, 51, 55, 140, 155, 190, 10054}) {
    EXPECT_FALSE(isPermanent(code)) << code;
  }
}

}  // namespace
}  // namespace quillet
