// One POP3 session against scripted servers: the order of the dialogue, messages stored
// byte for byte with their index before DELE, the compressed retrieval, the NOOP
// work-around, UIDL mode and its rejection, CAPA failures, dropped connections, endless
// lines and odd STAT, LIST and UIDL replies.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakePop3Server.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "base/ProcessContext.h"
#include "pop3/ApopDigest.h"
#include "pop3/WSPOPClient.h"
#include "server/queue/QueueStore.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::FakeMailbox;
using testing::FakePop3Server;
using testing::TempDir;

const std::string kFirst = "Subject: one\r\n\r\nHello\r\n..dotted line\r\n";
const std::string kSecond = "Subject: two\r\n\r\nBye\r\n";

class ScriptedSession : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store.createQueueDirectories()); }

  POPSessionRequest requestFor(const FakePop3Server& server) {
    POPSessionRequest request;
    request.host = "127.0.0.1";
    request.port = server.port();
    request.user = "joe";
    request.password = "secret";
    return request;
  }
  int fetch(const POPSessionRequest& request) {
    WSPOPClient client(store);
    return client.FetchMailbox(request, knownUids, result);
  }
  std::vector<std::string> inboundFiles(const char* extension) {
    ArrayStr names;
    EXPECT_TRUE(
        listFilesWithExtension(store.queueDirectory(QueueNumber::Inbound), extension, names));
    std::vector<std::string> out;
    for (const Str& name : names) out.push_back(name.toStd());
    return out;
  }
  bool anyDele(FakePop3Server& server) {
    for (const std::string& c : server.commands()) {
      if (c.rfind("DELE", 0) == 0) return true;
    }
    return false;
  }

  TempDir dir;
  QueueStore store{Str(std::string_view(dir.path()))};
  ArrayStr knownUids;
  POPSessionResult result;
};

TEST_F(ScriptedSession, FetchesStoresWithIndexThenDeletesAndQuits) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst, kSecond};
  int indexFilesAtFirstDele = -1;
  const std::string inbox = dir.file("MSG-IN");
  mailbox.hook = [&](const std::string& command, int) {
    if (command == "DELE 1") {
      ArrayStr names;
      (void)listFilesWithExtension(Str(std::string_view(inbox)), "INX", names);
      indexFilesAtFirstDele = names.count();
    }
    return false;
  };
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.routeTo = "office@example.com";
  ASSERT_EQ(fetch(request), 0);
  EXPECT_EQ(server.commands(),
            (std::vector<std::string>{"USER joe", "PASS secret", "STAT", "RETR 1", "RETR 2",
                                      "DELE 1", "DELE 2", "QUIT"}));
  EXPECT_EQ(indexFilesAtFirstDele, 2);
  ASSERT_EQ(result.fetchedFiles.count(), 2);
  EXPECT_EQ(testing::readBytes(result.fetchedFiles[1].toStd()), kFirst + ".\r\n");
  EXPECT_EQ(testing::readBytes(result.fetchedFiles[2].toStd()), kSecond + ".\r\n");
  ASSERT_EQ(result.entries.count(), 2);
  const SMTPInfo& entry = result.entries[1];
  EXPECT_EQ(entry.source.toStd(), "joe");
  EXPECT_NE(entry.flags & SMTPInfo::kFromMailboxOrPickup, 0u);
  ASSERT_EQ(entry.recipients.count(), 1);
  EXPECT_EQ(entry.recipients[1].address.toStd(), "office@example.com");
  SMTPInfo loaded;
  loaded.indexFile = entry.indexFile;
  EXPECT_EQ(store.loadIndex(loaded, QueueNumber::Inbound), IndexStatus::Loaded);
  EXPECT_EQ(loaded.source.toStd(), "joe");
  EXPECT_FALSE(result.morePending);
}

TEST_F(ScriptedSession, EmptyMailboxSendsNoCapaAndStoresNothing) {
  FakeMailbox mailbox;
  mailbox.capabilities = {"XBCOMP"};
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.capa = true;
  ASSERT_EQ(fetch(request), 0);
  EXPECT_EQ(server.commands(),
            (std::vector<std::string>{"USER joe", "PASS secret", "STAT", "QUIT"}));
  EXPECT_EQ(result.fetchedFiles.count(), 0);
}

