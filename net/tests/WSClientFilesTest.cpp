// File transfers of the socket client against scripted peers: a dot-terminated block whose
// terminator is split across reads, counted receives, raw and line-wise sending, and
// sending a file whose reads fail.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "base/ErrorCodes.h"
#include "base/File.h"
#include "base/ProcessContext.h"
#include "net/WSClient.h"
#include "tests/support/FailingReadFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::readBytes;
using testing::ScriptedPeer;
using testing::writeBytes;

class WSClientFiles : public ::testing::Test {
 protected:
  std::string path(const char* name) const { return dir_.file(name); }
  // Slices of 2 s keep a busy machine from turning a peer's short pause into a time-out;
  // the tests of silent peers ask for short slices.
  static void connect(WSClient& client, const ScriptedPeer& peer, int sliceMs = 2000) {
    client.setSliceTiming(SliceTiming{sliceMs, 10});
    ASSERT_EQ(client.open(), 0);
    ASSERT_EQ(client.connect("127.0.0.1", peer.port(), 5000, 0), 0);
  }

  testing::TempDir dir_{"net-files"};
};

TEST_F(WSClientFiles, DotTerminatedBlockEndsAtATerminatorSplitAcrossReads) {
  ScriptedPeer peer([](int fd) {
    ScriptedPeer::send(fd, "+OK 30 octets\r\nSubject: x\r\n\r\n..dot\r\n.");
    ScriptedPeer::sleepMs(30);
    ScriptedPeer::send(fd, "\r");
    ScriptedPeer::sleepMs(30);
    ScriptedPeer::send(fd, "\n+OK next\r\n");
    ScriptedPeer::readToEnd(fd);
  });
  WSClient client;
  connect(client, peer);
  Str status;
  ASSERT_EQ(client.readLine(status, 5000, 0), 0);
  File file(Str(path("msg.txt").c_str()));
  ASSERT_TRUE(file.open(File::kCreate));
  ASSERT_EQ(client.recvDotTerminatedToFile(file, 5000), 0);
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readBytes(path("msg.txt")), "Subject: x\r\n\r\n..dot\r\n.\r\n");
  Str next;
  ASSERT_EQ(client.readLine(next, 5000, 0), 0);  // nothing after the terminator was lost
  EXPECT_STREQ(next.c_str(), "+OK next");
  EXPECT_EQ(client.close(0), 0);
}

TEST_F(WSClientFiles, DotTerminatedBlockFromAPeerThatStopsGives11Or9) {
  ScriptedPeer closing([](int fd) { ScriptedPeer::send(fd, "line\r\n"); });
  WSClient client;
  connect(client, closing);
  File file(Str(path("cut.txt").c_str()));
  ASSERT_TRUE(file.open(File::kCreate));
  EXPECT_EQ(client.recvDotTerminatedToFile(file, 5000), err::kPeerClosed);

  ScriptedPeer silent(ScriptedPeer::saysThenListens("line\r\n"));
  WSClient second;
  connect(second, silent, 50);
  EXPECT_EQ(second.recvDotTerminatedToFile(file, 5000), err::kReadTimeout);
  EXPECT_EQ(second.close(0), 0);
}

TEST_F(WSClientFiles, DotTerminatedBlockPastItsCapEndsWith191) {
  const std::string line(1000, 'x');
  ScriptedPeer endless([&line](int fd) {
    for (int i = 0; i < 300; ++i) ScriptedPeer::send(fd, line + "\r\n");
    ScriptedPeer::readToEnd(fd);
  });
  WSClient client;
  connect(client, endless);
  File file(Str(path("endless.txt").c_str()));
  ASSERT_TRUE(file.open(File::kCreate));
  EXPECT_EQ(client.recvDotTerminatedToFile(file, 5000, 64 * 1024), err::kBlockTooLarge);
  ASSERT_TRUE(file.close());
  EXPECT_LE(readBytes(path("endless.txt")).size(), 64u * 1024);
  EXPECT_EQ(client.close(0), 0);

  // A block that ends exactly at the cap is complete.
  const std::string block = line + "\r\n.\r\n";
  ScriptedPeer exact(ScriptedPeer::saysThenListens(block));
  WSClient second;
  connect(second, exact);
  File whole(Str(path("exact.txt").c_str()));
  ASSERT_TRUE(whole.open(File::kCreate));
  EXPECT_EQ(second.recvDotTerminatedToFile(whole, 5000, static_cast<int64_t>(block.size())), 0);
  ASSERT_TRUE(whole.close());
  EXPECT_EQ(readBytes(path("exact.txt")), block);
  EXPECT_EQ(second.close(0), 0);
}

TEST_F(WSClientFiles, CountedReceiveFillsTheFileInChunks) {
  std::string body;
  for (int i = 0; body.size() < 20000; ++i) body += "chunk " + std::to_string(i) + "\r\n";
  body.resize(20000);
  ScriptedPeer peer([&body](int fd) { ScriptedPeer::send(fd, "HEAD\r\n" + body + "TAIL\r\n"); });
  WSClient client;
  connect(client, peer);
  Str head;
  ASSERT_EQ(client.readLine(head, 5000, 0), 0);  // part of the body is buffered by now
  File file(Str(path("counted.bin").c_str()));
  ASSERT_TRUE(file.open(File::kCreate));
  ASSERT_EQ(client.recvToFile(file, 20000, 4096, 5000), 0);
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readBytes(path("counted.bin")), body);
  Str tail;
  ASSERT_EQ(client.readLine(tail, 5000, 0), 0);
  EXPECT_STREQ(tail.c_str(), "TAIL");
}

