// Lines of a composed message in transfer form (see TransferFileWriter.h).
#include "smtp/TransferFileWriter.h"

#include <string>

namespace quillet {

void TransferFileWriter::physicalLine(std::string_view text) {
  if (failed_) return;
  std::string out;
  out.reserve(text.size() + 3);
  if (!text.empty() && text.front() == '.') out += '.';
  out.append(text);
  out += "\r\n";
  failed_ = file_.write(out.data(), static_cast<int>(out.size())) != static_cast<int>(out.size());
}

void TransferFileWriter::line(std::string_view text) {
  do {
    // Room for the stuffed dot stays within the limit.
    const size_t room = !text.empty() && text.front() == '.' ? kMaxLineLength - 1 : kMaxLineLength;
    const size_t take = text.size() < room ? text.size() : room;
    physicalLine(text.substr(0, take));
    text.remove_prefix(take);
  } while (!text.empty());
}

void TransferFileWriter::finish() {
  if (failed_) return;
  failed_ = file_.write(".\r\n", 3) != 3;
}

}  // namespace quillet