TEST_F(ScriptedSession, ApopRejectedFallsBackToUserPassAndIsTranscribed) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst};
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.apop = true;
  ASSERT_EQ(fetch(request), 0);
  const std::string apop =
      "APOP joe " + apopDigest("<1896.697170952@fake.example>", "secret").toStd();
  EXPECT_EQ(server.commands()[0], apop);
  EXPECT_EQ(server.commands()[1], "USER joe");
  ASSERT_EQ(result.transcript.count(), 2);
  EXPECT_EQ(result.transcript[1].toStd(), apop);
  EXPECT_EQ(result.transcript[2].toStd(), "-ERR APOP not here");
}

TEST(ApopDigest, MatchesTheRfcExample) {
  EXPECT_EQ(apopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf").toStd(),
            "c4c9334bac560ecc979e58001b3e22fb");
}

TEST_F(ScriptedSession, WrongPasswordIsNegativeReplyWithMaskedTranscript) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst};
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.password = "wrong";
  request.hidePassword = true;
  request.trace = true;
  std::string traced;
  WSPOPClient client(store);
  client.setTraceSink([&traced](const std::string& line) { traced += line + "\n"; });
  EXPECT_EQ(client.FetchMailbox(request, knownUids, result), err::kNegativeReply);
  EXPECT_NE(traced.find("PASS *****"), std::string::npos) << traced;
  EXPECT_EQ(traced.find("wrong\n"), std::string::npos) << traced;
  EXPECT_FALSE(server.received("QUIT"));
  ASSERT_EQ(result.transcript.count(), 2);
  EXPECT_EQ(result.transcript[1].toStd(), "PASS *****");
  EXPECT_EQ(result.transcript[2].toStd(), "-ERR [AUTH] wrong password");
}

TEST_F(ScriptedSession, StopRequestEndsTheSessionWithoutDeleting) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst, kSecond, kFirst};
  mailbox.hook = [](const std::string& command, int) {
    if (command == "RETR 2") ProcessContext::instance().setRunning(false);
    return false;
  };
  FakePop3Server server(mailbox);
  const int code = fetch(requestFor(server));
  ProcessContext::instance().setRunning(true);
  EXPECT_EQ(code, err::kTerminated);
  EXPECT_FALSE(server.received("RETR 3"));
  EXPECT_FALSE(anyDele(server));
  EXPECT_TRUE(inboundFiles("TXT").empty());
}

TEST_F(ScriptedSession, PasswordWithLineBreakIsRefusedBeforeConnecting) {
  POPSessionRequest request;
  request.host = "127.0.0.1";
  request.port = 9;  // nothing may be sent anywhere
  request.user = "joe";
  request.password = "secret\r\nDELE 1";
  EXPECT_EQ(fetch(request), err::kAuthenticationFailed);
}

TEST_F(ScriptedSession, MaximumCountLeavesMorePending) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst, kSecond, kFirst, kSecond, kFirst};
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.maxMessages = 2;
  ASSERT_EQ(fetch(request), 0);
  EXPECT_EQ(result.fetchedFiles.count(), 2);
  EXPECT_TRUE(result.morePending);
  EXPECT_TRUE(server.received("DELE 2"));
  EXPECT_FALSE(server.received("RETR 3"));
}

TEST_F(ScriptedSession, OversizeMessageIsDeletedUnreadOrRememberedInUidlMode) {
  FakeMailbox mailbox;
  mailbox.messages = {std::string(1001, 'x') + "\r\n", kSecond};
  mailbox.uids = {"uid-big", "uid-small"};
  {
    FakePop3Server server(mailbox);
    POPSessionRequest request = requestFor(server);
    request.maxMessageSize = 1000;
    ASSERT_EQ(fetch(request), 0);
    EXPECT_FALSE(server.received("RETR 1"));
    EXPECT_TRUE(server.received("DELE 1"));
    EXPECT_EQ(result.fetchedFiles.count(), 1);
  }
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.maxMessageSize = 1000;
  request.leaveOnServer = true;
  ASSERT_EQ(fetch(request), 0);
  EXPECT_FALSE(anyDele(server));
  ASSERT_EQ(knownUids.count(), 2);
  EXPECT_EQ(knownUids[1].toStd(), "uid-big");
}

