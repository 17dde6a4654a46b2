// The canonical message stream (see CanonicalData.h for the rules).
#include "smtp/CanonicalData.h"

namespace quillet::smtp {

void CanonicalDataConverter::feed(const char* data, int length, std::string& out) {
  int i = 0;
  while (i < length && !ended_) {
    if (line_ == LineState::Body && !pendingCr_) {
      // Inside a line every byte up to the next CR or LF passes as it is: copy the run.
      int end = i;
      while (end < length && data[end] != '\r' && data[end] != '\n') ++end;
      out.append(data + i, static_cast<size_t>(end - i));
      i = end;
      if (i == length) break;
    }
    byte(data[i++], out);
  }
}

void CanonicalDataConverter::byte(char c, std::string& out) {
  if (pendingCr_) {
    pendingCr_ = false;
    if (c == '\n') {
      endLine(true, out);
      return;
    }
    endLine(false, out);  // a lone CR ended the line; c begins the next one
  }
  // Something follows the lone "." line, so it was content, not the end.
  if (heldDot_) releaseHeldDot(out);
  if (c == '\r') {
    pendingCr_ = true;
    return;
  }
  if (c == '\n') {
    endLine(false, out);
    return;
  }
  switch (line_) {
    case LineState::Start:
      if (c == '.') {
        line_ = LineState::OneDot;
        return;
      }
      line_ = LineState::Body;
      out += c;
      return;
    case LineState::OneDot:
      line_ = LineState::Body;
      out += form_ == DataForm::DotStuffed ? ".." : ".";
      // A stored ".." line: its first dot was the stuffing and is already written back.
      if (c != '.') out += c;
      return;
    case LineState::Body:
      out += c;
      return;
  }
}

void CanonicalDataConverter::endLine(bool crLf, std::string& out) {
  switch (line_) {
    case LineState::OneDot:
      if (crLf && previousEndedCrLf_) {
        ended_ = true;
        return;
      }
      heldDot_ = true;
      break;
    case LineState::Start:
    case LineState::Body:
      out += "\r\n";
      break;
  }
  line_ = LineState::Start;
  previousEndedCrLf_ = crLf;
}

void CanonicalDataConverter::releaseHeldDot(std::string& out) {
  heldDot_ = false;
  out += form_ == DataForm::DotStuffed ? "..\r\n" : ".\r\n";
}

void CanonicalDataConverter::finish(std::string& out) {
  if (!ended_) {
    if (pendingCr_) {
      pendingCr_ = false;
      endLine(false, out);
    }
    // A lone "." as the last line, with or without a line end, is the stored terminator.
    if (line_ == LineState::Body) out += "\r\n";
    line_ = LineState::Start;
    heldDot_ = false;
    ended_ = true;
  }
  if (form_ == DataForm::DotStuffed) out += ".\r\n";
}

ReadState CanonicalDataReader::next(std::string& block) {
  block.clear();
  if (finished_) return ReadState::kEnd;
  input_.resize(kBlockSize);
  const ReadResult got = file_.read(input_.data(), kBlockSize);
  if (got.failed()) return ReadState::kFailed;
  converter_.feed(input_.data(), got.bytes, block);
  if (!got.atEnd() && !converter_.ended()) return ReadState::kData;
  converter_.finish(block);
  finished_ = true;
  return ReadState::kEnd;
}

int64_t canonicalSize(const Str& path, DataForm form) {
  File file(path);
  if (!file.open(File::kReadShared)) return -1;
  CanonicalDataReader reader(file, form);
  std::string block;
  int64_t total = 0;
  for (;;) {
    const ReadState state = reader.next(block);
    if (state == ReadState::kFailed) return -1;
    total += static_cast<int64_t>(block.size());
    if (state == ReadState::kEnd) return total;
  }
}

}  // namespace quillet::smtp
