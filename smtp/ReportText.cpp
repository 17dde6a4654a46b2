// The report text of the delivery status notifications (see ReportText.h).
#include "smtp/ReportText.h"

#include "decode/HeaderBlock.h"
#include "smtp/HeaderText.h"

namespace quillet {
namespace {

const Str kBlankLine = " ";

Str safe(std::string_view text) { return Str(std::string_view(headerSafe(text))); }

// " From:" then a tab and the first address; further ones on lines of their own.
void addressLines(const char* label, const AddressList& addresses, ArrayStr& lines) {
  const int shown =
      addresses.count() < kMaxListedAddresses ? addresses.count() : kMaxListedAddresses;
  if (shown == 0) {
    lines.add(Str(label) + "\t");
    return;
  }
  for (int i = 1; i <= shown; ++i) {
    lines.add((i == 1 ? Str(label) : Str()) + "\t" + safe(addresses[i].address.view()));
  }
}

}  // namespace

Str originalDateText(const ParseResult& original) {
  for (const Str& line : original.headerLines) {
    std::string_view value;
    if (matchField(line.view(), "Date", value)) return safe(trimBlanks(value));
  }
  return Str();
}

void appendReasonSections(const StatusReason* reason, const ArrayStr& additional,
                          const ArrayStr& transcript, ArrayStr& lines) {
  if (reason != nullptr) {
    if (!reason->description.title.isBlank()) {
      lines.add("Reason: " + safe(reason->description.title.view()));
    }
    for (const Str& line : reason->description.lines) lines.add(safe(line.view()));
    lines.add(kBlankLine);
  }
  if (additional.count() > 0) {
    lines.add("Additional info:");
    for (const Str& line : additional) lines.add(safe(line.view()));
    lines.add(kBlankLine);
  }
  bool any = false;
  for (const Str& line : transcript) any = any || !line.isBlank();
  if (any) {
    lines.add("Transcript of session:");
    for (const Str& line : transcript) {
      if (!line.isBlank()) lines.add(safe(line.view()));
    }
    lines.add(kBlankLine);
  }
}

ArrayStr reportText(const ParseResult& original, const ReportDetails& details) {
  ArrayStr lines;
  const bool forward = details.kind == ReportKind::Forward;
  lines.add(forward ? "The message" : "Your message");
  lines.add(kBlankLine);
  addressLines(" From:", original.from, lines);
  lines.add(kBlankLine);
  addressLines(" To:", original.to, lines);
  if (original.cc.count() > 0) addressLines(" CC:", original.cc, lines);
  lines.add(kBlankLine);
  lines.add(" Subj:\t" + safe(original.subject.view()));
  lines.add(" Sent:\t" + originalDateText(original));
  lines.add(kBlankLine);
  switch (details.kind) {
    case ReportKind::Failed:
      lines.add("has encountered delivery problems to the following recipient(s):");
      break;
    case ReportKind::Expired:
      lines.add("has encountered repeatedly delivery problems to the following recipient(s):");
      break;
    case ReportKind::Forward:
      lines.add("originally addressed to the following recipient(s):");
      break;
  }
  lines.add(kBlankLine);
  for (const Str& recipient : details.recipients) lines.add("\t" + safe(recipient.view()));
  if (forward) {
    lines.add(kBlankLine);
    lines.add("has been encapsulated and forwarded to you.");
    lines.add(kBlankLine);
  } else {
    lines.add(kBlankLine);
    lines.add(kBlankLine);
  }
  appendReasonSections(&details.reason, details.additional, details.transcript, lines);
  return lines;
}

}  // namespace quillet
