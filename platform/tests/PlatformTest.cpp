// Terminal raw mode and key bytes on a pseudo terminal, and event log message texts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/EventLog.h"
#include "platform/Terminal.h"

namespace quillet {
namespace {

// A pseudo terminal pair: the master side plays the user, the slave side is our terminal.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
  }
  ~PseudoTerminal() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  int master() const { return master_; }
  int slave() const { return slave_; }

 private:
  int master_ = -1;
  int slave_ = -1;
};

TEST(TerminalTest, RawModeIsEnteredAndRestored) {
  PseudoTerminal pty;
  ASSERT_GE(pty.slave(), 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(pty.slave(), &before), 0);
  ASSERT_NE(before.c_lflag & ICANON, 0u);
  {
    RawTerminalMode raw(pty.slave());
    ASSERT_TRUE(raw.active());
    termios during{};
    ASSERT_EQ(::tcgetattr(pty.slave(), &during), 0);
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_NE(during.c_lflag & ISIG, 0u) << "Ctrl+C must still raise SIGINT";

    // A second raw mode while one is active does nothing.
    RawTerminalMode second(pty.slave());
    EXPECT_FALSE(second.active());

    // Single key presses arrive without a line end.
    ASSERT_EQ(::write(pty.master(), "q", 1), 1);
    std::string keys;
    for (int i = 0; i < 100 && keys.empty(); ++i) {
      keys = readWaitingBytes(pty.slave());
      if (keys.empty()) ::usleep(10000);
    }
    EXPECT_EQ(keys, "q");
    EXPECT_EQ(readWaitingBytes(pty.slave()), "") << "nothing waiting: returns at once";
  }
  termios after{};
  ASSERT_EQ(::tcgetattr(pty.slave(), &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
}

TEST(TerminalTest, RestoreFromSignalPathEndsRawMode) {
  PseudoTerminal pty;
  ASSERT_GE(pty.slave(), 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(pty.slave(), &before), 0);
  RawTerminalMode raw(pty.slave());
  ASSERT_TRUE(raw.active());
  restoreTerminalFromSignal();
  termios after{};
  ASSERT_EQ(::tcgetattr(pty.slave(), &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
}

TEST(TerminalTest, RestoreSequenceIsWrittenOnceWithoutRawMode) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  std::fflush(stdout);
  const int savedStdout = ::dup(STDOUT_FILENO);
  ASSERT_EQ(::dup2(pipeEnds[1], STDOUT_FILENO), STDOUT_FILENO);
  setTerminalRestoreSequence("\x1b[?1049l");
  restoreTerminalFromSignal();
  restoreTerminalFromSignal();
  setTerminalRestoreSequence("cleared");
  setTerminalRestoreSequence({});
  restoreTerminalFromSignal();
  ::dup2(savedStdout, STDOUT_FILENO);
  ::close(savedStdout);
  ::close(pipeEnds[1]);
  EXPECT_EQ(readWaitingBytes(pipeEnds[0]), "\x1b[?1049l");
  ::close(pipeEnds[0]);
}

TEST(TerminalTest, SizeAndTerminalTests) {
  PseudoTerminal pty;
  ASSERT_GE(pty.slave(), 0);
  winsize size{};
  size.ws_col = 132;
  size.ws_row = 43;
  ASSERT_EQ(::ioctl(pty.slave(), TIOCSWINSZ, &size), 0);
  EXPECT_TRUE(isTerminal(pty.slave()));
  const auto reported = terminalSize(pty.slave());
  ASSERT_TRUE(reported.has_value());
  EXPECT_EQ(reported->columns, 132);
  EXPECT_EQ(reported->rows, 43);

  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  EXPECT_FALSE(isTerminal(pipeEnds[0]));
  EXPECT_FALSE(terminalSize(pipeEnds[0]).has_value());
  RawTerminalMode notATerminal(pipeEnds[0]);
  EXPECT_FALSE(notATerminal.active());
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

TEST(EventLogTest, MessageTextsCarryIdAndCleanedStrings) {
  EXPECT_EQ(EventLog::formatEvent(EventLog::kEventStarted, {"Quillet"}), "event 1: Quillet");
  EXPECT_EQ(EventLog::formatEvent(EventLog::kEventError,
                                  {"Quillet error: 5", "SetServiceStatus failed!"}),
            "event 0: Quillet error: 5; SetServiceStatus failed!");
  EXPECT_EQ(EventLog::formatEvent(2, {"bad\r\nname\x1b"}), "event 2: bad  name ");
  const std::string longText(5000, 'x');
  EXPECT_EQ(EventLog::formatEvent(0, {longText}).size(), EventLog::kMaxMessageLength);
}

}  // namespace
}  // namespace quillet
