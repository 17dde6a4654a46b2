// Header field handling (see HeaderFields.h).
#include "decode/HeaderFields.h"

#include "decode/AddressParser.h"
#include "decode/DateParser.h"
#include "decode/HeaderBlock.h"
#include "decode/Rfc2047.h"

namespace quillet {
namespace {

void addAll(AddressList& list, std::string_view value) {
  for (ParsedAddress& parsed : parseAddressList(value)) {
    list.add(MailAddress{Str(std::string_view(parsed.address)),
                         Str(std::string_view(parsed.displayName))});
  }
}

void addEnvelope(AddressList& list, std::string_view value) {
  for (ParsedAddress& parsed : parseAddressList(value)) {
    std::optional<std::string> rewritten = rewriteEnvelopeAddress(parsed.address);
    if (!rewritten) continue;
    list.add(
        MailAddress{Str(std::string_view(*rewritten)), Str(std::string_view(parsed.displayName))});
  }
}

// The address of the "for " clause of a Received value: the text after the first "for "
// (lower case only) up to the next white space or ";".
void addReceivedFor(ParseResult& result, std::string_view value) {
  size_t pos = value.find("for ");
  if (pos == std::string_view::npos) return;
  std::string_view rest = value.substr(pos + 4);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  size_t end = rest.find_first_of(" \t;");
  if (end != std::string_view::npos) rest = rest.substr(0, end);
  for (ParsedAddress& parsed : parseAddressList(rest)) {
    result.receivedFor.add(
        ReceivedForAddress{Str(std::string_view(parsed.address)), result.receivedCount});
  }
}

void readCustomFields(const std::vector<std::string>& lines, const DecodeOptions& options,
                      ParseResult& result) {
  for (const std::string& line : lines) {
    std::string_view name = fieldName(line);
    if (name.empty()) continue;
    for (const Str& custom : options.customFieldNames) {
      if (custom.empty() || !equalsNoCase(name, trimBlanks(custom.view()))) continue;
      addAll(result.custom, std::string_view(line).substr(line.find(':') + 1));
      break;
    }
  }
}

}  // namespace

void readHeaderFields(const std::vector<std::string>& lines, const DecodeOptions& options,
                      ParseResult& result) {
  static constexpr std::string_view kEnvelopeNames[] = {"Resent-To", "Apparently-To", "Envelope-to",
                                                        "X-RCPT-TO", "Delivered-To"};
  static constexpr std::string_view kIgnored[] = {"Return-Receipt-To", "X-Confirm-Reading-To",
                                                  "Disposition-Notification-To"};
  for (const std::string& line : lines) {
    result.headerLines.add(Str(std::string_view(line)));
    std::string_view value;
    if (matchField(line, "Date", value)) {
      if (!result.date.valid) result.date = parseMessageDate(value);
      continue;
    }
    if (matchField(line, "Subject", value)) {
      result.subject = Str(std::string_view(decodeHeaderText(trimBlanks(value))));
      continue;
    }
    if (matchField(line, "To", value)) {
      addAll(result.to, value);
      continue;
    }
    bool handled = false;
    for (std::string_view name : kEnvelopeNames) {
      if (!matchField(line, name, value)) continue;
      if (name != "Resent-To" || options.envelopeFields()) addEnvelope(result.envelope, value);
      handled = true;
      break;
    }
    if (handled) continue;
    if (matchField(line, "Cc", value)) {
      addAll(result.cc, value);
    } else if (matchField(line, "From", value)) {
      addAll(result.from, value);
    } else if (matchField(line, "Sender", value)) {
      addAll(result.sender, value);
    } else if (matchField(line, "Reply-To", value)) {
      addAll(result.replyTo, value);
    } else if (matchField(line, "Return-Path", value)) {
      addAll(result.returnPath, value);
    } else if (matchField(line, kIgnored[0], value) || matchField(line, kIgnored[1], value) ||
               matchField(line, kIgnored[2], value)) {
      // receipt requests are never recipients
    } else if (matchField(line, "Message-ID", value)) {
      if (result.messageId.empty()) result.messageId = Str(trimBlanks(value));
    } else if (matchField(line, "Precedence", value)) {
      if (findNoCase(value, "bulk") != std::string_view::npos) result.priority = 5;
    } else if (matchField(line, "Received", value)) {
      ++result.receivedCount;
      if (options.envelopeFields()) addReceivedFor(result, value);
    }
  }
  if (options.envelopeFields() && options.customFieldNames.count() > 0)
    readCustomFields(lines, options, result);
}

}  // namespace quillet
