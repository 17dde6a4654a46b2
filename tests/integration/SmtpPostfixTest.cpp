// The SMTP client against a private Postfix: DATA, PIPELINING and CHUNKING (BDAT) transfers
// delivered byte for byte, the SIZE limit before MAIL FROM, DSN parameters accepted, a
// refused recipient among accepted ones, VRFY for known and unknown users, bare-LF content
// arriving canonical (Postfix refuses bare LF here), STARTTLS required with the test CA,
// required with a CA that signed nothing, and when offered without any CA, and AUTH
// against a Postfix that requires it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "PostfixServer.h"
#include "TestCertificates.h"
#include "base/ErrorCodes.h"
#include "smtp/WSSMTPClient.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::DeliveredMessage;
using testing::PostfixOptions;
using testing::PostfixServer;

constexpr uint32_t kEsmtp = smtpopt::kEsmtp;
constexpr int kSizeLimit = 20000;

// Stored with bare LF lines, the bare-LF "." line of SMTP smuggling and a stuffed line.
const std::string kStored =
    "Subject: canonical\n\nfirst\n.\nMAIL FROM:<evil@example.org>\n..dotted\r\nlast\r\n.\r\n";
// What the Maildir holds: LF line ends, unstuffed, nothing cut off.
const std::string kDelivered =
    "Subject: canonical\n\nfirst\n.\nMAIL FROM:<evil@example.org>\n.dotted\nlast\n";

std::string addressOf(const char* user) { return PostfixServer::address(user); }

class PostfixDelivery : public ::testing::Test {
 protected:
  static void start(PostfixOptions options) {
    server_ = std::make_unique<PostfixServer>(std::move(options));
    reason_ = server_->start();
  }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override {
    if (!reason_.empty()) GTEST_SKIP() << reason_;
  }

  Str message(const std::string& bytes, const char* name = "MSG00001.TXT") {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(testing::writeBytes(path, bytes));
    return Str(std::string_view(path));
  }
  int connect(WSSMTPClient& client) {
    Str lastReply;
    ArrayStr transcript;
    return client.Connect("127.0.0.1", server_->port(), "client.example", Str(), kEsmtp, lastReply,
                          transcript);
  }
  int send(WSSMTPClient& client, const Str& file, const std::vector<std::string>& to,
           const SMTPInfoAddress& from = SMTPInfoAddress("sender@example.org")) {
    ArraySMTPInfoAddress recipients;
    for (const std::string& address : to) recipients.add(SMTPInfoAddress(Str(address.c_str())));
    return client.SendMessage(file, from, recipients, 3, kEsmtp, result_);
  }
  // Connects, sends the stored message to the users and quits: the send's result.
  int deliver(const std::string& stored, const std::vector<std::string>& to) {
    WSSMTPClient client;
    const int connected = connect(client);
    if (connected != 0) return connected;
    const int code = send(client, message(stored), to);
    EXPECT_EQ(client.Quit(kEsmtp), 0);
    client.Close();
    return code;
  }
  void expectDelivered(const char* user, const std::string& content) {
    ASSERT_TRUE(server_->waitForMessages(user, 1, 10000)) << server_->maillog();
    const std::vector<DeliveredMessage> delivered = server_->delivered(user);
    ASSERT_FALSE(delivered.empty());
    EXPECT_EQ(delivered.back().content, content);
    EXPECT_EQ(delivered.back().returnPath, "sender@example.org");
  }

  static std::unique_ptr<PostfixServer> server_;
  static std::string reason_;
  testing::TempDir dir_;
  SMTPSendResult result_;
};

std::unique_ptr<PostfixServer> PostfixDelivery::server_;
std::string PostfixDelivery::reason_;

// The full feature set: PIPELINING, CHUNKING, SIZE, DSN, VRFY, a refused recipient.
class PostfixFull : public PostfixDelivery {
 protected:
  static void SetUpTestSuite() {
    PostfixOptions options;
    options.users = {"alice", "bob", "carol", "dave", "erin", "frank"};
    options.messageSizeLimit = kSizeLimit;
    options.rejectedRecipients[addressOf("gone")] = "550 5.1.1 gone for good";
    start(std::move(options));
  }
};

TEST_F(PostfixFull, ChunkingTransfersTheCanonicalMessage) {
  ASSERT_EQ(deliver(kStored, {addressOf("alice")}), 0) << server_->maillog();
  expectDelivered("alice", kDelivered);
}

TEST_F(PostfixFull, ARefusedRecipientDoesNotKeepTheMessageFromTheOthers) {
  ASSERT_EQ(deliver(kStored, {addressOf("bob"), addressOf("gone"), addressOf("carol")}), 0);
  expectDelivered("bob", kDelivered);
  expectDelivered("carol", kDelivered);
  ASSERT_EQ(result_.recipients.count(), 3);
  EXPECT_EQ(result_.recipients[1].result, 0);
  EXPECT_EQ(result_.recipients[2].result, err::kPermanentFailure);
  EXPECT_EQ(result_.recipients[2].statusCode.toStd(), "5.1.1");
  EXPECT_NE(result_.recipients[2].reply.find("gone for good"), -1);
  EXPECT_EQ(result_.recipients[3].result, 0);
}

