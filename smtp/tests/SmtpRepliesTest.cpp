// Reply assembly and classification: noise before the code, multi-line replies, the line
// caps, every phase's table rows and defaults, enhanced status codes, 590, the extension
// list with its first-line rule, the SIZE limit and the AUTH forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ErrorCodes.h"
#include "smtp/SmtpReplies.h"

namespace quillet::smtp {
namespace {

ArrayStr lines(const std::vector<std::string>& texts) {
  ArrayStr out;
  for (const std::string& text : texts) out.add(Str(std::string_view(text)));
  return out;
}

TEST(ReplyAssembler, SkipsLinesWithoutCodeAndEndsAtTheLineWithoutDash) {
  ReplyAssembler assembler;
  EXPECT_EQ(assembler.add("Welcome, friend"), ReplyAssembler::Step::NeedMore);
  EXPECT_EQ(assembler.add("22"), ReplyAssembler::Step::NeedMore);
  EXPECT_EQ(assembler.add("220-first"), ReplyAssembler::Step::NeedMore);
  EXPECT_EQ(assembler.add("220 last"), ReplyAssembler::Step::Complete);
  const Reply& reply = assembler.reply();
  ASSERT_EQ(reply.lines.count(), 2);
  EXPECT_EQ(reply.lines[1].toStd(), "220-first");
  EXPECT_EQ(reply.line.toStd(), "220 last");
  EXPECT_EQ(reply.code, 220);
  EXPECT_TRUE(reply.isSuccess());
}

TEST(ReplyAssembler, ACodeAloneIsAWholeReply) {
  ReplyAssembler assembler;
  EXPECT_EQ(assembler.add("250"), ReplyAssembler::Step::Complete);
  EXPECT_EQ(assembler.reply().code, 250);
}

TEST(ReplyAssembler, KeepsAtMostTheCapOfLinesAndGivesUpAfterTheReadCap) {
  ReplyAssembler assembler;
  int i = 0;
  ReplyAssembler::Step step = ReplyAssembler::Step::NeedMore;
  for (; i < Reply::kMaxReadLines + 5 && step == ReplyAssembler::Step::NeedMore; ++i) {
    step = assembler.add("250-endless");
  }
  EXPECT_EQ(step, ReplyAssembler::Step::TooLong);
  EXPECT_EQ(i, Reply::kMaxReadLines + 1);
  EXPECT_EQ(assembler.reply().lines.count(), Reply::kMaxKeptLines);
}

struct Row {
  const char* line;
  Phase phase;
  const char* status;
  int result;
};

TEST(Classify, UsesPhaseRowsThenCommonRowsThenDefaults) {
  const Row rows[] = {
      {"250 ok", Phase::MailFrom, "", 0},
      {"354 go ahead", Phase::Data, "", 0},
      {"334 VXNlcm5hbWU6", Phase::Auth, "", 0},
      {"421 closing", Phase::Session, "4.3.2", 51},
      {"451 local error", Phase::Data, "4.3.0", 51},
      {"452 too many", Phase::RcptTo, "4.3.1", 51},
      {"450 mailbox busy", Phase::RcptTo, "4.2.2", 51},
      {"450 busy", Phase::MailFrom, "4.1.7", 51},
      {"500 syntax", Phase::Greeting, "5.5.1", 50},
      {"501 args", Phase::Auth, "5.5.2", 50},
      {"503 sequence", Phase::RcptTo, "5.5.0", 50},
      {"505 x", Phase::MailFrom, "5.7.4", 50},
      {"530 auth first", Phase::MailFrom, "5.7.0", 50},
      {"550 sender", Phase::MailFrom, "5.1.8", 50},
      {"552 too big", Phase::MailFrom, "5.3.4", 50},
      {"521 x", Phase::RcptTo, "5.3.3", 50},
      {"550 no such user", Phase::RcptTo, "5.1.1", 50},
      {"551 not local", Phase::RcptTo, "5.1.6", 50},
      {"552 full", Phase::RcptTo, "5.2.3", 50},
      {"553 bad name", Phase::RcptTo, "5.1.1", 50},
      {"554 failed", Phase::RcptTo, "5.2.1", 50},
      {"552 full", Phase::Data, "5.2.3", 50},
      {"554 failed", Phase::Data, "5.2.1", 50},
      {"554 failed", Phase::Greeting, "5.4.0", 50},
      {"471 later", Phase::Greeting, "4.4.0", 51},
      {"535 bad", Phase::Auth, "5.7.1", 50},
      {"454 later", Phase::Auth, "4.7.1", 51},
      {"499 x", Phase::RcptTo, "4.1.3", 51},
      {"599 x", Phase::RcptTo, "5.1.3", 50},
      {"450 x", Phase::Session, "4.5.0", 51},
      {"550 x", Phase::Session, "5.5.0", 50},
      {"550 x", Phase::Data, "5.5.0", 50},
      {"621 odd", Phase::Data, "5.5.0", 50},
  };
  for (const Row& row : rows) {
    const Verdict verdict = classify(row.line, row.phase, false);
    EXPECT_EQ(verdict.statusCode.toStd(), row.status) << row.line;
    EXPECT_EQ(verdict.result, row.result) << row.line;
  }
}

TEST(Classify, Reply590Gives155AndItsStatusInEveryPhase) {
  for (Phase phase : {Phase::Session, Phase::Greeting, Phase::Auth, Phase::MailFrom, Phase::RcptTo,
                      Phase::Data}) {
    const Verdict verdict = classify("590 try elsewhere", phase, false);
    EXPECT_EQ(verdict.result, err::kReply590);
    EXPECT_EQ(verdict.statusCode.toStd(), "5.5.4");
  }
}

TEST(Classify, EnhancedCodeInTheTextCountsOnlyWhenAdvertisedAndWellFormed) {
  EXPECT_EQ(classify("550 5.7.1 relay denied", Phase::RcptTo, true).statusCode.toStd(), "5.7.1");
  EXPECT_EQ(classify("550 5.7.1 relay denied", Phase::RcptTo, false).statusCode.toStd(), "5.1.1");
  EXPECT_EQ(classify("550 5.7.1 relay denied", Phase::RcptTo, true).result, 50);
  EXPECT_EQ(classify("450-4.2.0 busy", Phase::RcptTo, true).statusCode.toStd(), "4.2.0");
  // Malformed: wrong class, missing dots, letters, too short.
  EXPECT_EQ(classify("550 3.1.1 x", Phase::RcptTo, true).statusCode.toStd(), "5.1.1");
  EXPECT_EQ(classify("550 5-1-1 x", Phase::RcptTo, true).statusCode.toStd(), "5.1.1");
  EXPECT_EQ(classify("550 5.x.1 x", Phase::RcptTo, true).statusCode.toStd(), "5.1.1");
  EXPECT_EQ(classify("550 5.1.", Phase::RcptTo, true).statusCode.toStd(), "5.1.1");
  // A temporary reply with a permanent-looking code keeps its own reply class for the result.
  EXPECT_EQ(classify("451 5.3.0 odd", Phase::Data, true).result, 51);
}

TEST(Extensions, DropTheDottedFirstLineAndKeepKeywordsTrimmed) {
  const ArrayStr extensions =
      extensionsOf(lines({"250-mail.example.com hello", "250-SIZE 1000", "250 DSN  "}));
  ASSERT_EQ(extensions.count(), 2);
  EXPECT_EQ(extensions[1].toStd(), "SIZE 1000");
  EXPECT_EQ(extensions[2].toStd(), "DSN");
  EXPECT_EQ(sizeLimit(extensions), 1000);
  EXPECT_TRUE(advertises(extensions, "dsn"));
  EXPECT_FALSE(advertises(extensions, "PIPELINING"));
}

TEST(Extensions, AFirstLineWithoutDotIsAnExtension) {
  const ArrayStr extensions = extensionsOf(lines({"250-PIPELINING", "250 CHUNKING"}));
  EXPECT_EQ(extensions.count(), 2);
  EXPECT_TRUE(advertises(extensions, "PIPELINING"));
}

TEST(Extensions, SizeWithoutNumberMeansNoLimitAndHugeNumbersSaturate) {
  EXPECT_EQ(sizeLimit(lines({"SIZE"})), 0);
  EXPECT_EQ(sizeLimit(lines({"SIZE   "})), 0);
  EXPECT_EQ(sizeLimit(lines({"8BITMIME"})), 0);
  EXPECT_EQ(sizeLimit(lines({"SIZE 99999999999999999999999"})), INT64_MAX);
}

TEST(Extensions, AuthMechanismsInBothForms) {
  EXPECT_TRUE(offersAuthMechanism(lines({"AUTH=LOGIN"}), "LOGIN"));
  EXPECT_TRUE(offersAuthMechanism(lines({"AUTH PLAIN LOGIN"}), "LOGIN"));
  EXPECT_TRUE(offersAuthMechanism(lines({"auth plain login"}), "LOGIN"));
  EXPECT_TRUE(offersAuthMechanism(lines({"AUTH=PLAIN LOGIN"}), "PLAIN"));
  EXPECT_FALSE(offersAuthMechanism(lines({"AUTH PLAIN"}), "LOGIN"));
  EXPECT_FALSE(offersAuthMechanism(lines({"AUTH LOGINX"}), "LOGIN"));
  EXPECT_FALSE(offersAuthMechanism(lines({"XAUTH LOGIN"}), "LOGIN"));
  EXPECT_FALSE(offersAuthMechanism(lines({"AUTHLOGIN"}), "LOGIN"));
}

TEST(Transcript, LineBreaksBecomeBlanksAndBlanksAreTrimmed) {
  Str line("  550 no\r\nsuch\ruser  ");
  EXPECT_EQ(transcriptLine(line).toStd(), "550 no  such user");
}

}  // namespace
}  // namespace quillet::smtp
