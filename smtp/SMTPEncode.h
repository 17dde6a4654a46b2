// SMTPEncode: the message composer. It writes a new RFC 822 / MIME message, described by an
// SMTPMessage, into a new message file of the outbound queue (or another directory), in
// transfer form: CR LF lines, dot-stuffed, ending with a "." line. The delivery status
// notifications and the log mail are written with it.
//
// Structures: with MIME and attachments a multipart/mixed message (multipart/report for a
// report), with MIME and none a single text/plain part, in plain mode an RFC 822 message
// with the attachments uuencoded into the body. Attachments are read and encoded in
// blocks, never loaded whole: a returned message may be megabytes.
//
// Values from outside never break the header (HeaderText.h); an attached file's over-long
// lines are split (TransferFileWriter.h). The file is flushed to disk before the composer
// reports success; on any failure it is deleted.
#pragma once

#include "base/Str.h"
#include "server/queue/QueueStore.h"
#include "smtp/SMTPMessage.h"
#include "smtp/UniqueSource.h"

namespace quillet {

class SMTPEncode {
 public:
  // Creates message files through store (its naming, in its outbound queue by default).
  explicit SMTPEncode(const QueueStore& store, UniqueSource& unique = systemUniqueSource());

  // Composes message with parameters into a new message file "MSGxxxxx.TXT". Returns 0 and
  // sets path; err::kCreateComposedFile (40) when no file could be created;
  // err::kWriteComposedFile (42) when a line could not be written or an attachment could
  // not be read (the partial file is deleted). path is empty on failure.
  [[nodiscard]] int compose(const SMTPMessage& message, const ComposeParameters& parameters,
                            Str& path) const;

 private:
  const QueueStore& store_;
  UniqueSource& unique_;
};

}  // namespace quillet
