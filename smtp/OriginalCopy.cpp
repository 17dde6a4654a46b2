// The original message of a report, copied without its transfer form (see OriginalCopy.h).
#include "smtp/OriginalCopy.h"

#include <memory>
#include <string>

#include "base/ErrorCodes.h"
#include "base/File.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "smtp/CanonicalData.h"

namespace quillet {
namespace {

// Cuts the canonical stream at the end of the header: the first line that is empty.
class HeaderEnd {
 public:
  // The length of block's part that belongs to the header; the header has ended when it is
  // shorter than block.
  size_t headerPart(const std::string& block) {
    for (size_t i = 0; i < block.size(); ++i) {
      const char c = block[i];
      if (lineStart_ && c == '\r') {
        // Canonical lines end with CR LF, so a CR at the start of a line is an empty line.
        ended_ = true;
        return i;
      }
      lineStart_ = c == '\n';
    }
    return block.size();
  }
  bool ended() const { return ended_; }

 private:
  bool lineStart_ = true;
  bool ended_ = false;
};

}  // namespace

OriginalCopy::~OriginalCopy() { discard(); }

void OriginalCopy::discard() {
  if (!path_.isBlank()) static_cast<void>(removeFile(path_));
  path_ = Str();
  size_ = 0;
}

int OriginalCopy::make(const Str& messageFile, const Str& directory, Extent extent) {
  discard();
  File source(messageFile);
  if (!source.open(File::kReadSharedOnce)) return err::kOpenMessageFile;
  const std::unique_ptr<File> target = createUniqueFile(directory, "dsn");
  if (!target) return err::kCreateTempFile;
  path_ = target->name();

  smtp::CanonicalDataReader reader(source, smtp::DataForm::Plain);
  HeaderEnd headerEnd;
  std::string block;
  bool written = true;
  for (;;) {
    const ReadState state = reader.next(block);
    if (state == ReadState::kFailed) {
      written = false;
      break;
    }
    if (extent == Extent::HeaderOnly) {
      block.resize(headerEnd.headerPart(block));
      if (size_ + static_cast<int64_t>(block.size()) > kMaxHeaderBytes) {
        block.resize(static_cast<size_t>(kMaxHeaderBytes - size_));
      }
    }
    for (char& c : block) {
      if (c == '\0') c = ' ';
    }
    const int length = static_cast<int>(block.size());
    if (length > 0 && target->write(block.data(), length) != length) {
      written = false;
      break;
    }
    size_ += length;
    const bool headerDone =
        extent == Extent::HeaderOnly && (headerEnd.ended() || size_ >= kMaxHeaderBytes);
    if (state == ReadState::kEnd || headerDone) break;
  }
  written = target->close() && written;
  if (!written) {
    discard();
    return err::kWriteTempFile;
  }
  return 0;
}

}  // namespace quillet
