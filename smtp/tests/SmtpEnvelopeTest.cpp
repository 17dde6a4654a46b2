// The envelope lines: SIZE, RET and ENVID on MAIL FROM, NOTIFY and ORCPT on RCPT TO, the
// null sender rules with and without DSN, and values that would break a command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smtp/SmtpEnvelope.h"

namespace quillet::smtp {
namespace {

using A = SMTPInfoAddress;

ArrayStr extensions(const std::vector<const char*>& keywords) {
  ArrayStr out;
  for (const char* keyword : keywords) out.add(keyword);
  return out;
}

std::vector<std::string> rcpts(const Envelope& envelope) {
  std::vector<std::string> out;
  for (const Str& line : envelope.rcptTo) out.push_back(line.toStd());
  return out;
}

TEST(Envelope, DsnParametersAsTheFlagsSay) {
  ArraySMTPInfoAddress recipients;
  recipients.add(A("a@x", A::kNotifyFailure | A::kNotifyDelay | A::kNotifySuccess | A::kHasOrcpt,
                   "rfc822;a@orig"));
  recipients.add(A("b@x", A::kNotifyNever));
  recipients.add(A("c@x", 0));
  recipients.add(A("d@x", A::kNotifyDelay | A::kHasOrcpt, " "));
  const Envelope envelope = buildEnvelope(A("s@x", A::kHasEnvid | A::kReturnFull, "ID42"),
                                          recipients, 1234, extensions({"SIZE 0", "DSN"}));
  EXPECT_EQ(envelope.mailFrom.toStd(), "MAIL FROM:<s@x> SIZE=1234 RET=FULL ENVID=ID42");
  EXPECT_FALSE(envelope.nullSender);
  EXPECT_EQ(rcpts(envelope),
            (std::vector<std::string>{
                "RCPT TO:<a@x> NOTIFY=FAILURE,SUCCESS,DELAY ORCPT=rfc822;a@orig",
                "RCPT TO:<b@x> NOTIFY=NEVER", "RCPT TO:<c@x>", "RCPT TO:<d@x> NOTIFY=DELAY"}));
}

TEST(Envelope, HeadersOnlyAndNoEnvidWithoutItsFlag) {
  ArraySMTPInfoAddress recipients;
  recipients.add(A("a@x"));
  const Envelope envelope = buildEnvelope(A("s@x", 0, "ID42"), recipients, 10, extensions({"DSN"}));
  EXPECT_EQ(envelope.mailFrom.toStd(), "MAIL FROM:<s@x> RET=HDRS");
}

TEST(Envelope, EmptySenderWithDsnMakesEveryRecipientNever) {
  ArraySMTPInfoAddress recipients;
  recipients.add(A("a@x", A::kNotifyFailure));
  recipients.add(A("b@x"));
  const Envelope envelope = buildEnvelope(A(" "), recipients, 10, extensions({"DSN"}));
  EXPECT_TRUE(envelope.nullSender);
  EXPECT_EQ(envelope.mailFrom.toStd(), "MAIL FROM:<> RET=HDRS");
  EXPECT_EQ(rcpts(envelope),
            (std::vector<std::string>{"RCPT TO:<a@x> NOTIFY=NEVER", "RCPT TO:<b@x> NOTIFY=NEVER"}));
}

TEST(Envelope, WithoutDsnNoParametersAndNeverMeansTheNullSender) {
  ArraySMTPInfoAddress recipients;
  recipients.add(A("a@x", A::kNotifyFailure | A::kHasOrcpt, "rfc822;a@orig"));
  recipients.add(A("b@x", A::kNotifyNever));
  const Envelope envelope = buildEnvelope(A("s@x", A::kReturnFull), recipients, 10, {});
  EXPECT_TRUE(envelope.nullSender);
  EXPECT_EQ(envelope.mailFrom.toStd(), "MAIL FROM:<>");
  EXPECT_EQ(rcpts(envelope), (std::vector<std::string>{"RCPT TO:<a@x>", "RCPT TO:<b@x>"}));
}

TEST(Envelope, LineBreaksInStoredValuesCannotStartANewCommand) {
  ArraySMTPInfoAddress recipients;
  recipients.add(A("a@x>\r\nRCPT TO:<evil@y", A::kHasOrcpt, "x\r\nDATA"));
  recipients.add(A(Str("b@x\0QUIT", 8)));
  const Envelope envelope =
      buildEnvelope(A("s@x\nRSET", A::kHasEnvid, "e\rf"), recipients, 1, extensions({"DSN"}));
  EXPECT_EQ(envelope.mailFrom.find('\r'), -1);
  EXPECT_EQ(envelope.mailFrom.find('\n'), -1);
  EXPECT_EQ(envelope.rcptTo[1].find('\r'), -1);
  EXPECT_EQ(envelope.rcptTo[1].find('\n'), -1);
  EXPECT_EQ(envelope.rcptTo[2].toStd(), "RCPT TO:<b@x QUIT>");
}

}  // namespace
}  // namespace quillet::smtp
