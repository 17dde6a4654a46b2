// The status description table (see StatusDescriptions.h): the built-in entries, the
// administrator's file and the lookup shared by both.
#include "smtp/StatusDescriptions.h"

#include <string>
#include <vector>

#include "base/ErrorCodes.h"
#include "base/File.h"

namespace quillet {
namespace {

// The built-in table in the file's own format, so both are read by one parser. The
// descriptions of 2.0.1 to 5.7.7 paraphrase RFC 1893 (RFC 3463).
constexpr std::string_view kBuiltInTable =
    "5.0.0\nOther undefined Status\nUndefined Status\n"
    "2.0.1\nMessage delivered\nThe message was delivered to the recipient.\n"
    "2.0.2\nMessage relayed\nThe message was relayed to a system that does not report\n"
    "whether it was delivered.\n"
    "5.1.0\nOther address status\nSomething about the address specified in the message caused\n"
    "this report.\n"
    "5.1.1\nBad destination mailbox address\nThe mailbox specified in the address does not "
    "exist.\nThis means the address portion to the left of the @ sign is invalid.\n"
    "5.1.2\nBad destination domain address\nThe destination system specified in the address "
    "does not exist\nor is incapable of accepting mail.\n"
    "This means the address portion to the right of the @ sign is invalid.\n"
    "5.1.3\nBad destination mailbox address syntax\nThe destination address was syntactically "
    "invalid.\n"
    "5.1.4\nDestination mailbox address ambiguous\nThe mailbox address as specified matches "
    "one or more recipients\non the destination system.\n"
    "5.1.5\nDestination address valid\nThe destination address was valid.\n"
    "5.1.6\nDestination mailbox has moved\nThe mailbox address provided was at one time "
    "valid,\nbut mail is no longer being accepted for that address.\n"
    "5.1.7\nBad sender's mailbox address syntax\nThe sender's address was syntactically "
    "invalid.\n"
    "5.1.8\nBad sender's system address\nThe sender's system specified in the address does "
    "not exist\nor is incapable of accepting return mail.\n"
    "5.2.0\nOther or undefined mailbox status\nThe mailbox exists, but something about the "
    "destination mailbox\nhas caused this report.\n"
    "5.2.1\nMailbox exists but is disabled\nThe mailbox exists, but is not accepting "
    "messages.\n"
    "5.2.2\nMailbox full\nThe mailbox is full because the user has exceeded a per-mailbox\n"
    "administrative quota or physical capacity.\n"
    "5.2.3\nMessage length exceeds administrative limit\nA per-mailbox administrative message "
    "length limit has been exceeded.\n"
    "5.2.4\nMailing list expansion problem\nThe mailbox is a mailing list address and the "
    "mailing list\nwas unable to be expanded.\n"
    "5.3.0\nOther or undefined mail system status\nThe destination system exists and normally "
    "accepts mail,\nbut something about the system has caused this report.\n"
    "5.3.1\nMail system full\nMail system storage has been exceeded.\n"
    "5.3.2\nSystem not accepting network messages\nThe host on which the mailbox is resident "
    "is not accepting messages.\n"
    "5.3.3\nSystem not capable of selected features\nSelected features specified for the "
    "message are not supported\nby the destination system.\n"
    "5.3.4\nMessage size exceeded\nThe message is larger than the per-message size limit of "
    "the system.\n"
    "5.3.5\nSystem incorrectly configured\nThe system is not configured in a manner that will "
    "permit it\nto accept this message.\n"
    "5.4.0\nOther or undefined network or routing status\nSomething went wrong with the "
    "networking, but it is not clear what.\n"
    "5.4.1\nNo answer from host\nThe outbound connection attempt was not answered,\n"
    "because either the remote system was busy or otherwise unable to take a call.\n"
    "5.4.2\nBad connection\nThe outbound connection was established, but was unable to "
    "complete\nthe message transaction.\n"
    "5.4.3\nName server failure\nThe network system was unable to forward the message\n"
    "because a directory server (name server) was unavailable.\n"
    "5.4.4\nUnable to route\nThe mail system was unable to determine the next hop for the "
    "message.\n"
    "5.4.5\nMail system congestion\nThe mail system was unable to deliver the message because "
    "it was congested.\n"
    "5.4.6\nRouting loop detected\nA routing loop caused the message to be forwarded too many "
    "times.\n"
    "5.4.7\nDelivery time expired\nThe message was considered too old by the rejecting "
    "system,\neither because it remained on that host too long\n"
    "or because the time-to-live value specified by the sender was exceeded.\n"
    "5.5.0\nOther or undefined protocol status\nA protocol error occurred during the delivery "
    "of the message.\n"
    "5.5.1\nInvalid command\nA mail transaction protocol command was issued which was either "
    "out of sequence\nor unsupported.\n"
    "5.5.2\nSyntax error\nA mail transaction protocol command was issued which could not be "
    "interpreted.\n"
    "5.5.3\nToo many recipients\nMore recipients were specified for the message than could "
    "have been delivered\nby the protocol.\n"
    "5.5.4\nInvalid command arguments\nA valid mail transaction protocol command was issued "
    "with invalid arguments.\n"
    "5.5.5\nWrong protocol version\nA protocol version mis-match existed which could not be "
    "automatically resolved.\n"
    "5.6.0\nOther or undefined media error\nSomething about the content of the message caused "
    "it to be considered undeliverable.\n"
    "5.6.1\nMedia not supported\nThe media of the message is not supported by either the "
    "delivery protocol\nor the next system in the forwarding path.\n"
    "5.6.2\nConversion required and prohibited\nThe content of the message must be converted "
    "before it can be delivered,\nand such conversion is not permitted.\n"
    "5.6.3\nConversion required but not supported\nThe message content must be converted to "
    "be forwarded,\nbut such conversion is not possible or is not practical.\n"
    "5.6.4\nConversion with loss performed\nThe message was converted, but the conversion "
    "lost some of its content.\n"
    "5.6.5\nConversion Failed\nA conversion was required but was unsuccessful.\n"
    "5.7.0\nOther or undefined security status\nSomething related to security caused the "
    "message to be returned.\n"
    "5.7.1\nDelivery not authorized\nThe sender is not authorized to send to the destination."
    "\nThe message was refused by the destination or a system on the way.\n"
    "5.7.2\nMailing list expansion prohibited\nThe sender is not authorized to send a message "
    "to the intended mailing list.\n"
    "5.7.3\nSecurity conversion required but not possible\nA conversion from one secure "
    "messaging protocol to another was required\nfor delivery and such conversion was not "
    "possible.\n"
    "5.7.4\nSecurity features not supported\nA message contained security features such as "
    "secure authentication\nthat could not be supported on the delivery protocol.\n"
    "5.7.5\nCryptographic failure\nA transport system otherwise authorized to validate or "
    "decrypt a message\nwas unable to do so because necessary information was unavailable.\n"
    "5.7.6\nCryptographic algorithm not supported\nA transport system otherwise authorized to "
    "validate or decrypt a message\nwas unable to do so because the algorithm was not "
    "supported.\n"
    "5.7.7\nMessage integrity failure\nA transport system otherwise authorized to validate a "
    "message\nwas unable to do so because the message was corrupted or altered.\n"
    "5.9.1\nVirus infection\nOne of the attachment(s) in the message is possibly infected by "
    "a virus.\nFor security reasons the message was not delivered to the recipient.\n"
    "5.9.2\nVirus infection\nOne of the attachment(s) in the message is possibly infected by "
    "a virus.\n"
    "5.9.3\nMAPS DUL warning\nThe message was received from a host that is currently listed "
    "on the MAPS DUL\n(dial-up user list). The message is most likely spam mail.\n"
    "More information on the MAPS lists is available from the list operator at\n"
    "https://www.spamhaus.org/pbl/\n"
    "5.9.4\nMAPS RBL warning\nThe message was received from a host that is currently listed "
    "on the MAPS RBL\n(realtime blackhole list). The message is most likely spam mail.\n"
    "More information on the MAPS lists is available from the list operator at\n"
    "https://www.spamhaus.org/sbl/\n"
    "5.9.5\nBlocked attachment\nOne of the attachment(s) in the message is blocked.\n"
    "For security reasons the message was not or not completely delivered to\nthe recipient.\n"
    "5.9.6\nBlocked subject\nThe subject of the message is blocked.\n"
    "For security reasons the message was not or not completely delivered to\n"
    "the recipient.\n";

// Reads the lines of a table and answers lookups over them.
class TableLines {
 public:
  void add(std::string_view line) { lines_.emplace_back(line); }

