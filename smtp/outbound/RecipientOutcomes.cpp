// Splitting one attempt's recipients by their outcome (see RecipientOutcomes.h).
#include "smtp/outbound/RecipientOutcomes.h"

#include "base/ErrorCodes.h"

namespace quillet {

RecipientOutcomes splitRecipients(int code, const ArraySMTPInfoAddress& recipients,
                                  const SMTPSendResult& result) {
  RecipientOutcomes outcomes;
  const bool perRecipient = result.recipients.count() == recipients.count();
  for (int i = 1; i <= recipients.count(); ++i) {
    int own = code;
    Str status = result.statusCode;
    Str reply = result.lastReply;
    if (perRecipient) {
      const SMTPRecipientOutcome& outcome = result.recipients[i];
      own = outcome.result;
      if (!outcome.statusCode.empty()) status = outcome.statusCode;
      if (!outcome.reply.empty()) reply = outcome.reply;
    }
    if (own == 0 && code == 0) {
      outcomes.delivered.add(recipients[i]);
    } else if (isPermanent(own)) {
      if (outcomes.refused.count() == 0) outcomes.refusedReply = reply;
      outcomes.refused.add(recipients[i]);
      outcomes.refusedStatus.add(status);
    } else {
      if (outcomes.pending.count() == 0) {
        // An outcome of 0 in a failed attempt means "not refused"; the attempt's failure
        // is what kept it from being delivered.
        outcomes.pendingError = own != 0 ? own : code;
        outcomes.pendingReply = reply;
      }
      outcomes.pending.add(recipients[i]);
    }
  }
  return outcomes;
}

}  // namespace quillet