TEST_F(ScriptedSession, UidlModeSkipsKnownIdsAndTreatsUnusableIdsAsNone) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst, kSecond, kFirst};
  const std::string longId(71, 'L');
  mailbox.uids = {"KNOWN-1", longId, "new-3"};
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.leaveOnServer = true;
  knownUids.add("known-1");
  knownUids.add(Str(std::string_view(longId)));
  ASSERT_EQ(fetch(request), 0);
  EXPECT_FALSE(server.received("RETR 1"));
  EXPECT_TRUE(server.received("RETR 2"));  // an id of 71 characters is no id
  EXPECT_TRUE(server.received("RETR 3"));
  EXPECT_FALSE(anyDele(server));
  ASSERT_EQ(knownUids.count(), 3);
  EXPECT_EQ(knownUids[1].toStd(), "KNOWN-1");
  EXPECT_TRUE(knownUids[2].empty());
  EXPECT_EQ(knownUids[3].toStd(), "new-3");
}

TEST_F(ScriptedSession, RejectedUidlSwitchesUidlModeOffSoMessagesAreDeleted) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst, kSecond};
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.leaveOnServer = true;
  knownUids.add("old");
  ASSERT_EQ(fetch(request), 0);
  EXPECT_TRUE(server.received("UIDL 1"));
  EXPECT_FALSE(server.received("UIDL 2"));
  EXPECT_TRUE(server.received("DELE 1"));
  EXPECT_TRUE(server.received("DELE 2"));
  ASSERT_EQ(knownUids.count(), 1);  // not replaced: the session did not run in UIDL mode
}

TEST_F(ScriptedSession, FailingCapaIsIgnored) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst};
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.capa = true;
  ASSERT_EQ(fetch(request), 0);
  EXPECT_TRUE(server.received("CAPA"));
  EXPECT_TRUE(server.received("RETR 1"));
  EXPECT_EQ(result.fetchedFiles.count(), 1);
}

std::string deflated(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                      reinterpret_cast<const Bytef*>(text.data()), text.size(), 9),
            Z_OK);
  out.resize(size);
  return out;
}

FakeMailbox compressingMailbox(const std::string& compressedBody) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst};
  mailbox.capabilities = {"TOP", "XBCOMP"};
  mailbox.hook = [compressedBody](const std::string& command, int fd) {
    if (command == "XBCOMPSIZE 1") {
      testing::ScriptedPeer::send(fd, "+OK " + std::to_string(compressedBody.size()) + "\r\n");
      return true;
    }
    if (command == "XBCOMPRETR") {
      testing::ScriptedPeer::send(fd, compressedBody);
      return true;
    }
    return false;
  };
  return mailbox;
}

TEST_F(ScriptedSession, CompressedRetrievalInflatesIntoTheMessageFile) {
  const std::string wire = kFirst + ".\r\n";
  FakePop3Server server(compressingMailbox(deflated(wire)));
  POPSessionRequest request = requestFor(server);
  request.capa = true;
  ASSERT_EQ(fetch(request), 0);
  EXPECT_FALSE(server.received("RETR 1"));
  EXPECT_TRUE(server.received("DELE 1"));
  ASSERT_EQ(result.fetchedFiles.count(), 1);
  EXPECT_EQ(testing::readBytes(result.fetchedFiles[1].toStd()), wire);
  EXPECT_EQ(inboundFiles("TXT").size(), 1u);  // the compressed copy is gone
}

TEST_F(ScriptedSession, DamagedCompressedDataFailsAndDeletesNothingOnServer) {
  std::string damaged = deflated(kFirst + ".\r\n");
  damaged[damaged.size() / 2] ^= 0x55;
  damaged.resize(damaged.size() - 3);
  FakePop3Server server(compressingMailbox(damaged));
  POPSessionRequest request = requestFor(server);
  request.capa = true;
  EXPECT_EQ(fetch(request), err::kInflateFailed);
  EXPECT_FALSE(anyDele(server));
  EXPECT_TRUE(inboundFiles("TXT").empty());
  EXPECT_TRUE(inboundFiles("INX").empty());
}

