// The POP3 client against a real Dovecot: USER/PASS and APOP, exact bytes of every stored
// message with its index file, deletion only after the files are on disk, UIDL mode with
// the unique-id store, the LIST size limit, the maximum count with "more pending", and a
// wrong password that leaves the mailbox untouched.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "DovecotServer.h"
#include "base/FileSystem.h"
#include "pop3/UidlStore.h"
#include "pop3/WSPOPClient.h"
#include "server/queue/QueueStore.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::DovecotServer;
using testing::TempDir;

std::string sampleMessage(int n) {
  return "From: sender" + std::to_string(n) +
         "@example.org\nTo: office@example.com\n"
         "Subject: sample " +
         std::to_string(n) + "\n\nLine one of " + std::to_string(n) +
         "\n.leading dot\n..two dots\n\nlast line\n";
}

class Pop3Dovecot : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store.createQueueDirectories()); }
  void startServer() {
    const std::string reason = server.start();
    if (!reason.empty()) GTEST_SKIP() << reason;
  }
  POPSessionRequest request() const { return server.sessionRequest(); }
  std::vector<std::string> storedIndexFiles() const {
    ArrayStr names;
    EXPECT_TRUE(listFilesWithExtension(store.queueDirectory(QueueNumber::Inbound), "INX", names));
    std::vector<std::string> out;
    for (const Str& name : names) out.push_back(name.toStd());
    return out;
  }

  DovecotServer server;
  TempDir dir;
  QueueStore store{Str(std::string_view(dir.path()))};
  ArrayStr knownUids;
};

TEST_F(Pop3Dovecot, UserPassStoresExactBytesAndDeletesOnlyAfterTheFilesExist) {
  std::vector<std::string> wire;
  for (int n = 1; n <= 3; ++n) wire.push_back(server.addMessage(sampleMessage(n)));
  startServer();
  WSPOPClient client(store);
  // The trace sees each line just before it is sent: every DELE must find all files.
  std::vector<size_t> indexFilesAtDele;
  client.setTraceSink([&](const std::string& line) {
    if (line.find("> DELE") != std::string::npos) {
      indexFilesAtDele.push_back(storedIndexFiles().size());
    }
  });
  POPSessionRequest r = request();
  r.trace = true;
  POPSessionResult result;
  ASSERT_EQ(client.FetchMailbox(r, knownUids, result), 0);
  ASSERT_EQ(result.fetchedFiles.count(), 3);
  std::set<std::string> expected(wire.begin(), wire.end());
  std::set<std::string> stored;
  for (const Str& path : result.fetchedFiles) stored.insert(testing::readBytes(path.toStd()));
  EXPECT_EQ(stored, expected);
  EXPECT_EQ(indexFilesAtDele, (std::vector<size_t>{3, 3, 3}));
  for (const SMTPInfo& entry : result.entries) {
    SMTPInfo loaded;
    loaded.indexFile = entry.indexFile;
    ASSERT_EQ(store.loadIndex(loaded, QueueNumber::Inbound), IndexStatus::Loaded);
    EXPECT_EQ(loaded.source.toStd(), DovecotServer::kUser);
  }
  EXPECT_EQ(server.messageCount(), 0);
}

TEST_F(Pop3Dovecot, ApopLogsOn) {
  const std::string wire = server.addMessage(sampleMessage(1));
  startServer();
  WSPOPClient client(store);
  POPSessionRequest r = request();
  r.apop = true;
  POPSessionResult result;
  ASSERT_EQ(client.FetchMailbox(r, knownUids, result), 0);
  ASSERT_EQ(result.fetchedFiles.count(), 1);
  EXPECT_EQ(testing::readBytes(result.fetchedFiles[1].toStd()), wire);
  EXPECT_EQ(result.transcript.count(), 0);  // APOP itself was accepted
  EXPECT_NE(server.log().find("method=APOP"), std::string::npos) << server.log();
}

TEST_F(Pop3Dovecot, UidlModeLeavesMessagesAndASecondPassFetchesNothing) {
  for (int n = 1; n <= 3; ++n) (void)server.addMessage(sampleMessage(n));
  startServer();
  UidlStore uidls(dir.str(UidlStore::kFileName));
  ASSERT_TRUE(uidls.load(true));
  POPSessionRequest r = request();
  r.leaveOnServer = true;
  for (int pass = 1; pass <= 2; ++pass) {
    uidls.knownIds(r.host, r.user, knownUids);
    WSPOPClient client(store);
    POPSessionResult result;
    ASSERT_EQ(client.FetchMailbox(r, knownUids, result), 0);
    EXPECT_EQ(result.fetchedFiles.count(), pass == 1 ? 3 : 0) << pass;
    ASSERT_TRUE(uidls.saveIds(r.host, r.user, knownUids));
    EXPECT_EQ(uidls.lineCount(), 3);
  }
  EXPECT_EQ(server.messageCount(), 3);
  EXPECT_EQ(storedIndexFiles().size(), 3u);
}

TEST_F(Pop3Dovecot, OversizeMessageIsDeletedWithoutBeingFetched) {
  (void)server.addMessage(sampleMessage(1));
  (void)server.addMessage("Subject: big\n\n" + std::string(5000, 'x') + "\n");
  startServer();
  WSPOPClient client(store);
  POPSessionRequest r = request();
  r.maxMessageSize = 1000;
  POPSessionResult result;
  ASSERT_EQ(client.FetchMailbox(r, knownUids, result), 0);
  EXPECT_EQ(result.fetchedFiles.count(), 1);
  EXPECT_EQ(server.messageCount(), 0);
}

TEST_F(Pop3Dovecot, MaximumCountNeedsThreeSessionsFor25Messages) {
  std::set<std::string> expected;
  for (int n = 1; n <= 25; ++n) expected.insert(server.addMessage(sampleMessage(n)));
  startServer();
  POPSessionRequest r = request();
  r.maxMessages = 10;
  std::set<std::string> stored;
  int sessions = 0;
  bool morePending = true;
  while (morePending && sessions < 5) {
    WSPOPClient client(store);
    POPSessionResult result;
    ASSERT_EQ(client.FetchMailbox(r, knownUids, result), 0);
    ++sessions;
    for (const Str& path : result.fetchedFiles) stored.insert(testing::readBytes(path.toStd()));
    morePending = result.morePending;
  }
  EXPECT_EQ(sessions, 3);
  EXPECT_EQ(stored, expected);
  EXPECT_EQ(storedIndexFiles().size(), 25u);
  EXPECT_EQ(server.messageCount(), 0);
}

TEST_F(Pop3Dovecot, WrongPasswordIsNoOkAndLeavesTheMailboxUntouched) {
  for (int n = 1; n <= 2; ++n) (void)server.addMessage(sampleMessage(n));
  startServer();
  WSPOPClient client(store);
  POPSessionRequest r = request();
  r.password = "not-the-password";
  r.hidePassword = true;
  POPSessionResult result;
  const int code = client.FetchMailbox(r, knownUids, result);
  EXPECT_EQ(code, err::kNegativeReply);
  EXPECT_EQ(WSClient::errorText(code).toStd(), "Error: No OK received [21]");
  ASSERT_EQ(result.transcript.count(), 2);
  EXPECT_EQ(result.transcript[1].toStd(), "PASS *****");
  EXPECT_EQ(server.messageCount(), 2);
  EXPECT_TRUE(storedIndexFiles().empty());
}

}  // namespace
}  // namespace quillet
