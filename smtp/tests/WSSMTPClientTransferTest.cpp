// The SMTP client against scripted servers, message side: DATA with the canonical stream,
// the pipelined envelope in one write, the SIZE limit before any command, one outcome per
// recipient (a refused recipient among accepted ones, all refused), refusals at each
// phase with their transcript, BDAT with its byte count, XBDATA (inflated and compared)
// and its fallback, a reset in the middle of the data, and a vanished message file.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FakeSmtpServer.h"
#include "base/ErrorCodes.h"
#include "smtp/WSSMTPClient.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

constexpr uint32_t kEsmtp = smtpopt::kEsmtp;

using testing::FakeSmtpConfig;
using testing::FakeSmtpServer;
using testing::ScriptedPeer;

// Stored with bare LF lines and the bare-LF "." line of SMTP smuggling in the middle.
const std::string kStored = "Subject: hi\n\nline\n.\nMAIL FROM:<evil@x>\n..dotted\r\n.\r\n";
const std::string kStuffed =
    "Subject: hi\r\n\r\nline\r\n..\r\nMAIL FROM:<evil@x>\r\n..dotted\r\n.\r\n";
const std::string kPlain = "Subject: hi\r\n\r\nline\r\n.\r\nMAIL FROM:<evil@x>\r\n.dotted\r\n";

std::string inflateAll(const std::string& packed) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return "(inflateInit failed)";
  std::string out;
  std::vector<char> buffer(65536);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  stream.avail_in = static_cast<uInt>(packed.size());
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
    stream.avail_out = static_cast<uInt>(buffer.size());
    status = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer.data(), buffer.size() - stream.avail_out);
  }
  inflateEnd(&stream);
  return status == Z_STREAM_END ? out : "(inflate failed)";
}

class SmtpTransfer : public ::testing::Test {
 protected:
  Str message(const std::string& bytes) {
    const std::string path = dir.file("MSG00001.TXT");
    EXPECT_TRUE(testing::writeBytes(path, bytes));
    return Str(std::string_view(path));
  }
  void connect(int port) {
    Str lastReply;
    ArrayStr transcript;
    ASSERT_EQ(
        client.Connect("127.0.0.1", port, "client.example", Str(), kEsmtp, lastReply, transcript),
        0);
  }
  int send(const Str& file, const std::vector<std::string>& to, uint32_t priority = 3,
           const SMTPInfoAddress& from = SMTPInfoAddress("sender@example.com")) {
    ArraySMTPInfoAddress recipients;
    for (const std::string& address : to) recipients.add(SMTPInfoAddress(Str(address.c_str())));
    return client.SendMessage(file, from, recipients, priority, kEsmtp, result);
  }
  void quit() {
    ASSERT_EQ(client.Quit(kEsmtp), 0);
    client.Close();
  }
  std::vector<std::string> transcript() const {
    std::vector<std::string> out;
    for (const Str& line : result.transcript) out.push_back(line.toStd());
    return out;
  }

  testing::TempDir dir;
  WSSMTPClient client;
  SMTPSendResult result;
};

TEST_F(SmtpTransfer, DataCarriesTheCanonicalStreamAndOneTerminator) {
  FakeSmtpServer server{FakeSmtpConfig{}};
  connect(server.port());
  ASSERT_EQ(send(message(kStored), {"a@example.com", "b@example.com"}), 0);
  quit();
  EXPECT_EQ(server.commands(),
            (std::vector<std::string>{"EHLO client.example", "MAIL FROM:<sender@example.com>",
                                      "RCPT TO:<a@example.com>", "RCPT TO:<b@example.com>", "DATA",
                                      "QUIT"}));
  ASSERT_EQ(server.messages().size(), 1u);
  EXPECT_EQ(server.messages()[0], kStuffed);
  EXPECT_EQ(result.rate, static_cast<int64_t>(kStuffed.size()));
  ASSERT_EQ(result.recipients.count(), 2);
  EXPECT_EQ(result.recipients[1].result, 0);
  EXPECT_EQ(result.recipients[2].result, 0);
  EXPECT_TRUE(result.transcript.count() == 0);
}

TEST_F(SmtpTransfer, PipelinedEnvelopeGoesInOneWriteAndDataWaitsForTheReplies) {
  FakeSmtpConfig config;
  config.ehlo = {"fake.example", "PIPELINING"};
  FakeSmtpServer server(config);
  connect(server.port());
  ASSERT_EQ(send(message(kStored), {"a@example.com", "b@example.com"}), 0);
  quit();
  const std::string rcpts = "RCPT TO:<a@example.com>\r\nRCPT TO:<b@example.com>\r\n";
  EXPECT_EQ(server.pendingAfterMailFrom(), static_cast<int>(rcpts.size()));
  EXPECT_EQ(server.messages()[0], kStuffed);
}

