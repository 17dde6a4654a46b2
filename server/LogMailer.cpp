// The log mailing (see LogMailer.h).
#include "server/LogMailer.h"

#include <utility>

#include "base/ErrorCodes.h"
#include "decode/AddressParser.h"
#include "server/LogArchive.h"
#include "smtp/SMTPEncode.h"

namespace quillet {
namespace {

void addValid(const Str& entry, ArrayStr& receivers) {
  for (const ParsedAddress& parsed : parseAddressList(entry.view())) {
    receivers.add(Str(std::string_view(parsed.address)));
  }
}

}  // namespace

LogMailer::LogMailer(LogMailSettings settings, const QueueStore& store, LogLine log,
                     OutboundHandOver handOver, UniqueSource& unique)
    : settings_(std::move(settings)),
      store_(store),
      log_(std::move(log)),
      handOver_(std::move(handOver)),
      unique_(unique) {}

ArrayStr LogMailer::receivers() const {
  ArrayStr receivers;
  for (const Str& entry : settings_.sendTo) addValid(entry, receivers);
  if (receivers.count() == 0) addValid(settings_.postmaster, receivers);
  return receivers;
}

bool LogMailer::mail(const Str& logPath) const {
  const ArrayStr to = receivers();
  if (to.count() == 0) {
    log_("Error: No receiver for the logfile (SendLogFileTo and Postmaster are empty)");
    return false;
  }
  log_("Sending logfile to " + to[1]);

  SMTPMessage message;
  Str sender = settings_.postmaster;
  sender.trim();
  if (!isValidAddress(sender.view())) sender = Str();
  if (!sender.empty()) message.from.add(MailAddress{sender, Str()});
  ArraySMTPInfoAddress recipients;
  for (const Str& receiver : to) {
    message.to.add(MailAddress{receiver, Str()});
    recipients.add(SMTPInfoAddress(receiver));
  }
  message.subject = "Log File";
  message.body.add("The current log file is attached.");

  const Str archive = settings_.programDirectory + kLogArchiveName;
  if (writeLogArchive(logPath, archive)) {
    message.attachments.add(SMTPAttach{archive, Str(), SMTPAttach::kFile});
  } else {
    log_("Error: Failed to create zip file from logfile");
    message.attachments.add(SMTPAttach{logPath, Str(), SMTPAttach::kFile});
  }

  ComposeParameters parameters;
  parameters.charsetCode = -1;
  parameters.mailer = settings_.mailer;
  parameters.hostName = settings_.localHostName;
  Str path;
  const int composed = SMTPEncode(store_, unique_).compose(message, parameters, path);
  if (composed != 0 ||
      !queueComposedMessage(store_, path, SMTPInfoAddress(sender), recipients,
                            settings_.lifetimeSeconds, SMTPInfo::kDefaultPriority, handOver_)) {
    log_("Error: Unable to queue the logfile mail: " +
         errorText(composed != 0 ? composed : err::kWriteTempFile));
    return false;
  }
  log_("Logfile sent to " + to[1]);
  return true;
}

}  // namespace quillet
