// The status display as a terminal shows it: header, frame, scrolling message window,
// clock and status line, colours and mono, restore on close; status line columns for
// widths 80 and 132.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/Clock.h"
#include "server/display/ClockThread.h"
#include "server/display/ConsoleDisplay.h"
#include "server/display/StatusLine.h"
#include "server/display/tests/VirtualTerminal.h"
#include "server/runtime/MessageOutput.h"

namespace quillet {
namespace {

using testing::VirtualTerminal;
using namespace std::chrono_literals;

std::string repeat(const char* glyph, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += glyph;
  return text;
}

Timer at(int hour, int minute, int second) {
  return Timer{Date{2026, 12, 0, 7},
               Time{static_cast<uint16_t>(hour), static_cast<uint16_t>(minute),
                    static_cast<uint16_t>(second), 0}};
}

class ScreenTest : public ::testing::Test {
 protected:
  std::unique_ptr<ConsoleDisplay> makeDisplay(VirtualTerminal& terminal, int width, int height,
                                              bool mono = false) {
    return std::make_unique<ConsoleDisplay>(
        [&terminal](std::string_view bytes) { terminal.feed(bytes); }, width, height, mono, -1);
  }
};

TEST_F(ScreenTest, DrawsHeaderFrameClockAndStatusLine) {
  TestClock clock(at(9, 5, 3));
  VirtualTerminal terminal(80, 25);
  auto display = makeDisplay(terminal, 80, 25);
  EXPECT_TRUE(terminal.alternateScreen());
  EXPECT_FALSE(terminal.cursorVisible());
  display->drawHeader("Quillet v3.19", "Mail collector for small offices");
  display->messageWindow();

  ServerCounters counters;
  counters.sent = 12;
  counters.received = 345;
  counters.connections = 2;
  StatusSource source;
  source.counters = &counters;
  source.outboundQueueLength = [] { return 7u; };
  source.threadCount = [] { return 5u; };
  ClockThread clockThread(nullptr, &display->screen(), source);
  ASSERT_TRUE(clockThread.refresh());

  EXPECT_EQ(terminal.row(0), " Quillet v3.19" + std::string(48, ' ') + "26-12-07 09:05:03 ");
  EXPECT_EQ(terminal.row(1), " Mail collector for small offices" + std::string(47, ' '));
  EXPECT_EQ(terminal.row(2), "\u250C" + repeat("\u2500", 78) + "\u2510");
  EXPECT_EQ(terminal.row(3), "\u2502" + std::string(78, ' ') + "\u2502");
  EXPECT_EQ(terminal.row(23), "\u2514" + repeat("\u2500", 78) + "\u2518");
  EXPECT_EQ(terminal.row(24),
            " Sent: 12     Recv: 345    In-Q: 0    Out-Q: 7       Con: 2     "
            " Thr: 5         ");

  EXPECT_EQ(terminal.colour(0, 5), "0;30;46");  // black on cyan
  EXPECT_EQ(terminal.colour(24, 0), "0;30;46");
  EXPECT_EQ(terminal.colour(3, 5), "0;37;44");  // light grey on blue
  EXPECT_EQ(terminal.colour(2, 0), "0;97;44");  // white on blue
  EXPECT_EQ(terminal.colour(12, 79), "0;97;44");

  display.reset();
  EXPECT_FALSE(terminal.alternateScreen());
  EXPECT_TRUE(terminal.cursorVisible());
}

TEST_F(ScreenTest, MonoUsesGreyOnBlack) {
  VirtualTerminal terminal(40, 10);
  auto display = makeDisplay(terminal, 40, 10, true);
  display->drawHeader("Quillet v3.19", "");
  display->messageWindow().showLine("12:00 hello");
  EXPECT_EQ(terminal.colour(0, 1), "0;37;40");
  EXPECT_EQ(terminal.colour(3, 1), "0;37;40");
  EXPECT_EQ(terminal.colour(2, 0), "0;97;40");
}

TEST_F(ScreenTest, MessageWindowScrollsInsideTheFrameAndCutsLines) {
  VirtualTerminal terminal(30, 8);  // inner rows 3 to 5, 28 columns
  auto display = makeDisplay(terminal, 30, 8);
  MessageOutput output(LogOptions{false, "", 0, ""});
  output.setMessageArea(&display->messageWindow());
  output.write("first", false);
  EXPECT_EQ(terminal.row(3), "\u2502      first" + std::string(17, ' ') + "\u2502");
  output.write("second", false);
  output.write("third", false);
  output.write("fourth \x1b[2J with escape", false);
  output.write("a line much longer than the window is wide", false);

  EXPECT_EQ(terminal.row(2), "\u250C" + repeat("\u2500", 28) + "\u2510");
  EXPECT_EQ(terminal.row(3), "\u2502      third" + std::string(17, ' ') + "\u2502");
  EXPECT_EQ(terminal.row(4), "\u2502      fourth  [2J with escap\u2502");
  EXPECT_EQ(terminal.row(5), "\u2502      a line much longer tha\u2502");
  EXPECT_EQ(terminal.row(6), "\u2514" + repeat("\u2500", 28) + "\u2518");
  output.setMessageArea(nullptr);
}

TEST_F(ScreenTest, TinyScreenShowsNoMessagesAndNeverWritesOutside) {
  VirtualTerminal terminal(3, 3);
  auto display = makeDisplay(terminal, 3, 3);
  display->drawHeader("Quillet v3.19", "notice");
  display->messageWindow().showLine("hello");
  EXPECT_EQ(terminal.row(0), " Qu");
}

TEST(StatusLineTest, ColumnsAtWidth80) {
  StatusValues values{1, 22, 333, 4444, 55555, 666};
  const std::string row = renderStatusRow(values, 0, 80).toStd();
  ASSERT_EQ(row.size(), 80u);
  EXPECT_EQ(row.substr(1, 12), "Sent: 1     ");
  EXPECT_EQ(row.substr(14, 12), "Recv: 22    ");
  EXPECT_EQ(row.substr(27, 10), "In-Q: 333 ");
  EXPECT_EQ(row.substr(38, 11), "Out-Q: 4444");
  EXPECT_EQ(row.substr(53, 11), "Con: 55555 ");
  EXPECT_EQ(row.substr(65, 8), "Thr: 666");
  // The break covers the counters beneath it on a narrow screen without leaving digits of
  // them between its date and time.
  const uint32_t breakAt = toTimestamp(Date{2026, 12, 0, 8}, Time{3, 0, 0, 0});
  EXPECT_EQ(renderStatusRow(values, breakAt, 80).toStd().substr(53), "CoBreak: 26-12-08 03:00:00 ");
  // Longer numbers are cut to their field.
  values.sent = 12345678;
  values.threads = 1000;
  const std::string cut = renderStatusRow(values, 0, 80).toStd();
  EXPECT_EQ(cut.substr(1, 13), "Sent: 123456 ");
  EXPECT_EQ(cut.substr(65, 9), "Thr: 100 ");
}

TEST(StatusLineTest, BreakTimeAtWidth132) {
  const uint32_t breakAt = toTimestamp(Date{2026, 12, 0, 8}, Time{3, 0, 0, 0});
  const std::string row = renderStatusRow(StatusValues{}, breakAt, 132).toStd();
  ASSERT_EQ(row.size(), 132u);
  EXPECT_EQ(row.substr(107, 7), "Break: ");
  EXPECT_EQ(row.substr(114, 9), "26-12-08 ");
  EXPECT_EQ(row.substr(123, 9), "03:00:00 ");
  EXPECT_EQ(row.substr(65, 9), "Thr: 0   ");
  EXPECT_EQ(dateColumn(132), 114);
  EXPECT_EQ(timeColumn(132), 123);
  EXPECT_EQ(renderStatusRow(StatusValues{}, 0, 132).toStd().find("Break"), std::string::npos);
}

TEST_F(ScreenTest, ClockRedrawsOncePerSecondAndShowsTheBreak) {
  TestClock clock(at(23, 59, 59));
  VirtualTerminal terminal(132, 30);
  auto display = makeDisplay(terminal, 132, 30);
  StatusSource source;
  source.breakAt = toTimestamp(Date{2026, 12, 0, 8}, Time{3, 0, 0, 0});
  ClockThread clockThread(nullptr, &display->screen(), source);

  EXPECT_TRUE(clockThread.refresh());
  clock.advance(std::chrono::milliseconds(999));
  EXPECT_FALSE(clockThread.refresh()) << "same second";
  EXPECT_EQ(terminal.row(0).substr(114), "26-12-07 23:59:59 ");
  clock.advance(std::chrono::milliseconds(1));
  EXPECT_TRUE(clockThread.refresh());
  EXPECT_EQ(terminal.row(0).substr(114), "26-12-08 00:00:00 ");
  EXPECT_EQ(terminal.row(29).substr(107), "Break: 26-12-08 03:00:00 ");

  ClockThread withoutScreen(nullptr, nullptr, source);
  EXPECT_FALSE(withoutScreen.refresh());
}

TEST_F(ScreenTest, ClockThreadRunsUntilAskedToStop) {
  ThreadRegistry registry;
  auto* clock = new ClockThread(&registry, nullptr, StatusSource{});
  clock->setAutoDelete(false);
  ASSERT_TRUE(clock->start());
  for (int i = 0; i < 200 && !clock->running(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(clock->running());
  EXPECT_EQ(registry.count(), 1);
  clock->requestStop();
  for (int i = 0; i < 200 && clock->running(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(clock->running()) << "a stop request ends the pause at once";
  clock->join();
  delete clock;
  EXPECT_EQ(registry.count(), 0);
}

}  // namespace
}  // namespace quillet