TEST_F(SmtpTransfer, WithoutPipeliningEachCommandWaitsForItsReply) {
  FakeSmtpServer server{FakeSmtpConfig{}};
  connect(server.port());
  ASSERT_EQ(send(message(kStored), {"a@example.com", "b@example.com"}), 0);
  quit();
  EXPECT_EQ(server.pendingAfterMailFrom(), 0);
}

TEST_F(SmtpTransfer, MessageOverTheSizeLimitFailsBeforeAnyCommand) {
  FakeSmtpConfig config;
  config.ehlo = {"fake.example", "SIZE 1000", "DSN"};
  FakeSmtpServer server(config);
  connect(server.port());
  EXPECT_EQ(send(message(std::string(5000, 'x')), {"a@example.com"}), err::kPermanentFailure);
  EXPECT_EQ(result.statusCode.toStd(), "5.3.4");
  EXPECT_EQ(result.recipients[1].result, err::kPermanentFailure);
  EXPECT_EQ(result.recipients[1].statusCode.toStd(), "5.3.4");
  quit();
  EXPECT_EQ(server.commands(), (std::vector<std::string>{"EHLO client.example", "QUIT"}));
}

TEST_F(SmtpTransfer, SizeParameterAndLimitFitting) {
  FakeSmtpConfig config;
  config.ehlo = {"fake.example", "SIZE 1000"};
  FakeSmtpServer server(config);
  connect(server.port());
  ASSERT_EQ(send(message(std::string(1000, 'x')), {"a@example.com"}), 0);
  quit();
  EXPECT_EQ(server.commands()[1], "MAIL FROM:<sender@example.com> SIZE=1000");
}

TEST_F(SmtpTransfer, RefusedRecipientDoesNotStopTheOthers) {
  FakeSmtpConfig config;
  config.ehlo = {"fake.example", "PIPELINING", "ENHANCEDSTATUSCODES"};
  config.hook = FakeSmtpServer::anyOf(
      {FakeSmtpServer::answer("RCPT TO:<gone@", "550 5.7.1 <gone@example.com>: rejected"),
       FakeSmtpServer::answer("RCPT TO:<full@", "452 4.2.2 mailbox full")});
  FakeSmtpServer server(config);
  connect(server.port());
  ASSERT_EQ(send(message(kStored),
                 {"a@example.com", "gone@example.com", "full@example.com", "b@example.com"}),
            0);
  quit();
  ASSERT_EQ(server.messages().size(), 1u);
  ASSERT_EQ(result.recipients.count(), 4);
  EXPECT_EQ(result.recipients[1].result, 0);
  EXPECT_EQ(result.recipients[2].result, err::kPermanentFailure);
  EXPECT_EQ(result.recipients[2].statusCode.toStd(), "5.7.1");
  EXPECT_EQ(result.recipients[2].reply.toStd(), "550 5.7.1 <gone@example.com>: rejected");
  EXPECT_EQ(result.recipients[3].result, err::kTemporaryFailure);
  EXPECT_EQ(result.recipients[3].statusCode.toStd(), "4.2.2");
  EXPECT_EQ(result.recipients[4].result, 0);
  EXPECT_EQ(transcript(),
            (std::vector<std::string>{"RCPT TO:<gone@example.com>",
                                      "550 5.7.1 <gone@example.com>: rejected",
                                      "RCPT TO:<full@example.com>", "452 4.2.2 mailbox full"}));
  EXPECT_TRUE(result.statusCode.empty());
}

TEST_F(SmtpTransfer, NoDataWhenEveryRecipientIsRefused) {
  FakeSmtpConfig config;
  config.ehlo = {"fake.example", "PIPELINING"};
  config.hook = FakeSmtpServer::anyOf({FakeSmtpServer::answer("RCPT TO:<gone@", "550 no"),
                                       FakeSmtpServer::answer("RCPT TO:<busy@", "450 busy")});
  FakeSmtpServer server(config);
  connect(server.port());
  EXPECT_EQ(send(message(kStored), {"gone@example.com", "busy@example.com"}),
            err::kTemporaryFailure);
  EXPECT_EQ(result.statusCode.toStd(), "4.2.2");
  EXPECT_EQ(result.lastReply.toStd(), "450 busy");
  EXPECT_EQ(send(message(kStored), {"gone@example.com"}), err::kPermanentFailure);
  EXPECT_EQ(result.statusCode.toStd(), "5.1.1");
  ASSERT_EQ(client.Reset(kEsmtp), 0);
  quit();
  EXPECT_TRUE(server.messages().empty());
  for (const std::string& command : server.commands()) EXPECT_NE(command, "DATA");
}