TEST_F(ScriptedSession, NoopRecoveryTreatsRejectedRetrievalAsHandled) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst, kSecond};
  mailbox.capabilities = {"IMPLEMENTATION Ipswitch_IMail_5.0"};
  mailbox.hook = FakePop3Server::answer("RETR 1", "-ERR message locked\r\n");
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.capa = true;
  ASSERT_EQ(fetch(request), 0);
  EXPECT_TRUE(server.received("NOOP"));
  EXPECT_TRUE(server.received("DELE 1"));
  ASSERT_EQ(result.fetchedFiles.count(), 1);
  EXPECT_EQ(testing::readBytes(result.fetchedFiles[1].toStd()), kSecond + ".\r\n");
}

TEST_F(ScriptedSession, RejectedRetrievalWithoutTheWorkaroundFails) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst};
  mailbox.hook = FakePop3Server::answer("RETR 1", "-ERR message locked\r\n");
  FakePop3Server server(mailbox);
  EXPECT_EQ(fetch(requestFor(server)), err::kNegativeReply);
  EXPECT_FALSE(server.received("NOOP"));
  EXPECT_FALSE(anyDele(server));
}

FakeMailbox droppingMailbox() {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst, kSecond};
  mailbox.hook = FakePop3Server::answer("RETR 2", "+OK\r\nSubject: two\r\n\r\nhalf a bo", true);
  return mailbox;
}

TEST_F(ScriptedSession, DroppedBodyDeletesTheSessionsFilesAndNothingOnServer) {
  FakePop3Server server(droppingMailbox());
  EXPECT_EQ(fetch(requestFor(server)), err::kPeerClosed);
  EXPECT_FALSE(anyDele(server));
  EXPECT_EQ(result.fetchedFiles.count(), 0);
  EXPECT_TRUE(inboundFiles("TXT").empty());
  EXPECT_TRUE(inboundFiles("INX").empty());
}

TEST_F(ScriptedSession, DroppedBodyKeepsCompleteFilesWhenAsked) {
  FakePop3Server server(droppingMailbox());
  POPSessionRequest request = requestFor(server);
  request.keepFilesOnError = true;
  EXPECT_EQ(fetch(request), err::kPeerClosed);
  EXPECT_FALSE(anyDele(server));
  ASSERT_EQ(result.fetchedFiles.count(), 1);
  EXPECT_EQ(testing::readBytes(result.fetchedFiles[1].toStd()), kFirst + ".\r\n");
  EXPECT_EQ(inboundFiles("TXT").size(), 1u);  // the partial second message is gone
  EXPECT_EQ(inboundFiles("INX").size(), 1u);
}

TEST_F(ScriptedSession, EndlessReplyLineEndsTheSession) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst};
  mailbox.hook = FakePop3Server::answer(
      "STAT", "+OK " + std::string(WSClient::kMaxLineLength + 10, '9'), true);
  FakePop3Server server(mailbox);
  EXPECT_EQ(fetch(requestFor(server)), err::kLineTooLong);
  EXPECT_FALSE(server.received("RETR 1"));
}

TEST_F(ScriptedSession, OddStatRepliesFetchNothing) {
  for (const char* reply : {"+OK 2", "+OK", "+OK lots of mail", "+OK -2 100"}) {
    FakeMailbox mailbox;
    mailbox.messages = {kFirst, kSecond};
    mailbox.statReply = reply;
    FakePop3Server server(mailbox);
    EXPECT_EQ(fetch(requestFor(server)), 0) << reply;
    EXPECT_FALSE(server.received("RETR 1")) << reply;
    EXPECT_TRUE(server.received("QUIT")) << reply;
  }
}

TEST_F(ScriptedSession, OddListReplyCountsAsSizeZero) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst};
  mailbox.hook = FakePop3Server::answer("LIST 1", "+OK 1 99999 octets\r\n");
  FakePop3Server server(mailbox);
  POPSessionRequest request = requestFor(server);
  request.maxMessageSize = 10;
  ASSERT_EQ(fetch(request), 0);
  EXPECT_TRUE(server.received("RETR 1"));
}

TEST_F(ScriptedSession, MessageWithoutTerminatorFailsWhenTheServerCloses) {
  FakeMailbox mailbox;
  mailbox.messages = {kFirst};
  mailbox.hook = FakePop3Server::answer("RETR 1", "+OK\r\nSubject: x\r\n\r\n.\n..\r\n", true);
  FakePop3Server server(mailbox);
  EXPECT_EQ(fetch(requestFor(server)), err::kPeerClosed);
  EXPECT_TRUE(inboundFiles("TXT").empty());
}

}  // namespace
}  // namespace quillet
