// The message transfer of WSSMTPClient: the SIZE check, the envelope (pipelined in one
// write when the server allows it), one outcome per recipient, and the three data
// transfers (XBDATA with zlib, BDAT with CHUNKING, DATA), each fed by the canonical stream
// of CanonicalData.h. Memory stays flat whatever the message size: the file is read and
// sent in blocks of CanonicalDataReader::kBlockSize.
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "base/ErrorCodes.h"
#include "base/File.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "base/StopWatch.h"
#include "smtp/SmtpEnvelope.h"
#include "smtp/WSSMTPClient.h"

namespace quillet {
namespace {

bool isRefusal(int code) {
  return code == err::kPermanentFailure || code == err::kTemporaryFailure || code == err::kReply590;
}

// RFC-conforming servers drop the connection to refuse data they cannot store.
int duringTransfer(int code) {
  if (code == err::kWsaConnectionAborted || code == err::kWsaConnectionReset) {
    return err::kStorageExceeded;
  }
  return code;
}

// A temporary file that is deleted whatever happens.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::unique_ptr<File> file) : file_(std::move(file)) {}
  ~TemporaryFile() {
    if (file_ == nullptr) return;
    const Str name = file_->name();
    static_cast<void>(file_->close());  // it is deleted either way
    static_cast<void>(removeFile(name));
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  File* get() { return file_.get(); }

 private:
  std::unique_ptr<File> file_;
};

// Deflates the canonical dot-stuffed form of in into out (zlib format). False when a read,
// the compression or a write fails.
bool deflateCanonical(File& in, File& out) {
  z_stream stream{};
  if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
  smtp::CanonicalDataReader reader(in, smtp::DataForm::DotStuffed);
  std::string block;
  std::vector<unsigned char> packed(smtp::CanonicalDataReader::kBlockSize);
  bool ok = true;
  for (bool last = false; ok && !last;) {
    const ReadState state = reader.next(block);
    if (state == ReadState::kFailed) {
      ok = false;
      break;
    }
    last = state == ReadState::kEnd;
    stream.next_in = reinterpret_cast<Bytef*>(block.data());
    stream.avail_in = static_cast<uInt>(block.size());
    int status = Z_OK;
    do {
      stream.next_out = packed.data();
      stream.avail_out = static_cast<uInt>(packed.size());
      status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) {
        ok = false;
        break;
      }
      const int produced = static_cast<int>(packed.size() - stream.avail_out);
      if (produced > 0 && out.write(packed.data(), produced) != produced) ok = false;
    } while (ok && stream.avail_out == 0);
    if (ok && last && status != Z_STREAM_END) ok = false;
  }
  deflateEnd(&stream);
  return ok;
}

}  // namespace

int WSSMTPClient::SendMessage(const Str& messageFile, const SMTPInfoAddress& sender,
                              const ArraySMTPInfoAddress& recipients, uint32_t priority,
                              uint32_t options, SMTPSendResult& result) {
  result.statusCode = Str();
  result.lastReply = Str();
  result.rate = 0;
  result.recipients.clear();
  for (int i = 0; i < recipients.count(); ++i) result.recipients.add(SMTPRecipientOutcome{});
  lastReply_ = Str();
  lastStatus_ = Str();
  // Every recipient still counted as delivered shares the message's failure.
  const auto failAll = [&result](int code) {
    for (SMTPRecipientOutcome& outcome : result.recipients) {
      if (outcome.result != 0) continue;
      outcome.result = code;
      outcome.statusCode = result.statusCode;
      outcome.reply = result.lastReply;
    }
    return code;
  };

  int64_t fileSize = -1;
  {
    File file(messageFile);
    if (file.open(File::kReadShared)) fileSize = file.size();
  }
  // A vanished file is found before any command, so no transaction is left half open.
  if (fileSize < 0) return failAll(err::kOpenSmtpFile);
  const int64_t limit = smtp::sizeLimit(extensions_);
  if (limit != 0 && limit < fileSize) {
    result.statusCode = "5.3.4";
    return failAll(err::kPermanentFailure);
  }
  if (recipients.count() == 0) {
    result.statusCode = "5.1.3";
    return err::kPermanentFailure;
  }

  const smtp::Envelope envelope = smtp::buildEnvelope(sender, recipients, fileSize, extensions_);
  ArrayStr commands;
  commands.add(envelope.mailFrom);
  for (const Str& line : envelope.rcptTo) commands.add(line);
  int accepted = 0;
  int code = sendEnvelope(commands, options, result, accepted);
  if (code != 0) return failAll(code);

  if (accepted == 0) {
    // Nothing goes to the server; RSET is the caller's. The message result is the first
    // temporary refusal (the message stays queued), else a permanent one.
    int chosen = 1;
    for (int i = 1; i <= result.recipients.count(); ++i) {
      if (result.recipients[i].result != err::kPermanentFailure) {
        chosen = i;
        break;
      }
    }
    const SMTPRecipientOutcome& outcome = result.recipients[chosen];
    result.statusCode = outcome.statusCode;
    result.lastReply = outcome.reply;
    return outcome.result;
  }

  code = transferData(messageFile, priority, options, result);
  if (code != 0) return failAll(code);
  return 0;
}

