// Data-file records built byte by byte for tests: blank records of the three kinds with
// their separators, text placed at an offset, and a whole DataPOP.DAT record of a mailbox.
// The layouts are written out here independently of the code that reads them, so a test
// that compares the two catches a wrong offset on either side.
#pragma once

#include <initializer_list>
#include <string>

namespace quillet::testing {

// A well-formed blank record: "|", blank deleted flag, "|", blank fields closed by "|" at
// the given separator offsets, CR LF.
inline std::string blankRecord(int length, std::initializer_list<int> separators) {
  std::string record(static_cast<size_t>(length), ' ');
  record[0] = '|';
  record[2] = '|';
  for (int offset : separators) record[static_cast<size_t>(offset)] = '|';
  record[static_cast<size_t>(length - 2)] = '\r';
  record[static_cast<size_t>(length - 1)] = '\n';
  return record;
}

// Puts text into record at offset (no padding: the record is blank already).
inline void place(std::string& record, int offset, const std::string& text) {
  record.replace(static_cast<size_t>(offset), text.size(), text);
}

// Separator offsets of the three record kinds, written out independently of the code.
inline constexpr int kPopLength = 1024;
inline std::string blankPopRecord() {
  return blankRecord(kPopLength, {53, 156, 285, 414, 420, 426, 437, 445, 496, 507, 509, 511, 1021});
}
inline constexpr int kUserLength = 256;
inline std::string blankUserRecord() { return blankRecord(kUserLength, {131, 162, 251, 253}); }
inline constexpr int kConfLength = 256;
inline std::string blankConfRecord() {
  return blankRecord(kConfLength, {4, 55, 66, 77, 88, 99, 110, 253});
}

// One mailbox as the DataPOP.DAT record holds it.
struct MailboxRecord {
  std::string user;
  std::string password = "secret";  // plain; stored scrambled with the mailbox password key,
                                    // empty: the field stays blank
  std::string host = "127.0.0.1";
  std::string routeTo;  // empty: the recipients are detected from the messages
  std::string comment;
  int port = 0;         // 0: blank, so POPInboundPort applies
  char security = ' ';  // ' ' plain POP3, 'T' POP3S, 'S' STLS
  std::string from = "00:00";
  std::string until = "23:59";
  int everyMinutes = 1440;       // once in the day's window: one pass per run
  std::string days = "XXXXXXX";  // one mark per weekday; blank = never due
  char deleted = ' ';            // '*': the record is deleted
  char disabled = ' ';           // '*': the mailbox is not fetched
};

// The 1024-byte DataPOP.DAT record of a mailbox.
[[nodiscard]] std::string dataPopRecord(const MailboxRecord& mailbox);

}  // namespace quillet::testing