TEST_F(PostfixFull, AMessageOverTheSizeLimitFailsBeforeMailFrom) {
  WSSMTPClient client;
  ASSERT_EQ(connect(client), 0);
  EXPECT_EQ(send(client, message(std::string(kSizeLimit + 100, 'x')), {addressOf("dave")}),
            err::kPermanentFailure);
  EXPECT_EQ(result_.statusCode.toStd(), "5.3.4");
  EXPECT_EQ(result_.transcript.count(), 0);  // nothing was sent, so nothing was refused
  // The session is still in step for the next message.
  ASSERT_EQ(send(client, message("Subject: small\r\n\r\nok\r\n.\r\n"), {addressOf("dave")}), 0);
  EXPECT_EQ(client.Quit(kEsmtp), 0);
  expectDelivered("dave", "Subject: small\n\nok\n");
  EXPECT_EQ(server_->delivered("dave").size(), 1u);
}

TEST_F(PostfixFull, DsnParametersAreAccepted) {
  WSSMTPClient client;
  ASSERT_EQ(connect(client), 0);
  ASSERT_TRUE(client.advertises("DSN"));
  ArraySMTPInfoAddress recipients;
  recipients.add(SMTPInfoAddress(
      Str(addressOf("erin").c_str()),
      SMTPInfoAddress::kNotifyFailure | SMTPInfoAddress::kNotifyDelay | SMTPInfoAddress::kHasOrcpt,
      "rfc822;erin@old.example"));
  const SMTPInfoAddress sender("sender@example.org",
                               SMTPInfoAddress::kHasEnvid | SMTPInfoAddress::kReturnFull,
                               "QUILLET-ENV-1");
  ASSERT_EQ(client.SendMessage(message(kStored), sender, recipients, 3, kEsmtp, result_), 0)
      << result_.lastReply.toStd();
  EXPECT_EQ(client.Quit(kEsmtp), 0);
  expectDelivered("erin", kDelivered);
}

TEST_F(PostfixFull, VrfyAnswersKnownAndUnknownUsers) {
  WSSMTPClient client;
  ArrayStr addresses;
  addresses.add(Str(addressOf("frank").c_str()));
  addresses.add(Str(addressOf("nobody-here").c_str()));
  ArrayTmpl<int> codes;
  ASSERT_EQ(client.Verify("127.0.0.1", server_->port(), "client.example", kEsmtp, addresses, codes),
            0);
  ASSERT_EQ(codes.count(), 2);
  EXPECT_EQ(codes[1], 252);
  EXPECT_EQ(codes[2], 550);
}

TEST_F(PostfixFull, SeveralMessagesInOneSessionWithResetBetween) {
  WSSMTPClient client;
  ASSERT_EQ(connect(client), 0);
  for (int n = 0; n < 3; ++n) {
    if (n > 0) {
      ASSERT_EQ(client.Reset(kEsmtp), 0);
    }
    const std::string body = "Subject: " + std::to_string(n) + "\r\n\r\nbody\r\n.\r\n";
    ASSERT_EQ(send(client, message(body), {addressOf("frank")}), 0);
  }
  EXPECT_EQ(client.Quit(kEsmtp), 0);
  ASSERT_TRUE(server_->waitForMessages("frank", 3, 10000));
}

// Without CHUNKING: DATA, once pipelined and once command by command.
class PostfixData : public PostfixDelivery {
 protected:
  static void SetUpTestSuite() {
    PostfixOptions options;
    options.discardedEhloKeywords = {"chunking"};
    start(std::move(options));
  }
};

TEST_F(PostfixData, PipelinedDataTransfersTheCanonicalMessage) {
  WSSMTPClient client;
  ASSERT_EQ(connect(client), 0);
  EXPECT_TRUE(client.advertises("PIPELINING"));
  EXPECT_FALSE(client.advertises("CHUNKING"));
  ASSERT_EQ(send(client, message(kStored), {addressOf("alice"), addressOf("bob")}), 0)
      << result_.lastReply.toStd();
  EXPECT_GT(result_.rate, 0);
  EXPECT_EQ(client.Quit(kEsmtp), 0);
  expectDelivered("alice", kDelivered);
  expectDelivered("bob", kDelivered);
}

class PostfixPlain : public PostfixDelivery {
 protected:
  static void SetUpTestSuite() {
    PostfixOptions options;
    options.discardedEhloKeywords = {"chunking", "pipelining"};
    start(std::move(options));
  }
};

TEST_F(PostfixPlain, DataWithoutPipeliningTransfersTheCanonicalMessage) {
  ASSERT_EQ(deliver(kStored, {addressOf("carol")}), 0) << result_.lastReply.toStd();
  expectDelivered("carol", kDelivered);
}

