// The socket client's file transfers: sending a message file (raw or line by line) and
// receiving a counted or dot-terminated block into a file (see WSClient.h).
//
// Memory stays bounded: files move in blocks of at most 8192 bytes (received pieces of at
// most kMaxChunk bytes), whatever the file or the peer sends.
#include <algorithm>
#include <chrono>
#include <vector>

#include "base/Clock.h"
#include "base/ErrorCodes.h"
#include "base/File.h"
#include "base/ProcessContext.h"
#include "net/DotTerminator.h"
#include "net/WSClient.h"

namespace quillet {
namespace {

constexpr int kMaxChunk = 1 << 20;
constexpr int kDotBlockRead = 8192;

}  // namespace

int WSClient::sendFile(const Str& fileName, uint32_t options, uint32_t options2, int maxBodyLines) {
  File file(fileName);
  if (!file.open(File::kReadShared)) {
    if ((options2 & wsopt::kSendEmptyBody) == 0) return err::kOpenSmtpFile;
    const int result = sendLine(Str(), options);
    if (result != 0) return result;
    return sendLine(".", options);
  }
  return sendOpenFile(file, options, maxBodyLines);
}

int WSClient::sendOpenFile(File& file, uint32_t options, int maxBodyLines) {
  return maxBodyLines <= 0 ? sendFileBlocks(file) : sendFileLines(file, options, maxBodyLines);
}

int WSClient::sendFileBlocks(File& file) {
  std::vector<char> block(kFileBlockSize);
  for (;;) {
    const ReadResult got = file.read(block.data(), kFileBlockSize);
    // Bytes of a failed read are not sent: the peer has a cut-off message at most, and the
    // caller is told, so it never ends the transfer as if the message were whole.
    if (got.failed()) return err::kFileReadFailed;
    if (got.bytes > 0) {
      const int result = sendAll(block.data(), got.bytes, kFileSendTimeoutMs);
      if (result != 0) return result;
    }
    if (got.atEnd()) return 0;
  }
}

int WSClient::sendFileLines(File& file, uint32_t options, int maxBodyLines) {
  bool inBody = false;
  int bodyLines = 0;
  Str line;
  for (;;) {
    const ReadState got = file.readLine(line);
    if (got == ReadState::kFailed) return err::kFileReadFailed;
    if (got == ReadState::kEnd) return 0;
    const int result = sendLine(line, options);
    if (result != 0) return result;
    if (!inBody) {
      inBody = line.empty();
    } else if (++bodyLines >= maxBodyLines) {
      return sendLine(".", options);
    }
  }
}

int WSClient::recvToFile(File& file, int64_t total, int chunk, int timeoutMs) {
  if (total <= 0) return 0;
  chunk = std::clamp(chunk, 1, kMaxChunk);
  std::vector<char> buffer(static_cast<size_t>(chunk) + 10);
  int64_t left = total;
  while (left > 0) {
    const int piece = static_cast<int>(std::min<int64_t>(chunk, left));
    int received = 0;
    const int result = recvExact(buffer.data(), piece, timeoutMs, received);
    if (result != 0) return result;
    if (file.write(buffer.data(), piece) != piece) return err::kFileWriteFailed;
    left -= piece;
  }
  return 0;
}

int WSClient::recvDotTerminatedToFile(File& file, int timeoutMs, int64_t maxBytes) {
  DotTerminator terminator;
  MonotonicClock::time_point lastData = MonotonicClock::now();
  int64_t written = 0;
  for (;;) {
    if (!readBuffer_.empty()) {
      const int available = readBuffer_.size();
      const int end = terminator.scan(readBuffer_.data(), available);
      const int keep = end >= 0 ? end : available;
      if (maxBytes > 0 && written + keep > maxBytes) return err::kBlockTooLarge;
      if (file.write(readBuffer_.data(), keep) != keep) return err::kWriteTempFile;
      written += keep;
      readBuffer_.consume(keep);
      if (end >= 0) return 0;
      lastData = MonotonicClock::now();
    }
    if (!ProcessContext::instance().running()) return err::kTerminated;
    const int result = fillBuffer(timeoutMs, kDotBlockRead);
    if (result == 0) continue;
    if (result == err::kTerminated || result == err::kReadTimeout) return result;
    const auto idle = MonotonicClock::now() - lastData;
    if (idle > std::chrono::milliseconds(timeoutMs)) return err::kTimeout;
    return result;
  }
}

}  // namespace quillet
