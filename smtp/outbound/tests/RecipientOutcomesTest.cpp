// Splitting one attempt's recipients into delivered, refused for good and pending: only a
// whole success delivers, a recipient's own refusal wins over the attempt's result, and an
// attempt that failed before any RCPT gives every recipient its result.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "base/ErrorCodes.h"
#include "smtp/outbound/RecipientOutcomes.h"

namespace quillet {
namespace {

ArraySMTPInfoAddress threeRecipients() {
  ArraySMTPInfoAddress recipients;
  for (const char* address : {"a@x", "b@x", "c@x"}) recipients.add(SMTPInfoAddress(address));
  return recipients;
}

std::string names(const ArraySMTPInfoAddress& list) {
  std::string text;
  for (int i = 1; i <= list.count(); ++i) text += list[i].address.toStd() + " ";
  return text;
}

SMTPRecipientOutcome outcome(int result, const char* status = "", const char* reply = "") {
  SMTPRecipientOutcome one;
  one.result = result;
  one.statusCode = status;
  one.reply = reply;
  return one;
}

struct Case {
  const char* name;
  int code;
  std::vector<SMTPRecipientOutcome> outcomes;  // empty: none reported
  std::string delivered, refused, pending;
  int pendingError;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class SplitRecipients : public ::testing::TestWithParam<Case> {};

TEST_P(SplitRecipients, GivesEachRecipientItsOutcome) {
  const Case& c = GetParam();
  SMTPSendResult result;
  result.statusCode = "5.3.4";
  result.lastReply = "552 5.3.4 too big";
  for (const SMTPRecipientOutcome& one : c.outcomes) result.recipients.add(one);
  const RecipientOutcomes split = splitRecipients(c.code, threeRecipients(), result);
  EXPECT_EQ(names(split.delivered), c.delivered);
  EXPECT_EQ(names(split.refused), c.refused);
  EXPECT_EQ(names(split.pending), c.pending);
  EXPECT_EQ(split.pendingError, c.pendingError);
  EXPECT_EQ(split.refusedStatus.count(), split.refused.count());
}

INSTANTIATE_TEST_SUITE_P(
    Attempts, SplitRecipients,
    ::testing::Values(
        Case{"AllAccepted", 0, {outcome(0), outcome(0), outcome(0)}, "a@x b@x c@x ", "", "", 0},
        Case{"OneRefusedOneLater",
             0,
             {outcome(0), outcome(50, "5.1.1", "550 no"), outcome(51, "4.2.2", "452 full")},
             "a@x ",
             "b@x ",
             "c@x ",
             51},
        Case{"TooBigBeforeAnyCommand", 50, {}, "", "a@x b@x c@x ", "", 0},
        Case{"ConnectionLostDuringData",
             16,
             {outcome(16), outcome(50, "5.1.1", "550 no"), outcome(16)},
             "",
             "b@x ",
             "a@x c@x ",
             16},
        Case{"NotRefusedButTheDataFailed",
             51,
             {outcome(0), outcome(51), outcome(0)},
             "",
             "",
             "a@x b@x c@x ",
             51},
        Case{"FileVanished", 19, {}, "", "", "a@x b@x c@x ", 19},
        Case{"OutcomesThatDoNotMatchTheRecipients", 0, {outcome(50)}, "a@x b@x c@x ", "", "", 0}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(SplitRecipientsDetail, RefusedRecipientsKeepTheirOwnStatusAndTheFirstReply) {
  SMTPSendResult result;
  result.statusCode = "5.0.0";
  result.recipients.add(outcome(50, "5.1.1", "550 5.1.1 unknown"));
  result.recipients.add(outcome(50, "", ""));
  result.recipients.add(outcome(0));
  const RecipientOutcomes split = splitRecipients(0, threeRecipients(), result);
  ASSERT_EQ(split.refusedStatus.count(), 2);
  EXPECT_EQ(split.refusedStatus[1].toStd(), "5.1.1");
  EXPECT_EQ(split.refusedStatus[2].toStd(), "5.0.0") << "the message's status when it has none";
  EXPECT_EQ(split.refusedReply.toStd(), "550 5.1.1 unknown");
}

}  // namespace
}  // namespace quillet
