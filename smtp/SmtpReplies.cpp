// SMTP reply assembly and classification (see SmtpReplies.h).
#include "smtp/SmtpReplies.h"

#include <cctype>
#include <cstring>

#include "base/ErrorCodes.h"

namespace quillet::smtp {
namespace {

struct StatusRow {
  int code;
  const char* status;
};

const StatusRow kCommonRows[] = {{421, "4.3.2"}, {451, "4.3.0"}, {452, "4.3.1"}, {500, "5.5.1"},
                                 {501, "5.5.2"}, {503, "5.5.0"}, {590, "5.5.4"}};
const StatusRow kMailFromRows[] = {{505, "5.7.4"}, {530, "5.7.0"}, {550, "5.1.8"}, {552, "5.3.4"}};
const StatusRow kRcptToRows[] = {{450, "4.2.2"}, {505, "5.7.4"}, {521, "5.3.3"},
                                 {530, "5.7.0"}, {550, "5.1.1"}, {551, "5.1.6"},
                                 {552, "5.2.3"}, {553, "5.1.1"}, {554, "5.2.1"}};
const StatusRow kDataRows[] = {{552, "5.2.3"}, {554, "5.2.1"}};

struct PhaseTable {
  const StatusRow* rows;
  int rowCount;
  const char* temporaryDefault;  // codes below 500
  const char* permanentDefault;  // 500 and above
};

template <int N>
PhaseTable table(const StatusRow (&rows)[N], const char* below500, const char* from500) {
  return {rows, N, below500, from500};
}

PhaseTable tableFor(Phase phase) {
  switch (phase) {
    case Phase::Session:
      return {nullptr, 0, "4.5.0", "5.5.0"};
    case Phase::Greeting:
      return {nullptr, 0, "4.4.0", "5.4.0"};
    case Phase::Auth:
      return {nullptr, 0, "4.7.1", "5.7.1"};
    case Phase::MailFrom:
      return table(kMailFromRows, "4.1.7", "5.1.7");
    case Phase::RcptTo:
      return table(kRcptToRows, "4.1.3", "5.1.3");
    case Phase::Data:
      return table(kDataRows, "4.5.0", "5.5.0");
  }
  return {nullptr, 0, "4.5.0", "5.5.0"};
}

const char* findRow(const StatusRow* rows, int count, int code) {
  for (int i = 0; i < count; ++i) {
    if (rows[i].code == code) return rows[i].status;
  }
  return nullptr;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool hasReplyCode(const Str& line) {
  return line.length() >= 3 && isDigit(line.at(0)) && isDigit(line.at(1)) && isDigit(line.at(2));
}

int replyCodeOf(const Str& line) {
  return (line.at(0) - '0') * 100 + (line.at(1) - '0') * 10 + (line.at(2) - '0');
}

// The enhanced status code at the start of the reply text (after the code and its
// separator), or empty when the text does not start with one.
Str enhancedCodeOf(const Str& replyLine) {
  const Str text = replyLine.mid(4);
  if (text.length() < 5) return Str();
  const char cls = text.at(0);
  if (cls != '2' && cls != '4' && cls != '5') return Str();
  if (text.at(1) != '.' || text.at(3) != '.') return Str();
  if (!isDigit(text.at(2)) || !isDigit(text.at(4))) return Str();
  return text.left(5);
}

}  // namespace

ReplyAssembler::Step ReplyAssembler::add(const Str& line) {
  if (++linesRead_ > Reply::kMaxReadLines) return Step::TooLong;
  // Lines without a code are noise some servers put ahead of their greeting.
  if (!hasReplyCode(line)) return Step::NeedMore;
  if (reply_.lines.count() < Reply::kMaxKeptLines) reply_.lines.add(line);
  if (line.length() >= 4 && line.at(3) == '-') return Step::NeedMore;
  reply_.line = line;
  reply_.code = replyCodeOf(line);
  return Step::Complete;
}

Verdict classify(const Str& replyLine, Phase phase, bool enhancedCodes) {
  Verdict verdict;
  if (!hasReplyCode(replyLine) || replyLine.at(0) < '4') return verdict;
  const int code = replyCodeOf(replyLine);
  if (enhancedCodes) verdict.statusCode = enhancedCodeOf(replyLine);
  if (verdict.statusCode.empty()) {
    const PhaseTable phaseTable = tableFor(phase);
    const char* status = findRow(phaseTable.rows, phaseTable.rowCount, code);
    if (status == nullptr) status = findRow(kCommonRows, std::size(kCommonRows), code);
    if (status == nullptr) {
      status = code < 500 ? phaseTable.temporaryDefault : phaseTable.permanentDefault;
    }
    verdict.statusCode = status;
  }
  if (code == 590) {
    verdict.result = err::kReply590;
  } else {
    verdict.result = code < 500 ? err::kTemporaryFailure : err::kPermanentFailure;
  }
  return verdict;
}

ArrayStr extensionsOf(const ArrayStr& replyLines) {
  ArrayStr extensions;
  for (int i = 1; i <= replyLines.count(); ++i) {
    const Str& line = replyLines[i];
    // The first line names the server (a dotted host name); it is no extension.
    if (i == 1 && line.find('.') >= 0) continue;
    Str keyword = line.mid(4);
    keyword.trim();
    extensions.add(keyword);
  }
  return extensions;
}

bool advertises(const ArrayStr& extensions, const char* keyword) {
  const int length = static_cast<int>(std::strlen(keyword));
  for (const Str& line : extensions) {
    if (line.length() >= length && line.startsWith(keyword, true)) return true;
  }
  return false;
}

int64_t sizeLimit(const ArrayStr& extensions) {
  for (const Str& line : extensions) {
    if (line.length() < 4 || !line.startsWith("SIZE", true)) continue;
    Str value = line.mid(4);
    value.trim();
    int64_t limit = 0;
    for (int i = 0; i < value.length() && isDigit(value.at(i)); ++i) {
      const int digit = value.at(i) - '0';
      if (limit > (INT64_MAX - digit) / 10) return INT64_MAX;
      limit = limit * 10 + digit;
    }
    return limit;
  }
  return 0;
}

bool offersAuthMechanism(const ArrayStr& extensions, const char* mechanism) {
  for (const Str& line : extensions) {
    // "AUTH LOGIN PLAIN" (RFC 4954) or "AUTH=LOGIN" (older servers): the mechanisms are
    // the blank-separated words after the fifth character.
    if (line.length() < 5 || !line.startsWith("AUTH", true)) continue;
    if (line.at(4) != ' ' && line.at(4) != '=') continue;
    const Str words = line.mid(5);
    int start = 0;
    while (start <= words.length()) {
      int end = words.find(' ', start);
      if (end < 0) end = words.length();
      if (Str(words.c_str() + start, end - start).equalsIgnoreCase(mechanism)) return true;
      start = end + 1;
    }
  }
  return false;
}

Str transcriptLine(const Str& line) {
  Str text = line;
  text.replace('\r', ' ');
  text.replace('\n', ' ');
  text.trim();
  return text;
}

}  // namespace quillet::smtp
