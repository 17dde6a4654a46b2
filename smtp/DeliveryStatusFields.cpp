// The fields of the delivery-status part (see DeliveryStatusFields.h).
#include "smtp/DeliveryStatusFields.h"

#include <string>

#include "decode/AddressParser.h"
#include "smtp/HeaderText.h"
#include "smtp/Rfc822Date.h"
#include "smtp/StatusDescriptions.h"

namespace quillet {
namespace {

// A value for a field of the part: one line (CR, LF and NUL become blanks) of US-ASCII, as
// RFC 3464 asks; other bytes of a reply become '?'.
std::string fieldValue(const Str& value) {
  std::string text = headerSafe(value.view());
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || (byte < 32 && c != ' ' && c != '\t') || byte == 127) c = '?';
  }
  return text;
}

void field(const std::string& text, ArrayStr& lines) {
  for (const std::string& line : foldField(text)) lines.add(Str(std::string_view(line)));
}

// RFC 3464 2.3.4: a failed action carries a permanent (class 5) status.
std::string failedStatus(const Str& code) {
  std::string status = fieldValue(code);
  if (!isStatusCodeLine(status)) return "5.0.0";
  status[0] = '5';
  // Only the three numbers: "5.1.1", "5.7.26"; anything after the first blank is dropped.
  const size_t blank = status.find_first_of(" \t");
  return blank == std::string::npos ? status : status.substr(0, blank);
}

}  // namespace

ArrayStr deliveryStatusFields(const DeliveryStatusReport& report) {
  ArrayStr lines;
  field("Reporting-MTA: dns; " + hostText(report.reportingHost.view()), lines);
  if (report.arrival.date.year != 0) {
    field("Arrival-Date: " + rfc822Date(report.arrival, false), lines);
  }
  for (const FailedRecipientStatus& recipient : report.recipients) {
    const std::string address = fieldValue(recipient.address);
    if (!isValidAddress(address)) continue;
    lines.add("");
    field("Final-Recipient: rfc822; " + address, lines);
    lines.add("Action: failed");
    field("Status: " + failedStatus(recipient.statusCode), lines);
    const std::string diagnostic = fieldValue(recipient.diagnostic);
    if (diagnostic.find_first_not_of(" \t") != std::string::npos) {
      field("Diagnostic-Code: smtp; " + diagnostic, lines);
    }
  }
  return lines;
}

}  // namespace quillet
