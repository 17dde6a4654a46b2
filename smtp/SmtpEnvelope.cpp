// MAIL FROM and RCPT TO lines (see SmtpEnvelope.h).
#include "smtp/SmtpEnvelope.h"

#include "smtp/SmtpReplies.h"

namespace quillet::smtp {
namespace {

// A value safe inside one command line.
Str oneLine(const Str& text) {
  Str value = text;
  value.replace('\r', ' ');
  value.replace('\n', ' ');
  value.replace('\0', ' ');
  return value;
}

void appendParameter(Str& line, const char* keyword, const Str& value) {
  line += ' ';
  line += keyword;
  line += '=';
  line += oneLine(value);
}

Str notifyValue(uint32_t flags) {
  Str value;
  const auto add = [&value](const char* word) {
    if (!value.empty()) value += ',';
    value += word;
  };
  if (flags & SMTPInfoAddress::kNotifyFailure) add("FAILURE");
  if (flags & SMTPInfoAddress::kNotifySuccess) add("SUCCESS");
  if (flags & SMTPInfoAddress::kNotifyDelay) add("DELAY");
  return value;
}

}  // namespace

Envelope buildEnvelope(const SMTPInfoAddress& sender, const ArraySMTPInfoAddress& recipients,
                       int64_t fileSize, const ArrayStr& extensions) {
  const bool dsn = advertises(extensions, "DSN");
  Envelope envelope;
  envelope.nullSender = sender.address.isBlank();
  // Without DSN at the server, NOTIFY=NEVER can only be honoured by sending no sender.
  if (!dsn && !envelope.nullSender) {
    for (const SMTPInfoAddress& recipient : recipients) {
      if (recipient.flags & SMTPInfoAddress::kNotifyNever) envelope.nullSender = true;
    }
  }

  Str mailFrom = "MAIL FROM:";
  mailFrom += Str::encloseAngle(envelope.nullSender ? Str() : oneLine(sender.address));
  if (advertises(extensions, "SIZE")) appendParameter(mailFrom, "SIZE", Str::fromInt(fileSize));
  if (dsn) {
    appendParameter(mailFrom, "RET",
                    (sender.flags & SMTPInfoAddress::kReturnFull) ? "FULL" : "HDRS");
    if ((sender.flags & SMTPInfoAddress::kHasEnvid) && !sender.parameter.isBlank()) {
      appendParameter(mailFrom, "ENVID", sender.parameter);
    }
  }
  envelope.mailFrom = mailFrom;

  constexpr uint32_t kNotifyAny = SMTPInfoAddress::kNotifyFailure |
                                  SMTPInfoAddress::kNotifySuccess | SMTPInfoAddress::kNotifyDelay;
  for (const SMTPInfoAddress& recipient : recipients) {
    Str rcptTo = "RCPT TO:";
    rcptTo += Str::encloseAngle(oneLine(recipient.address));
    if (dsn) {
      const bool never = (recipient.flags & SMTPInfoAddress::kNotifyNever) != 0;
      if (envelope.nullSender || never) {
        appendParameter(rcptTo, "NOTIFY", "NEVER");
      } else if (recipient.flags & kNotifyAny) {
        appendParameter(rcptTo, "NOTIFY", notifyValue(recipient.flags));
      }
      // A server without DSN would refuse the unknown parameter.
      if ((recipient.flags & SMTPInfoAddress::kHasOrcpt) && !recipient.parameter.isBlank()) {
        appendParameter(rcptTo, "ORCPT", recipient.parameter);
      }
    }
    envelope.rcptTo.add(rcptTo);
  }
  return envelope;
}

}  // namespace quillet::smtp
