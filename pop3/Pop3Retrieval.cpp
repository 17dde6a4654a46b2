// Retrieval of one message in a POP3 session: plain RETR streamed into a new MSG-IN file,
// or the compressed retrieval ("XBCOMPSIZE", "XBCOMPRETR", one zlib stream), and the
// durable storing of the message with its INX index file before the session goes on.
//
// A message's files either become a complete queue entry (message flushed, index replaced
// atomically) or are deleted: PendingFile removes whatever was not committed.
#include <cstdio>
#include <memory>

#include "base/ErrorCodes.h"
#include "base/File.h"
#include "base/FileNames.h"
#include "pop3/Inflate.h"
#include "pop3/Pop3Session.h"

namespace quillet {
namespace {

// A file of the message being fetched: deleted at the end of its scope unless committed.
// Declared before the File object, so the file is closed before it is deleted.
class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile() {
    // Best effort: a leftover file without an index is never delivered, only wastes space.
    if (!committed_ && !path.empty()) static_cast<void>(removeFile(path));
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  void commit() { committed_ = true; }
  Str path;

 private:
  bool committed_ = false;
};

}  // namespace

int Pop3Session::retrieve(uint32_t number) {
  Str path;
  int code = capabilities_.compressedRetrieval ? retrieveCompressed(number, path)
                                               : retrievePlain(number, path);
  if (code != 0) return code;
  return storeEntry(path);
}

int Pop3Session::retrievePlain(uint32_t number, Str& path) {
  PendingFile message;
  std::unique_ptr<File> file = store_.createMessageFile(QueueNumber::Inbound, message.path);
  if (!file) return err::kCreateMessageFile;
  const Str line = Str("RETR ") + Str::fromUInt(number);
  Str reply;
  int code = command(line, reply);
  if (code != 0) return code;
  if (!pop3::isPositiveReply(reply)) return rejected(line, reply);
  // The body as received: CR LF line ends and dot-stuffing kept, up to and including the
  // terminating ".", CR, LF.
  code = client_.recvDotTerminatedToFile(*file, WSPOPClient::kReplyTimeoutMs,
                                         WSPOPClient::kMaxMessageBytes);
  if (code != 0) return code;
  if (!file->close()) return err::kWriteTempFile;
  message.commit();
  path = message.path;
  return 0;
}

int Pop3Session::retrieveCompressed(uint32_t number, Str& path) {
  const Str line = Str("XBCOMPSIZE ") + Str::fromUInt(number);
  Str reply;
  int code = command(line, reply);
  if (code != 0) return code;
  if (!pop3::isPositiveReply(reply)) return rejected(line, reply);
  const uint64_t size = pop3::compressedSize(reply);
  if (size > static_cast<uint64_t>(WSPOPClient::kMaxCompressedBytes)) {
    return err::kInflateFailed;
  }

  // The compressed bytes wait in a file of their own in the queue directory (a name of
  // the queue, so two mailbox threads never share one); it is always deleted.
  PendingFile compressed;
  std::unique_ptr<File> compressedFile =
      store_.createMessageFile(QueueNumber::Inbound, compressed.path);
  if (!compressedFile) return err::kCreateMessageFile;
  code = client_.sendLine("XBCOMPRETR", wireOptions_);
  if (code != 0) return code;
  code = client_.recvToFile(*compressedFile, static_cast<int64_t>(size), WSClient::kFileBlockSize,
                            WSPOPClient::kCompressedPieceTimeoutMs);
  if (code != 0) return code;

  PendingFile message;
  std::unique_ptr<File> file = store_.createMessageFile(QueueNumber::Inbound, message.path);
  if (!file) return err::kCreateTempFile;
  if (compressedFile->seek(SEEK_SET, 0) != 0) return err::kFileWriteFailed;
  switch (inflateFile(*compressedFile, *file, WSPOPClient::kMaxInflatedBytes)) {
    case InflateResult::Done:
      break;
    case InflateResult::BadData:
    case InflateResult::TooLarge:
    case InflateResult::ReadFailed:
      return err::kInflateFailed;
    case InflateResult::WriteFailed:
      return err::kWriteTempFile;
  }
  if (!file->close()) return err::kWriteTempFile;
  message.commit();
  path = message.path;
  return 0;
}

int Pop3Session::storeEntry(const Str& path) {
  SMTPInfo entry;
  ArraySMTPInfoAddress recipients;
  if (!request_.routeTo.empty()) recipients.add(SMTPInfoAddress(request_.routeTo));
  store_.initEntry(entry, path, SMTPInfoAddress(), recipients, 0, SMTPInfo::kDefaultPriority);
  entry.flags |= SMTPInfo::kFromMailboxOrPickup;
  entry.source = request_.user;
  // writeIndex flushes the message file and replaces the index atomically: only then may
  // the server be told DELE or QUIT.
  if (!store_.writeIndex(entry, QueueNumber::Inbound)) {
    entry.clear(true);
    return err::kWriteTempFile;
  }
  result_.fetchedFiles.add(path);
  result_.entries.add(std::move(entry));
  return 0;
}

}  // namespace quillet