int WSSMTPClient::sendEnvelope(const ArrayStr& commands, uint32_t options, SMTPSendResult& result,
                               int& accepted) {
  accepted = 0;
  const bool pipelining = advertises("PIPELINING");
  int code = 0;
  if (pipelining) {
    // RFC 2920: the whole envelope in one write; DATA waits for the replies.
    std::string batch;
    for (const Str& line : commands) {
      trace(TraceDirection::Sent, line, options);
      batch.append(line.view());
      batch.append("\r\n");
    }
    code = sendAll(batch.data(), static_cast<int>(batch.size()), kLineSendTimeoutMs);
    if (code != 0) return code;
  }
  int mailFromRefused = 0;
  for (int i = 1; i <= commands.count(); ++i) {
    if (!pipelining) {
      code = sendLine(commands[i], options);
      if (code != 0) return code;
    }
    smtp::Reply reply;
    code = readReply(reply, pipelining ? longReplyTimeoutMs_ : replyTimeoutMs_, options);
    if (code != 0) return code;
    // After a refused MAIL FROM the remaining pipelined replies are read only to stay in
    // step; they say nothing about the recipients.
    if (mailFromRefused != 0) continue;
    const smtp::Phase phase = i == 1 ? smtp::Phase::MailFrom : smtp::Phase::RcptTo;
    const smtp::Verdict verdict = judge(reply, phase);
    if (verdict.result == 0) {
      if (i > 1) ++accepted;
      continue;
    }
    result.transcript.add(smtp::transcriptLine(commands[i]));
    result.transcript.add(smtp::transcriptLine(reply.line));
    if (i == 1) {
      result.statusCode = verdict.statusCode;
      result.lastReply = reply.line;
      mailFromRefused = verdict.result;
      if (!pipelining) return mailFromRefused;
      continue;
    }
    SMTPRecipientOutcome& outcome = result.recipients[i - 1];
    outcome.result = verdict.result;
    outcome.statusCode = verdict.statusCode;
    outcome.reply = reply.line;
  }
  return mailFromRefused;
}

int WSSMTPClient::transferData(const Str& messageFile, uint32_t priority, uint32_t options,
                               SMTPSendResult& result) {
  if (advertises("XBDATA")) {
    const int code = sendXbdata(messageFile, priority, options, result);
    // A permanent refusal or 590 falls back to the standard transfers.
    if (code != err::kPermanentFailure && code != err::kReply590) return code;
    result.statusCode = Str();
    result.lastReply = Str();
  }
  if (advertises("CHUNKING")) return sendBdat(messageFile, options, result);
  return sendData(messageFile, options, result);
}

int WSSMTPClient::sendXbdata(const Str& messageFile, uint32_t priority, uint32_t options,
                             SMTPSendResult& result) {
  File message(messageFile);
  if (!message.open(File::kReadShared)) return err::kOpenCompressedFile;
  TemporaryFile compressed(createUniqueFile(directoryOf(messageFile), "XBD"));
  if (compressed.get() == nullptr) return err::kCreateTempFile;
  if (!deflateCanonical(message, *compressed.get()) || !compressed.get()->close()) {
    return err::kCreateTempFile;
  }
  File packed(compressed.get()->name());
  if (!packed.open(File::kReadSharedOnce)) return err::kCreateTempFile;
  const int64_t packedSize = packed.size();
  if (packedSize < 0) return err::kCreateTempFile;

  Str command = Str("XBDATA SIZE=") + Str::fromInt(packedSize) + " TYPE=RFCZ";
  if (priority != SMTPInfo::kDefaultPriority) command += Str(" PRIO=") + Str::fromUInt(priority);
  int code = dataCommand(command, options, result);
  if (code != 0) return code;
  const StopWatch watch;
  int64_t sent = 0;
  code = streamFile(packed, sent);
  if (code != 0) return code;
  return finishTransfer(command, sent, watch.elapsed(), options, result);
}