TEST_F(WSClientFiles, SendsAFileRawOrLineByLineWithTheBodyLimit) {
  const std::string message = "From: a\r\nTo: b\r\n\r\nbody 1\r\nbody 2\r\nbody 3\r\n";
  writeBytes(path("out.txt"), message);
  std::string raw, limited, shortFile;
  ScriptedPeer rawPeer([&raw](int fd) { raw = ScriptedPeer::readToEnd(fd); });
  ScriptedPeer limitPeer([&limited](int fd) { limited = ScriptedPeer::readToEnd(fd); });
  ScriptedPeer shortPeer([&shortFile](int fd) { shortFile = ScriptedPeer::readToEnd(fd); });
  const Str name(path("out.txt").c_str());
  {
    WSClient client;
    connect(client, rawPeer);
    ASSERT_EQ(client.sendFile(name, 0, 0, 0), 0);
  }
  {
    WSClient client;
    connect(client, limitPeer);
    ASSERT_EQ(client.sendFile(name, 0, 0, 2), 0);
  }
  {
    WSClient client;
    connect(client, shortPeer);
    ASSERT_EQ(client.sendFile(name, 0, 0, 10), 0);
  }
  rawPeer.join();
  limitPeer.join();
  shortPeer.join();
  EXPECT_EQ(raw, message);
  EXPECT_EQ(limited, "From: a\r\nTo: b\r\n\r\nbody 1\r\nbody 2\r\n.\r\n");
  EXPECT_EQ(shortFile, message);  // ended before the limit: no "." line
}

TEST_F(WSClientFiles, MissingFileGives19OrAnEmptyBody) {
  std::string sent;
  ScriptedPeer peer([&sent](int fd) { sent = ScriptedPeer::readToEnd(fd); });
  const Str missing(path("missing.txt").c_str());
  ProcessContext::instance().setCheckBeforeFileOpen(true);  // no retries for a missing file
  {
    WSClient client;
    connect(client, peer);
    EXPECT_EQ(client.sendFile(missing, 0, 0, 0), err::kOpenSmtpFile);
    EXPECT_EQ(client.sendFile(missing, 0, wsopt::kSendEmptyBody, 0), 0);
  }
  ProcessContext::instance().setCheckBeforeFileOpen(false);
  peer.join();
  EXPECT_EQ(sent, "\r\n.\r\n");
}

// A file that fails while it is sent fails the transfer: the peer never receives the whole
// message or a terminating "." line, and the caller gets 192, not success.
TEST_F(WSClientFiles, ReadErrorWhileSendingFailsTheTransfer) {
  std::string message = "From: a\r\nTo: b\r\n\r\n";
  for (int i = 0; i < 3000; ++i) message += "body line " + std::to_string(i) + "\r\n";
  writeBytes(path("queued.txt"), message);
  const Str name(path("queued.txt").c_str());
  const int failAfter = WSClient::kFileBlockSize * 2 + 100;
  ASSERT_GT(message.size(), static_cast<size_t>(failAfter) * 2);

  std::string raw, lines, unreadable;
  ScriptedPeer rawPeer([&raw](int fd) { raw = ScriptedPeer::readToEnd(fd); });
  ScriptedPeer linePeer([&lines](int fd) { lines = ScriptedPeer::readToEnd(fd); });
  ScriptedPeer unreadablePeer([&unreadable](int fd) { unreadable = ScriptedPeer::readToEnd(fd); });
  {
    WSClient client;
    connect(client, rawPeer);
    testing::FailingReadFile file(name, failAfter);
    ASSERT_TRUE(file.open(File::kReadShared));
    EXPECT_EQ(client.sendOpenFile(file, 0, 0), err::kFileReadFailed);
  }
  {
    WSClient client;
    connect(client, linePeer);
    testing::FailingReadFile file(name, failAfter);
    ASSERT_TRUE(file.open(File::kReadShared));
    EXPECT_EQ(client.sendOpenFile(file, 0, 100000), err::kFileReadFailed);
  }
  {
    WSClient client;
    connect(client, unreadablePeer);
    EXPECT_EQ(client.sendFile(Str(testing::kUnreadableFilePath), 0, 0, 0), err::kFileReadFailed);
    EXPECT_EQ(client.sendFile(Str(testing::kUnreadableFilePath), 0, 0, 5), err::kFileReadFailed);
  }
  rawPeer.join();
  linePeer.join();
  unreadablePeer.join();
  // Only whole blocks or lines read before the failure went out, never what the failing
  // read returned, and nothing that ends the message.
  EXPECT_LE(raw.size(), static_cast<size_t>(failAfter));
  EXPECT_EQ(raw, message.substr(0, raw.size()));
  EXPECT_LE(lines.size(), static_cast<size_t>(failAfter));
  EXPECT_EQ(lines, message.substr(0, lines.size()));
  EXPECT_EQ(lines.find("\r\n.\r\n"), std::string::npos);
  EXPECT_EQ(unreadable, "");
}

}  // namespace
}  // namespace quillet
