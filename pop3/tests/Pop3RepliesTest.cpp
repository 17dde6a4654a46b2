// Reading POP3 replies: the positive test, numbers of odd shapes, unique ids of any length,
// the APOP timestamp, capabilities and the transcript mask.
#include <gtest/gtest.h>

#include <string>

#include "pop3/Pop3Replies.h"
#include "pop3/WSPOPClient.h"

namespace quillet::pop3 {
namespace {

TEST(Pop3Replies, PositiveReplySkipsWhiteSpaceAndIgnoresCase) {
  EXPECT_TRUE(isPositiveReply("+OK"));
  EXPECT_TRUE(isPositiveReply("  \t+ok fine"));
  EXPECT_FALSE(isPositiveReply("-ERR +OK"));
  EXPECT_FALSE(isPositiveReply(""));
  EXPECT_FALSE(isPositiveReply("+O"));
}

TEST(Pop3Replies, StatCountNeedsABlankAfterTheCount) {
  struct Case {
    const char* reply;
    uint32_t count;
  } cases[] = {
      {"+OK 5 1234", 5},
      {"+OK 5", 0},
      {"+OK", 0},
      {"+OK abc 12", 0},
      {"+OK -3 12", 0},
      {"+OK 2 ", 2},
      {"+OK 99999999999999999999999 1", 0xffffffffu},
      {"+OK  7 1", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(statMessageCount(c.reply), c.count) << c.reply;
}

TEST(Pop3Replies, ThirdWordOnlyForExactlyThreeWords) {
  EXPECT_EQ(thirdWord("+OK 1 abc").toStd(), "abc");
  EXPECT_EQ(thirdWord("  +OK 1 abc \r").toStd(), "abc");
  EXPECT_TRUE(thirdWord("+OK 1 abc def").empty());
  EXPECT_TRUE(thirdWord("+OK 1").empty());
  EXPECT_TRUE(thirdWord("+OK  1 abc").empty());
}

TEST(Pop3Replies, UniqueIdsThatCannotBeStoredCountAsEmpty) {
  EXPECT_EQ(uniqueIdOf("+OK 3 whqtswO00WBw418f9t5JxYwZ").toStd(), "whqtswO00WBw418f9t5JxYwZ");
  EXPECT_EQ(uniqueIdOf(Str(std::string_view("+OK 3 " + std::string(70, 'x')))).length(), 70);
  EXPECT_TRUE(uniqueIdOf(Str(std::string_view("+OK 3 " + std::string(71, 'x')))).empty());
  EXPECT_TRUE(uniqueIdOf(Str(std::string_view("+OK 3 ab\x01"
                                              "c")))
                  .empty());
  EXPECT_TRUE(uniqueIdOf(Str(std::string_view("+OK 3 ab\0c", 10))).empty());
  EXPECT_TRUE(uniqueIdOf(Str(std::string_view("+OK 3 a"
                                              "\x7f")))
                  .empty());
  EXPECT_TRUE(uniqueIdOf(Str(std::string(100000, 'y'))).empty());
}

TEST(Pop3Replies, ListSizeIsZeroForOtherShapes) {
  EXPECT_EQ(listSize("+OK 1 1001"), 1001u);
  EXPECT_EQ(listSize("+OK 1 1001 extra"), 0u);
  EXPECT_EQ(listSize("+OK 1"), 0u);
  EXPECT_EQ(listSize("+OK 1 12abc"), 0u);
  EXPECT_EQ(listSize("+OK 1 99999999999999999999999"), UINT64_MAX);
}

TEST(Pop3Replies, CompressedSizeFollowsTheStatus) {
  EXPECT_EQ(compressedSize("+OK 345"), 345u);
  EXPECT_EQ(compressedSize("+OK345 octets"), 345u);
  EXPECT_EQ(compressedSize("+OK"), 0u);
}

TEST(Pop3Replies, ApopTimestampFromFirstAngleBracket) {
  EXPECT_EQ(apopTimestamp("+OK POP3 <1896.697170952@dbc.mtview.ca.us> ready").toStd(),
            "<1896.697170952@dbc.mtview.ca.us>");
  EXPECT_EQ(apopTimestamp("+OK > x <a<b> <c>").toStd(), "<a<b>");
  EXPECT_TRUE(apopTimestamp("+OK ready").empty());
  EXPECT_TRUE(apopTimestamp("+OK <unterminated").empty());
}

TEST(Pop3Replies, CapabilitiesAreWholeLinesIgnoringCase) {
  ArrayStr lines;
  lines.add("TOP");
  lines.add("xbcomp");
  EXPECT_TRUE(capabilitiesOf(lines).compressedRetrieval);
  EXPECT_FALSE(capabilitiesOf(lines).noopRecovery);
  ArrayStr other;
  other.add("XBCOMPX");
  other.add("implementation ipswitch_imail_5.0");
  EXPECT_FALSE(capabilitiesOf(other).compressedRetrieval);
  EXPECT_TRUE(capabilitiesOf(other).noopRecovery);
}

TEST(Pop3Replies, TranscriptLinesHideThePassword) {
  EXPECT_EQ(transcriptLine("-ERR bad\r\n", false).toStd(), "-ERR bad");
  EXPECT_EQ(transcriptLine("PASS secret", true).toStd(), "PASS *****");
  EXPECT_EQ(transcriptLine("pass s", true).toStd(), "PASS *****");
  EXPECT_EQ(transcriptLine("PASS secret", false).toStd(), "PASS secret");
  EXPECT_EQ(transcriptLine("PASS ", true).toStd(), "PASS");
  EXPECT_EQ(transcriptLine("PASSWORD x", true).toStd(), "PASSWORD x");
}

TEST(Pop3Replies, PasswordsWithLineBreaksOrNulCannotBeSent) {
  EXPECT_TRUE(isSendablePassword("s3cr\x01t"));
  EXPECT_FALSE(isSendablePassword("a\rb"));
  EXPECT_FALSE(isSendablePassword("a\nb"));
  EXPECT_FALSE(isSendablePassword(Str("a\0b", 3)));
}

}  // namespace
}  // namespace quillet::pop3

namespace quillet {
namespace {

TEST(Pop3Port, BlankPortMeans995ForPop3sAndTheDefaultOtherwise) {
  EXPECT_EQ(pop3PortFor(0, ConnectionSecurity::Tls, 110), 995);
  EXPECT_EQ(pop3PortFor(0, ConnectionSecurity::StartTls, 110), 110);
  EXPECT_EQ(pop3PortFor(0, ConnectionSecurity::Plain, 1110), 1110);
  EXPECT_EQ(pop3PortFor(2995, ConnectionSecurity::Tls, 110), 2995);
}

}  // namespace
}  // namespace quillet
