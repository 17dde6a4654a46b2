// DataPOP.DAT records of mailboxes for tests (see DataFileRecords.h).
#include "tests/support/DataFileRecords.h"

#include "base/Password.h"
#include "base/Str.h"

namespace quillet::testing {

std::string dataPopRecord(const MailboxRecord& mailbox) {
  std::string record = blankPopRecord();
  place(record, 3, mailbox.user);
  if (!mailbox.password.empty()) {
    place(record, 54,
          scramble(Str(std::string_view(mailbox.password)), kPOP3MailboxPasswordKey).toStd());
  }
  place(record, 157, mailbox.host);
  place(record, 286, mailbox.routeTo);
  place(record, 415, mailbox.from);
  place(record, 421, mailbox.until);
  place(record, 427, std::to_string(mailbox.everyMinutes));
  place(record, 438, mailbox.days);
  place(record, 446, mailbox.comment);
  if (mailbox.port != 0) place(record, 497, std::to_string(mailbox.port));
  record[1] = mailbox.deleted;
  record[508] = mailbox.disabled;
  record[510] = mailbox.security;
  return record;
}

}  // namespace quillet::testing
