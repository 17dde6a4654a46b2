// The delivery status notifications (see DeliveryNotifications.h).
#include "smtp/DeliveryNotifications.h"

#include <memory>
#include <utility>

#include "base/DateTime.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "decode/AddressParser.h"
#include "decode/SMTPDecode.h"
#include "smtp/DeliveryStatusFields.h"
#include "smtp/NotificationRecipients.h"
#include "smtp/OriginalCopy.h"
#include "smtp/ReportText.h"
#include "smtp/SMTPEncode.h"
#include "smtp/StatusDescriptions.h"

namespace quillet {
namespace {

constexpr const char* kFailedToSend = "Failed to send DSN";

// Text lines in a temporary file of their own, deleted with the object.
class TemporaryLines {
 public:
  TemporaryLines() = default;
  TemporaryLines(const TemporaryLines&) = delete;
  TemporaryLines& operator=(const TemporaryLines&) = delete;
  ~TemporaryLines() {
    if (!path_.isBlank()) static_cast<void>(removeFile(path_));
  }

  [[nodiscard]] bool write(const Str& directory, const ArrayStr& lines) {
    const std::unique_ptr<File> file = createUniqueFile(directory, "dsn");
    if (!file) return false;
    path_ = file->name();
    bool written = true;
    for (const Str& line : lines) written = written && file->writeLine(line);
    return file->close() && written;
  }
  const Str& path() const { return path_; }