TEST_F(PostfixPlain, ALargeMessageIsStreamedWhole) {
  std::string body = "Subject: large\r\n\r\n";
  std::string expected = "Subject: large\n\n";
  for (int i = 0; body.size() < 3u * 1024 * 1024; ++i) {
    const std::string line = (i % 50 == 0 ? "." : "") + std::to_string(i) + std::string(70, 'z');
    body += (line[0] == '.' ? "." : "") + line + "\n";
    expected += line + "\n";
  }
  ASSERT_EQ(deliver(body, {addressOf("alice")}), 0) << result_.lastReply.toStd();
  expectDelivered("alice", expected);
}

// STARTTLS and AUTH: Postfix offers TLS with the test CA's certificate and requires AUTH.
class PostfixSecure : public PostfixDelivery {
 protected:
  static void SetUpTestSuite() {
    if (!testing::TestCertificates::get().made()) {
      reason_ = "openssl could not make the test certificates";
      return;
    }
    PostfixOptions options;
    options.startTls = true;
    options.authUsers["clerk"] = "letmein";
    options.authRequired = true;
    start(std::move(options));
  }
  static Str certificate(const char* name) {
    return Str(std::string_view(testing::TestCertificates::get().file(name)));
  }
};

TEST_F(PostfixSecure, RequiredStartTlsWithTheTrustedCaThenAuthDelivers) {
  WSSMTPClient client;
  client.setStartTls(StartTlsMode::Required, certificate("ca.pem"));
  ASSERT_EQ(connect(client), 0);
  EXPECT_TRUE(client.isTls());
  ASSERT_EQ(client.Authenticate("clerk", "letmein", kEsmtp), 0) << client.lastReply().toStd();
  ASSERT_EQ(send(client, message(kStored), {addressOf("alice")}), 0) << result_.lastReply.toStd();
  EXPECT_EQ(client.Quit(kEsmtp), 0);
  expectDelivered("alice", kDelivered);
}

TEST_F(PostfixSecure, RequiredStartTlsRefusesACertificateOfAnotherCa) {
  WSSMTPClient client;
  client.setStartTls(StartTlsMode::Required, certificate("other.pem"));
  EXPECT_EQ(connect(client), err::kTlsUntrusted);
  EXPECT_FALSE(client.isOpen());
}

TEST_F(PostfixSecure, OptionalStartTlsEncryptsWithoutTrustingTheCertificate) {
  WSSMTPClient client;
  client.setStartTls(StartTlsMode::WhenOffered, Str());
  ASSERT_EQ(connect(client), 0);
  EXPECT_TRUE(client.isTls());
  // The extensions are those of the second EHLO: AUTH appears only under TLS here or not,
  // but STARTTLS is never offered twice.
  EXPECT_FALSE(client.advertises("STARTTLS"));
  EXPECT_EQ(client.Quit(kEsmtp), 0);
}

TEST_F(PostfixSecure, WithoutAuthEveryRecipientIsRefusedAndNoDataIsSent) {
  WSSMTPClient client;
  client.setStartTls(StartTlsMode::Never, Str());
  ASSERT_EQ(connect(client), 0);
  EXPECT_FALSE(client.isTls());
  EXPECT_EQ(send(client, message(kStored), {addressOf("bob")}), err::kPermanentFailure);
  EXPECT_EQ(result_.recipients[1].result, err::kPermanentFailure);
  EXPECT_EQ(client.Reset(kEsmtp), 0);
  EXPECT_EQ(client.Quit(kEsmtp), 0);
  EXPECT_TRUE(server_->delivered("bob").empty());
}

TEST_F(PostfixSecure, AWrongPasswordIsRefused) {
  WSSMTPClient client;
  client.setStartTls(StartTlsMode::Required, certificate("ca.pem"));
  ASSERT_EQ(connect(client), 0);
  EXPECT_EQ(client.Authenticate("clerk", "wrong", kEsmtp), err::kPermanentFailure);
  EXPECT_EQ(client.lastReply().left(3).toStd(), "535");
}

// AUTH offered with PLAIN only: the client uses AUTH PLAIN (RFC 4616).
class PostfixPlainAuth : public PostfixDelivery {
 protected:
  static void SetUpTestSuite() {
    PostfixOptions options;
    options.authUsers["clerk"] = "letmein";
    options.authMechanisms = "plain";
    options.authRequired = true;
    start(std::move(options));
  }
};

TEST_F(PostfixPlainAuth, AuthPlainWhenLoginIsNotOffered) {
  WSSMTPClient client;
  client.setStartTls(StartTlsMode::Never, Str());
  ASSERT_EQ(connect(client), 0);
  EXPECT_TRUE(smtp::offersAuthMechanism(client.extensions(), "PLAIN"));
  EXPECT_FALSE(smtp::offersAuthMechanism(client.extensions(), "LOGIN"));
  EXPECT_EQ(client.Authenticate("clerk", "wrong", kEsmtp), err::kPermanentFailure);
  ASSERT_EQ(client.Authenticate("clerk", "letmein", kEsmtp), 0) << client.lastReply().toStd();
  ASSERT_EQ(send(client, message(kStored), {addressOf("carol")}), 0) << result_.lastReply.toStd();
  EXPECT_EQ(client.Quit(kEsmtp), 0);
  expectDelivered("carol", kDelivered);
}

}  // namespace
}  // namespace quillet