int WSSMTPClient::sendBdat(const Str& messageFile, uint32_t options, SMTPSendResult& result) {
  // RFC 3030 needs the chunk size first: one pass counts, the second sends.
  const int64_t size = smtp::canonicalSize(messageFile, smtp::DataForm::Plain);
  if (size < 0) return err::kOpenSmtpFile;
  const Str command = Str("BDAT ") + Str::fromInt(size) + " LAST";
  int code = sendLine(command, options);
  if (code != 0) return code;
  const StopWatch watch;
  int64_t sent = 0;
  code = streamCanonical(messageFile, smtp::DataForm::Plain, sent);
  if (code != 0) return code;
  if (sent != size) {
    // The file changed between the passes: the server counts bytes that will not come.
    Close();
    return err::kFileReadFailed;
  }
  return finishTransfer(command, sent, watch.elapsed(), options, result);
}

int WSSMTPClient::sendData(const Str& messageFile, uint32_t options, SMTPSendResult& result) {
  int code = dataCommand("DATA", options, result);
  if (code != 0) return code;
  const StopWatch watch;
  int64_t sent = 0;
  code = streamCanonical(messageFile, smtp::DataForm::DotStuffed, sent);
  if (code != 0) return code;
  return finishTransfer("DATA", sent, watch.elapsed(), options, result);
}

int WSSMTPClient::streamCanonical(const Str& messageFile, smtp::DataForm form, int64_t& bytes) {
  bytes = 0;
  File file(messageFile);
  if (!file.open(File::kReadShared)) return err::kOpenSmtpFile;
  smtp::CanonicalDataReader reader(file, form);
  std::string block;
  for (;;) {
    const ReadState state = reader.next(block);
    if (state == ReadState::kFailed) {
      // Part of the message is out; ending it now would deliver a cut-off message.
      Close();
      return err::kFileReadFailed;
    }
    if (!block.empty()) {
      const int code = sendAll(block.data(), static_cast<int>(block.size()), kFileSendTimeoutMs);
      if (code != 0) return duringTransfer(code);
      bytes += static_cast<int64_t>(block.size());
    }
    if (state == ReadState::kEnd) return 0;
  }
}

int WSSMTPClient::streamFile(File& file, int64_t& bytes) {
  bytes = 0;
  std::vector<char> block(smtp::CanonicalDataReader::kBlockSize);
  for (;;) {
    const ReadResult got = file.read(block.data(), static_cast<int>(block.size()));
    if (got.failed()) {
      Close();
      return err::kFileReadFailed;
    }
    if (got.bytes > 0) {
      const int code = sendAll(block.data(), got.bytes, kFileSendTimeoutMs);
      if (code != 0) return duringTransfer(code);
      bytes += got.bytes;
    }
    if (got.atEnd()) return 0;
  }
}

int WSSMTPClient::finishTransfer(const Str& shown, int64_t bytes, uint32_t elapsedMs,
                                 uint32_t options, SMTPSendResult& result) {
  result.rate = transferRate(bytes, elapsedMs);
  smtp::Reply reply;
  return messageRefusal(
      awaitReply(shown, smtp::Phase::Data, longReplyTimeoutMs_, options, result.transcript, reply),
      result);
}

int WSSMTPClient::dataCommand(const Str& command, uint32_t options, SMTPSendResult& result) {
  smtp::Reply reply;
  return messageRefusal(
      exchange(command, smtp::Phase::Data, replyTimeoutMs_, options, result.transcript, reply),
      result);
}

int WSSMTPClient::messageRefusal(int code, SMTPSendResult& result) const {
  if (isRefusal(code)) {
    result.statusCode = lastStatus_;
    result.lastReply = lastReply_;
  }
  return code;
}

}  // namespace quillet
