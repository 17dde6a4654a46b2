// Rendering and parsing of index files.
#include "server/queue/IndexFileFormat.h"

#include <cstdint>

namespace quillet {

namespace {

// Lines of the current layout (1-based).
constexpr int kLineIndexPath = 1;
constexpr int kLineMessagePath = 2;
constexpr int kLineQueuedAt = 3;
constexpr int kLineFlags = 4;
constexpr int kLineFormat = 13;
constexpr int kLineSource = 16;
constexpr int kLineSenderAddress = 21;
constexpr int kLinePriority = 22;
constexpr int kLineSenderFlags = 23;
constexpr int kLineSenderEnvid = 24;
constexpr int kLineTextA = 26;
constexpr int kLineTextB = 27;
constexpr int kLineExpiresAt = 31;
constexpr int kLineNextTryAt = 32;
constexpr int kLineTries = 34;
constexpr int kLineLastError = 35;
constexpr int kLineLastReply = 36;
constexpr int kLineFirstTranscript = 46;
constexpr int kLineFirstRecipient = 56;
// Within a recipient group: address, flags, ORCPT, then 7 reserved lines.
constexpr int kRecipientLinesRead = 3;

// Lines of the earlier layout.
constexpr int kOldLineSenderAddress = 3;
constexpr int kOldLinePriority = 4;
constexpr int kOldLineQueuedAt = 5;
constexpr int kOldLineExpiresAt = 6;
constexpr int kOldLineNextTryAt = 7;
constexpr int kOldLineLastError = 9;
constexpr int kOldLineIdentifiers = 10;
constexpr int kOldLineTries = 11;
constexpr int kOldLineFlags = 12;
constexpr int kOldLineFirstRecipient = 14;
// Line 10 without the mailbox flag: text A is its last 16 characters, text B its first 15.
constexpr int kOldTextALength = 16;
constexpr int kOldTextBLength = 15;

// Collects the lines of one file in order, with empty reserved lines where none are given.
class IndexLines {
 public:
  void set(int line, const Str& value) {
    if (static_cast<int>(lines_.size()) < line) lines_.resize(line);
    lines_[line - 1] = oneLineValue(value);
  }
  void setNumber(int line, uint32_t value) { set(line, Str::fromUInt(value)); }
  std::string text() const {
    std::string out;
    for (const Str& line : lines_) {
      out.append(line.view());
      out.append("\r\n");
    }
    return out;
  }

 private:
  std::vector<Str> lines_;
};

// Reads the lines of a file by 1-based number; values have NUL bytes replaced by blanks
// (an index file written elsewhere could hold them, and a path must not be cut by one).
class LineSource {
 public:
  explicit LineSource(const std::vector<Str>& lines) : lines_(lines) {}
  int count() const { return static_cast<int>(lines_.size()); }
  Str text(int line) const { return oneLineValue(lines_[line - 1]); }
  // Strict unsigned decimal, blanks around it allowed; false for anything else.
  bool number(int line, uint32_t& value) const {
    return parseNumber(lines_[line - 1], false, value);
  }
  // As number(), with an optional minus sign (the value is stored as its 32-bit pattern).
  bool signedNumber(int line, uint32_t& value) const {
    return parseNumber(lines_[line - 1], true, value);
  }

 private:
  static bool parseNumber(Str text, bool allowMinus, uint32_t& value) {
    text.trim();
    int pos = 0;
    const bool negative = allowMinus && text.at(0) == '-';
    if (negative) pos = 1;
    if (pos >= text.length()) return false;
    uint64_t result = 0;
    for (; pos < text.length(); ++pos) {
      const char c = text.at(pos);
      if (c < '0' || c > '9') return false;
      result = result * 10 + static_cast<uint64_t>(c - '0');
      if (result > (negative ? 0x80000000ULL : 0xFFFFFFFFULL)) return false;
    }
    value = negative ? static_cast<uint32_t>(0 - result) : static_cast<uint32_t>(result);
    return true;
  }