TEST_F(SmtpTransfer, RefusedSenderEndsTheMessageButKeepsThePipelineInStep) {
  FakeSmtpConfig config;
  config.ehlo = {"fake.example", "PIPELINING"};
  config.hook =
      FakeSmtpServer::anyOf({FakeSmtpServer::answer("MAIL", "550 sender refused"),
                             FakeSmtpServer::answer("RCPT", "503 5.5.1 need MAIL first")});
  FakeSmtpServer server(config);
  connect(server.port());
  EXPECT_EQ(send(message(kStored), {"a@example.com", "b@example.com"}), err::kPermanentFailure);
  EXPECT_EQ(result.statusCode.toStd(), "5.1.8");
  EXPECT_EQ(transcript(),
            (std::vector<std::string>{"MAIL FROM:<sender@example.com>", "550 sender refused"}));
  EXPECT_EQ(result.recipients[2].result, err::kPermanentFailure);
  EXPECT_EQ(result.recipients[2].statusCode.toStd(), "5.1.8");
  // RSET gets its own reply, not a left-over RCPT reply.
  EXPECT_EQ(client.Reset(kEsmtp), 0);
  quit();
}

TEST_F(SmtpTransfer, RefusalsOfDataAndAfterTheData) {
  FakeSmtpConfig config;
  int dataCount = 0;
  config.hook = [&dataCount](const std::string& command, int fd) {
    if (command != "DATA") return false;
    if (++dataCount == 1) {
      ScriptedPeer::send(fd, "554 no data for you\r\n");
    } else if (dataCount == 2) {
      ScriptedPeer::send(fd, "354 go\r\n");
      FakeSmtpServer::readDotTerminated(fd);
      ScriptedPeer::send(fd, "452 insufficient storage\r\n");
    } else {
      ScriptedPeer::send(fd, "590 elsewhere\r\n");
    }
    return true;
  };
  FakeSmtpServer server(config);
  connect(server.port());
  const Str file = message(kStored);
  EXPECT_EQ(send(file, {"a@example.com"}), err::kPermanentFailure);
  EXPECT_EQ(result.statusCode.toStd(), "5.2.1");
  EXPECT_EQ(transcript(), (std::vector<std::string>{"DATA", "554 no data for you"}));
  EXPECT_EQ(result.recipients[1].result, err::kPermanentFailure);
  ASSERT_EQ(client.Reset(kEsmtp), 0);
  EXPECT_EQ(send(file, {"a@example.com"}), err::kTemporaryFailure);
  EXPECT_EQ(result.statusCode.toStd(), "4.3.1");
  EXPECT_EQ(result.lastReply.toStd(), "452 insufficient storage");
  ASSERT_EQ(client.Reset(kEsmtp), 0);
  EXPECT_EQ(send(file, {"a@example.com"}), err::kReply590);
  EXPECT_EQ(result.statusCode.toStd(), "5.5.4");
  quit();
}

TEST_F(SmtpTransfer, BdatSendsThePlainCopyWithItsExactByteCount) {
  FakeSmtpConfig config;
  config.ehlo = {"fake.example", "CHUNKING", "PIPELINING"};
  FakeSmtpServer server(config);
  connect(server.port());
  ASSERT_EQ(send(message(kStored), {"a@example.com"}), 0);
  quit();
  EXPECT_EQ(server.commands()[3], "BDAT " + std::to_string(kPlain.size()) + " LAST");
  ASSERT_EQ(server.messages().size(), 1u);
  EXPECT_EQ(server.messages()[0], kPlain);
  EXPECT_EQ(server.commands()[4], "QUIT");  // nothing was left over after the chunk
}

TEST_F(SmtpTransfer, XbdataDeflatesTheCanonicalStreamAndNamesAnUnusualPriority) {
  FakeSmtpConfig config;
  config.ehlo = {"fake.example", "XBDATA", "CHUNKING"};
  FakeSmtpServer server(config);
  connect(server.port());
  ASSERT_EQ(send(message(kStored), {"a@example.com"}, 1), 0);
  quit();
  const std::string& command = server.commands()[3];
  EXPECT_EQ(command.rfind("XBDATA SIZE=", 0), 0u) << command;
  EXPECT_NE(command.find(" TYPE=RFCZ PRIO=1"), std::string::npos) << command;
  ASSERT_EQ(server.messages().size(), 1u);
  EXPECT_EQ(command,
            "XBDATA SIZE=" + std::to_string(server.messages()[0].size()) + " TYPE=RFCZ PRIO=1");
  EXPECT_EQ(inflateAll(server.messages()[0]), kStuffed);
  // The stored file is unchanged and the temporary compressed file is gone.
  EXPECT_EQ(testing::readBytes(dir.file("MSG00001.TXT")), kStored);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, (std::vector<std::string>{"MSG00001.TXT"}));
}

