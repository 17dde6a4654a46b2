// RecipientOutcomes: what one SendMessage attempt means for each recipient of a queued
// message: delivered (the server accepted the data for it), refused for good (reply 5xx:
// returned to the sender), or still pending (refused for now, or the attempt broke off:
// kept on the entry and tried again).
//
// Pure: the attempt's result in, three lists out. A recipient counts as delivered only
// when the whole attempt succeeded (code 0), so no file is removed before the server's
// final reply accepted the data. An outcome list that does not match the recipients (a
// failure before any RCPT) gives every recipient the attempt's own result.
#pragma once

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "server/queue/SMTPInfo.h"
#include "smtp/WSSMTPClient.h"

namespace quillet {

struct RecipientOutcomes {
  ArraySMTPInfoAddress delivered;
  ArraySMTPInfoAddress refused;  // refused for good (50)
  ArrayStr refusedStatus;        // the enhanced status code of each refused recipient
  Str refusedReply;              // the first refusing reply
  ArraySMTPInfoAddress pending;  // refused for now or not answered
  int pendingError = 0;          // the failure stored with the pending ones
  Str pendingReply;              // its reply line
};

// Splits recipients by the outcome of one attempt: code is SendMessage's result.
[[nodiscard]] RecipientOutcomes splitRecipients(int code, const ArraySMTPInfoAddress& recipients,
                                                const SMTPSendResult& result);

}  // namespace quillet