  const std::vector<Str>& lines_;
};

void setPriorityIfValid(SMTPInfo& entry, uint32_t value) {
  if (SMTPInfo::isValidPriority(value)) entry.priority = value;
}

IndexStatus parseCurrentLayout(const LineSource& lines, SMTPInfo& entry) {
  if (lines.count() < kIndexFixedLines) return IndexStatus::Incomplete;
  uint32_t priority = 0;
  uint32_t senderFlags = 0;
  if (!lines.number(kLineQueuedAt, entry.queuedAt) || !lines.number(kLineFlags, entry.flags) ||
      !lines.number(kLinePriority, priority) || !lines.number(kLineSenderFlags, senderFlags) ||
      !lines.number(kLineExpiresAt, entry.expiresAt) ||
      !lines.number(kLineNextTryAt, entry.nextTryAt) || !lines.number(kLineTries, entry.tries) ||
      !lines.number(kLineLastError, entry.lastError)) {
    return IndexStatus::Garbled;
  }
  entry.source = lines.text(kLineSource);
  entry.sender = SMTPInfoAddress(lines.text(kLineSenderAddress), senderFlags);
  if (senderFlags & SMTPInfoAddress::kHasEnvid) {
    entry.sender.parameter = lines.text(kLineSenderEnvid);
    entry.sender.flags &= ~SMTPInfoAddress::kHasOrcpt;
  }
  setPriorityIfValid(entry, priority);
  entry.textA = lines.text(kLineTextA);
  entry.textB = lines.text(kLineTextB);
  entry.lastReply = lines.text(kLineLastReply);
  for (int line = kLineFirstTranscript; line < kLineFirstTranscript + SMTPInfo::kMaxTranscriptLines;
       ++line) {
    const Str text = lines.text(line);
    if (!text.isBlank()) entry.transcript.add(text);
  }

  // Groups of 10 lines; the seven reserved lines of the last group may be missing.
  for (int first = kLineFirstRecipient; first + kRecipientLinesRead - 1 <= lines.count();
       first += kIndexLinesPerRecipient) {
    SMTPInfoAddress recipient(lines.text(first));
    if (!lines.number(first + 1, recipient.flags)) return IndexStatus::Garbled;
    if (recipient.flags & SMTPInfoAddress::kHasOrcpt) {
      recipient.parameter = lines.text(first + 2);
      recipient.flags &= ~SMTPInfoAddress::kHasEnvid;
    }
    // A blank address is never written; one found here could only be sent as "RCPT TO:<>".
    if (!recipient.address.isBlank()) entry.recipients.add(recipient);
  }
  return IndexStatus::Loaded;
}

IndexStatus parseEarlierLayout(const LineSource& lines, SMTPInfo& entry) {
  uint32_t priority = 0;
  if (!lines.number(kOldLinePriority, priority) ||
      !lines.number(kOldLineQueuedAt, entry.queuedAt) ||
      !lines.number(kOldLineExpiresAt, entry.expiresAt) ||
      !lines.number(kOldLineNextTryAt, entry.nextTryAt) ||
      !lines.signedNumber(kOldLineLastError, entry.lastError) ||
      !lines.number(kOldLineTries, entry.tries) || !lines.number(kOldLineFlags, entry.flags)) {
    return IndexStatus::Garbled;
  }
  entry.sender = SMTPInfoAddress(lines.text(kOldLineSenderAddress));
  setPriorityIfValid(entry, priority);

  const Str identifiers = lines.text(kOldLineIdentifiers);
  if (!identifiers.isBlank()) {
    if (entry.flags & SMTPInfo::kFromMailboxOrPickup) {
      entry.source = identifiers;
    } else {
      const int length = identifiers.length();
      entry.textA =
          length > kOldTextALength ? identifiers.mid(length - kOldTextALength) : identifiers;
      entry.textB = identifiers.left(kOldTextBLength);
      entry.textB.trimRight();
    }
  }
  for (int line = kOldLineFirstRecipient; line <= lines.count(); ++line) {
    const Str address = lines.text(line);
    if (!address.isBlank()) entry.recipients.add(SMTPInfoAddress(address));
  }
  return IndexStatus::Loaded;
}

}  // namespace

const char* indexStatusText(IndexStatus status) {
  switch (status) {
    case IndexStatus::Loaded:
      return "loaded";
    case IndexStatus::Unreadable:
      return "unreadable";
    case IndexStatus::TooLarge:
      return "too large";
    case IndexStatus::TooShort:
      return "too short";
    case IndexStatus::Incomplete:
      return "incomplete";
    case IndexStatus::Garbled:
      return "garbled";
    case IndexStatus::MessageMissing:
      return "message file missing";
  }
  return "unknown";
}

Str oneLineValue(const Str& value) {
  const std::string_view text = value.view();
  if (text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos) return value;
  Str clean = value;
  char* bytes = clean.data();
  for (int i = 0; i < clean.length(); ++i) {
    if (bytes[i] == '\r' || bytes[i] == '\n' || bytes[i] == '\0') bytes[i] = ' ';
  }
  return clean;
}

std::string renderIndexFile(const SMTPInfo& entry) {
  IndexLines lines;
  lines.set(kLineIndexPath, entry.indexFile);
  lines.set(kLineMessagePath, entry.messageFile);
  lines.setNumber(kLineQueuedAt, entry.queuedAt);
  lines.setNumber(kLineFlags, entry.flags);
  lines.set(kLineFormat, kIndexFormatMarker);
  lines.set(kLineSource, entry.source);
  lines.set(kLineSenderAddress, entry.sender.address);
  lines.setNumber(kLinePriority, entry.priority);
  lines.setNumber(kLineSenderFlags, entry.sender.flags);
  if (entry.sender.flags & SMTPInfoAddress::kHasEnvid)
    lines.set(kLineSenderEnvid, entry.sender.parameter);
  lines.set(kLineTextA, entry.textA);
  lines.set(kLineTextB, entry.textB);
  lines.setNumber(kLineExpiresAt, entry.expiresAt);
  lines.setNumber(kLineNextTryAt, entry.nextTryAt);
  lines.setNumber(kLineTries, entry.tries);
  lines.setNumber(kLineLastError, entry.lastError);
  lines.set(kLineLastReply, entry.lastReply);
  const int transcriptLines = entry.transcript.count();
  for (int i = 1; i <= SMTPInfo::kMaxTranscriptLines; ++i) {
    lines.set(kLineFirstTranscript + i - 1, i <= transcriptLines ? entry.transcript[i] : Str());
  }

  int first = kLineFirstRecipient;
  for (const SMTPInfoAddress& recipient : entry.recipients) {
    if (recipient.address.isBlank()) continue;
    lines.set(first, recipient.address);
    lines.setNumber(first + 1, recipient.flags);
    lines.set(first + 2,
              (recipient.flags & SMTPInfoAddress::kHasOrcpt) ? recipient.parameter : Str());
    lines.set(first + kIndexLinesPerRecipient - 1, Str());  // the 7 reserved lines
    first += kIndexLinesPerRecipient;
  }
  return lines.text();
}

IndexStatus parseIndexLines(const std::vector<Str>& lines, SMTPInfo& entry) {
  const LineSource source(lines);
  if (source.count() < kIndexMinimumLines) return IndexStatus::TooShort;

  SMTPInfo parsed;
  parsed.indexFile = source.text(kLineIndexPath);
  parsed.messageFile = source.text(kLineMessagePath);
  const IndexStatus status = lines[kLineFormat - 1].equals(kIndexFormatMarker)
                                 ? parseCurrentLayout(source, parsed)
                                 : parseEarlierLayout(source, parsed);
  if (status == IndexStatus::Loaded) entry = parsed;
  return status;
}

}  // namespace quillet