TEST_F(SmtpTransfer, RefusedXbdataFallsBackToBdatOrData) {
  for (const char* refusal : {"550 unknown", "590 not here"}) {
    FakeSmtpConfig config;
    config.ehlo = {"fake.example", "XBDATA"};
    config.hook = FakeSmtpServer::answer("XBDATA", refusal);
    FakeSmtpServer server(config);
    connect(server.port());
    ASSERT_EQ(send(message(kStored), {"a@example.com"}), 0) << refusal;
    quit();
    EXPECT_EQ(server.commands()[4], "DATA");
    EXPECT_EQ(server.messages()[0], kStuffed);
    EXPECT_TRUE(result.statusCode.empty());
  }
  FakeSmtpConfig temporary;
  temporary.ehlo = {"fake.example", "XBDATA"};
  temporary.hook = FakeSmtpServer::answer("XBDATA", "451 later");
  FakeSmtpServer server(temporary);
  connect(server.port());
  EXPECT_EQ(send(message(kStored), {"a@example.com"}), err::kTemporaryFailure);
  quit();
  EXPECT_TRUE(server.messages().empty());
}

TEST_F(SmtpTransfer, ResetDuringTheDataGives16) {
  FakeSmtpConfig config;
  config.hook = FakeSmtpServer::dropsDuringData(100000, true);
  FakeSmtpServer server(config);
  connect(server.port());
  std::string big;
  while (big.size() < 16u * 1024 * 1024) big += std::string(998, 'y') + "\r\n";
  EXPECT_EQ(send(message(big), {"a@example.com"}), err::kStorageExceeded);
  EXPECT_EQ(result.recipients[1].result, err::kStorageExceeded);
  client.Close();
}

TEST_F(SmtpTransfer, VanishedFileFailsBeforeAnyCommand) {
  FakeSmtpServer server{FakeSmtpConfig{}};
  connect(server.port());
  EXPECT_EQ(send(Str(std::string_view(dir.file("MSG09999.TXT"))), {"a@example.com"}),
            err::kOpenSmtpFile);
  EXPECT_EQ(result.recipients[1].result, err::kOpenSmtpFile);
  quit();
  EXPECT_EQ(server.commands(), (std::vector<std::string>{"EHLO client.example", "QUIT"}));
}

TEST_F(SmtpTransfer, NeverNotifyWithoutDsnSendsTheNullSender) {
  FakeSmtpServer server{FakeSmtpConfig{}};
  connect(server.port());
  ArraySMTPInfoAddress recipients;
  recipients.add(SMTPInfoAddress("a@example.com", SMTPInfoAddress::kNotifyNever));
  ASSERT_EQ(client.SendMessage(message(kStored), SMTPInfoAddress("sender@example.com"), recipients,
                               3, kEsmtp, result),
            0);
  quit();
  EXPECT_EQ(server.commands()[1], "MAIL FROM:<>");
}

TEST_F(SmtpTransfer, AServerThatHangsUpAtAnyStepGivesAConnectionLevelCode) {
  // The command at which the server ends the session without a word, with and without
  // PIPELINING, and with CHUNKING.
  const std::vector<std::vector<std::string>> extensions = {
      {"fake.example"}, {"fake.example", "PIPELINING"}, {"fake.example", "CHUNKING"}};
  for (const auto& ehlo : extensions) {
    for (const char* command : {"MAIL", "RCPT TO:<b@", "DATA", "BDAT"}) {
      SCOPED_TRACE(ehlo.back() + " " + command);
      FakeSmtpConfig config;
      config.ehlo = ehlo;
      config.hook = [prefix = std::string(command)](const std::string& line, int fd) {
        if (line.rfind(prefix, 0) != 0) return false;
        FakeSmtpServer::endSession(fd);
        return true;
      };
      FakeSmtpServer server(config);
      connect(server.port());
      const int code = send(message(kStored), {"a@example.com", "b@example.com"});
      const bool reached = std::string(command) != (ehlo.back() == "CHUNKING" ? "DATA" : "BDAT");
      if (reached) {
        EXPECT_TRUE(isConnectionLevel(code)) << code;
        for (const SMTPRecipientOutcome& outcome : result.recipients) {
          EXPECT_EQ(outcome.result, code);
        }
      } else {
        EXPECT_EQ(code, 0);
      }
      client.Close();
    }
  }
}

TEST_F(SmtpTransfer, AServerThatHangsUpInTheMiddleOfTheDataGivesAConnectionLevelCode) {
  FakeSmtpConfig config;
  config.hook = FakeSmtpServer::dropsDuringData(1000, false);
  FakeSmtpServer server(config);
  connect(server.port());
  const int code = send(message(std::string(200000, 'z')), {"a@example.com"});
  EXPECT_TRUE(isConnectionLevel(code)) << code;
  client.Close();
}

}  // namespace
}  // namespace quillet
