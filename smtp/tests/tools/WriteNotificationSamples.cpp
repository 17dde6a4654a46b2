// Writes delivery status notifications about ordinary and hostile originals (no header, a
// header of 10,000 lines, binary junk, control characters in addresses, subjects and
// replies), a status report and a forward report into a directory, so that an independent
// MIME parser can check them (check_composed.py).
//   write_notification_samples DIRECTORY
// Each notification becomes DIRECTORY/<name>.eml in transfer form, as the queue holds it.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/FileSystem.h"
#include "server/queue/QueueStore.h"
#include "smtp/DeliveryNotifications.h"
#include "smtp/tests/ComposedSamples.h"
#include "tests/support/FileBytes.h"

using namespace quillet;
using namespace quillet::testing;

namespace {

// A header whose values hold CR, NUL, escape sequences, 8-bit bytes and an encoded CR LF.
constexpr char kControlCharacters[] =
    "From: \"Ev\x01il\r\" <eve@example.test>\r\nTo: a\0b@example.test\r\n"
    "Subject: =?utf-8?Q?Gr=C3=BC=0D=0ABcc:_x@y?= \x7f\xff\r\n"
    "Date: garbage\x1b[2J\r\n\r\nbody\r\n.\r\n";

std::vector<std::pair<std::string, std::string>> originals() {
  std::string longHeader;
  for (int i = 0; i < 10000; ++i) longHeader += "X-Line-" + std::to_string(i) + ": value\r\n";
  std::string junk;
  for (int i = 0; i < 200000; ++i) junk += static_cast<char>((i * 7919) % 256);
  return {
      {"failure-plain",
       "From: Anna <anna@example.test>\r\nTo: bob@example.test\r\nSubject: Lunch\r\n"
       "Date: Mon, 7 Dec 2026 09:30:00 +0100\r\n\r\nSee you.\r\n.\r\n"},
      {"failure-no-header", "\r\nOnly a body.\r\n.\r\n"},
      {"failure-long-header", longHeader + "\r\nbody\r\n.\r\n"},
      {"failure-binary-junk", junk},
      {"failure-control-characters",
       std::string(kControlCharacters, sizeof kControlCharacters - 1)},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::string directory = std::string(argv[1]) + "/";
  const Str root{std::string_view(directory)};
  const QueueStore store(root);
  if (!makePrivateDirectory(root) || !store.createQueueDirectories()) {
    std::fprintf(stderr, "cannot create %s\n", directory.c_str());
    return 1;
  }
  NotificationSettings settings;
  settings.programDirectory = root;
  settings.localHostName = "mail.office.test";
  settings.postmaster = "admin@office.test";
  settings.mailer = "Quillet";
  std::vector<std::string> composed;
  const DeliveryNotifications notifications(
      settings, store, {},
      [&composed](const SMTPInfo& entry) { composed.push_back(entry.messageFile.toStd()); });

  std::vector<std::string> names;
  int failures = 0;
  for (const auto& [name, bytes] : originals()) {
    std::string original = directory;
    original.append("MSG-OUT/").append(name).append(".orig");
    writeBytes(original, bytes);
    SMTPInfo failed;
    failed.messageFile = Str(std::string_view(original));
    failed.sender = SMTPInfoAddress("anna@example.test");
    failed.recipients.add(SMTPInfoAddress("bob@example.test"));
    failed.recipients.add(SMTPInfoAddress("carl@example.test"));
    failed.queuedAt = 1000000000;
    DeliveryFailure failure;
    failure.error = 50;
    failure.statusCode = "5.1.1";
    failure.reply = "550 5.1.1 no\r\nX-Injected: yes \x01\xfe user";
    failure.transcript.add("RCPT TO:<bob@example.test>");
    failure.transcript.add(failure.reply);
    if (!notifications.sendFailure(1, failed, failure)) ++failures;
    names.emplace_back(name);
    if (name == "failure-control-characters") {
      ForwardRequest forward;
      forward.messageFile = failed.messageFile;
      forward.originalRecipients.add("bob@example.test");
      forward.recipients.add("virus@office.test");
      forward.statusCode = "5.9.2";
      forward.reasonLines.add(Str("found\r\nBcc: x@y", 15));
      Str path;
      if (notifications.composeForward(1, forward, path)) {
        composed.push_back(path.toStd());
      } else {
        ++failures;
      }
      names.emplace_back("forward-control-characters");
    }
  }
  const ArrayStr mailboxLines =
      lines({"POP3 MailBox: joe (Sales)", "POP3 Server: pop.example.test:110", "No OK received"});
  const ArrayStr transcript = lines({"PASS *****", "-ERR [AUTH] Authentication failed."});
  if (!notifications.sendStatus(0, mailboxLines, transcript)) ++failures;
  names.emplace_back("status");

  if (failures != 0 || composed.size() != names.size()) {
    std::fprintf(stderr, "%d notifications failed\n", failures);
    return 1;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (std::rename(composed[i].c_str(), (directory + names[i] + ".eml").c_str()) != 0) {
      std::fprintf(stderr, "%s: cannot rename\n", names[i].c_str());
      return 1;
    }
  }
  return 0;
}