 private:
  Str path_;
};

MailAddress mailAddress(const Str& address, const Str& name = Str()) {
  MailAddress result;
  result.address = address;
  result.displayName = name;
  return result;
}

// A report from postmaster@host with the given subject, priority 5.
SMTPMessage reportMessage(const Str& sender, const Str& subject) {
  SMTPMessage message;
  message.from.add(mailAddress(sender, DeliveryNotifications::kSenderName));
  message.subject = subject;
  message.priority = SMTPInfo::kNotificationPriority;
  message.report = true;
  return message;
}

ComposeParameters reportParameters(const NotificationSettings& settings) {
  ComposeParameters parameters;
  parameters.charsetCode = -1;  // chosen by the text: us-ascii, utf-8 or iso-8859-1
  parameters.mailer = settings.mailer;
  parameters.hostName = settings.localHostName;
  return parameters;
}

Str reportSubject(const char* prefix, const StatusReason& reason) {
  return Str(prefix) + reason.code + " (" + reason.description.title + ")";
}

Str sendingLine(const char* kind, const StatusReason& reason, const Str& recipient) {
  return Str("Sending DSN (type ") + kind + ") " + reason.code + " (" + reason.description.title +
         ") to " + recipient;
}

// The header fields (and nothing else) of a stored message.
int readHeader(const Str& messageFile, ParseResult& header) {
  return SMTPDecode(DecodeOptions{}).parseFile(messageFile, header);
}

Timer timerAt(uint32_t timestamp) {
  Timer timer;
  if (timestamp != 0) fromTimestamp(timestamp, timer.date, timer.time);
  return timer;
}

// The delivery-status report of the failed recipients: each with its own code when the
// session gave one, else the failure's code.
DeliveryStatusReport statusReport(const NotificationSettings& settings, const SMTPInfo& failed,
                                  const DeliveryFailure& failure, const StatusReason& reason) {
  DeliveryStatusReport report;
  report.reportingHost = settings.localHostName;
  report.arrival = timerAt(failed.queuedAt);
  for (int i = 1; i <= failed.recipients.count(); ++i) {
    FailedRecipientStatus recipient;
    recipient.address = failed.recipients[i].address;
    const Str own = i <= failure.recipientStatus.count() ? failure.recipientStatus[i] : Str();
    recipient.statusCode = isStatusCodeLine(own.view()) ? own : reason.code;
    recipient.diagnostic = failure.reply;
    report.recipients.add(recipient);
  }
  return report;
}

// Composes message into MSG-OUT and queues it from the null sender with priority 5.
bool composeAndQueue(const QueueStore& store, UniqueSource& unique,
                     const NotificationSettings& settings, const OutboundHandOver& handOver,
                     const SMTPMessage& message, const ArraySMTPInfoAddress& recipients) {
  Str path;
  return SMTPEncode(store, unique).compose(message, reportParameters(settings), path) == 0 &&
         queueComposedMessage(store, path, SMTPInfoAddress(), recipients, settings.lifetimeSeconds,
                              SMTPInfo::kNotificationPriority, handOver);
}

}  // namespace

DeliveryNotifications::DeliveryNotifications(NotificationSettings settings, const QueueStore& store,
                                             LogLine log, OutboundHandOver handOver,
                                             UniqueSource& unique)
    : settings_(std::move(settings)),
      store_(store),
      log_(std::move(log)),
      handOver_(std::move(handOver)),
      unique_(unique),
      sender_(notificationSender(settings_.localHostName)) {}

void DeliveryNotifications::log(int32_t threadId, const Str& text) const {
  if (log_) log_(threadId, text);
}

bool DeliveryNotifications::sendFailure(int32_t threadId, const SMTPInfo& failed,
                                        const DeliveryFailure& failure) const {
  Str to = failed.sender.address;
  to.trim();
  if (!mayReceiveNotification(to.view(), sender_)) return false;
  const StatusReason reason =
      StatusDescriptions(settings_.programDirectory).reasonFor(failure.statusCode, failure.error);
  log(threadId, sendingLine("failed", reason, to));

  const Str workDirectory = store_.queueDirectory(QueueNumber::Outbound);
  ParseResult original;
  OriginalCopy header;
  TemporaryLines statusFields;
  const DeliveryStatusReport report = statusReport(settings_, failed, failure, reason);
  const bool prepared =
      readHeader(failed.messageFile, original) == 0 &&
      header.make(failed.messageFile, workDirectory, OriginalCopy::Extent::HeaderOnly) == 0 &&
      statusFields.write(workDirectory, deliveryStatusFields(report));
  if (!prepared) {
    log(threadId, kFailedToSend);
    return false;
  }

  SMTPMessage message = reportMessage(sender_, reportSubject("Non delivery report: ", reason));
  message.to.add(mailAddress(to));
  ArraySMTPInfoAddress recipients;
  recipients.add(SMTPInfoAddress(to));
  if (settings_.postmasterAsCc && isValidAddress(settings_.postmaster.view()) &&
      !settings_.postmaster.equalsIgnoreCase(to)) {
    message.cc.add(mailAddress(settings_.postmaster));
    recipients.add(SMTPInfoAddress(settings_.postmaster));
  }
  ReportDetails details;
  details.kind = failure.expired ? ReportKind::Expired : ReportKind::Failed;
  for (const SMTPInfoAddress& recipient : failed.recipients) {
    details.recipients.add(recipient.address);
  }
  details.reason = reason;
  details.transcript = failure.transcript;
  message.body = reportText(original, details);
  // The delivery-status part needs a recipient to report on; an original without a
  // header has nothing to return.
  bool anyValid = false;
  for (const SMTPInfoAddress& recipient : failed.recipients) {
    anyValid = anyValid || isValidAddress(recipient.address.view());
  }
  if (anyValid) {
    message.attachments.add(SMTPAttach{statusFields.path(), Str(), SMTPAttach::kDeliveryStatus});
  }
  if (header.size() > 0) {
    message.attachments.add(SMTPAttach{header.path(), Str(), SMTPAttach::kMessage});
  }

  if (!composeAndQueue(store_, unique_, settings_, handOver_, message, recipients)) {
    log(threadId, kFailedToSend);
    return false;
  }
  return true;
}

bool DeliveryNotifications::composeForward(int32_t threadId, const ForwardRequest& request,
                                           Str& path) const {
  path = Str();
  if (request.recipients.count() == 0) return false;
  for (const Str& recipient : request.recipients) {
    if (!mayReceiveNotification(recipient.view(), sender_)) return false;
  }
  const StatusReason reason =
      StatusDescriptions(settings_.programDirectory).reasonFor(request.statusCode, 0);
  for (const Str& recipient : request.recipients) {
    log(threadId, sendingLine("forward", reason, recipient));
  }

  ParseResult original;
  OriginalCopy copy;
  const bool prepared = readHeader(request.messageFile, original) == 0 &&
                        copy.make(request.messageFile, store_.queueDirectory(QueueNumber::Outbound),
                                  OriginalCopy::Extent::Whole) == 0;
  if (!prepared) {
    log(threadId, kFailedToSend);
    return false;
  }
  SMTPMessage message = reportMessage(sender_, reportSubject("Forward report: ", reason));
  for (const Str& recipient : request.recipients) message.to.add(mailAddress(recipient));
  ReportDetails details;
  details.kind = ReportKind::Forward;
  details.recipients = request.originalRecipients;
  details.reason = reason;
  details.additional = request.reasonLines;
  message.body = reportText(original, details);
  if (copy.size() > 0)
    message.attachments.add(SMTPAttach{copy.path(), Str(), SMTPAttach::kMessage});

  if (SMTPEncode(store_, unique_).compose(message, reportParameters(settings_), path) != 0) {
    log(threadId, kFailedToSend);
    return false;
  }
  return true;
}

bool DeliveryNotifications::sendStatus(int32_t threadId, const ArrayStr& lines,
                                       const ArrayStr& transcript) const {
  Str to = settings_.postmaster;
  to.trim();
  if (!isValidAddress(to.view())) return false;
  log(threadId, "Sending DSN (type status) to " + to);

  const Str host = settings_.localHostName.isBlank() ? Str("localhost") : settings_.localHostName;
  SMTPMessage message =
      reportMessage(sender_, "Status report: " + settings_.programText + " on " + host);
  message.to.add(mailAddress(to));
  message.body.add(settings_.programText + " running on " + host +
                   " encountered a connection problem.");
  message.body.add(" ");
  appendReasonSections(nullptr, lines, transcript, message.body);

  ArraySMTPInfoAddress recipients;
  recipients.add(SMTPInfoAddress(to));
  if (!composeAndQueue(store_, unique_, settings_, handOver_, message, recipients)) {
    log(threadId, kFailedToSend);
    return false;
  }
  return true;
}

}  // namespace quillet