  // Fills description from the first entry for code; false when it has none (a code line
  // at the very end, without its title, counts as none).
  bool find(std::string_view code, StatusDescription& description) const {
    for (size_t i = 0; i + 1 < lines_.size(); ++i) {
      const std::string& line = lines_[i];
      if (!isStatusCodeLine(line) || line[2] != code[2] || line[4] != code[4]) continue;
      description.title = Str(std::string_view(lines_[i + 1]));
      description.lines.clear();
      for (size_t k = i + 2; k < lines_.size() && !isStatusCodeLine(lines_[k]); ++k) {
        description.lines.add(Str(std::string_view(lines_[k])));
      }
      description.found = true;
      return true;
    }
    return false;
  }

 private:
  std::vector<std::string> lines_;
};

TableLines builtInTable() {
  TableLines table;
  std::string_view rest = kBuiltInTable;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    table.add(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return table;
}

// The administrator's table; empty when the file is missing or cannot be read.
TableLines fileTable(const Str& path) {
  TableLines table;
  File file(path);
  if (!file.open(File::kReadSharedOnce)) return table;
  Str line;
  for (int n = 0; n < StatusDescriptions::kMaxFileLines; ++n) {
    if (file.readLine(line) != ReadState::kData) break;
    line.oemToAnsi();
    table.add(line.view());
  }
  return table;
}

}  // namespace

bool isStatusCodeLine(std::string_view line) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  return line.size() >= 5 && (line[0] == '2' || line[0] == '4' || line[0] == '5') &&
         line[1] == '.' && digit(line[2]) && line[3] == '.' && digit(line[4]);
}

const char* statusCodeForError(int error) {
  switch (error) {
    case 3:
      return "5.4.3";
    case 4:
    case 5:
    case 6:
    case 8:
    case 14:
      return "5.4.1";
    case 7:
    case 9:
    case 10:
      return "5.4.2";
    case 16:
      return "5.3.1";
    case 57:
      return "5.4.5";
    case 86:
      return "5.4.4";
    case 95:
      return "5.1.2";
    default:
      return "5.0.0";
  }
}

StatusDescriptions::StatusDescriptions(const Str& programDirectory)
    : tablePath_(programDirectory + kStatusTableFileName) {}

StatusDescription StatusDescriptions::lookup(std::string_view code) const {
  StatusDescription description;
  if (isStatusCodeLine(code) &&
      (fileTable(tablePath_).find(code, description) || builtInTable().find(code, description))) {
    return description;
  }
  description.title = kMissingTitle;
  return description;
}

StatusReason StatusDescriptions::reasonFor(const Str& statusCode, int error) const {
  StatusReason reason;
  Str code = statusCode;
  code.trim();
  if (isStatusCodeLine(code.view())) {
    reason.code = code;
  } else {
    reason.code = statusCodeForError(error);
  }
  reason.description = lookup(reason.code.view());
  // Error numbers without a code of their own are named by their error text.
  const bool derivedOther = !isStatusCodeLine(code.view()) && error != 0 &&
                            std::string_view(statusCodeForError(error)) == "5.0.0";
  if (derivedOther) reason.description.title = errorText(error);
  return reason;
}

}  // namespace quillet
