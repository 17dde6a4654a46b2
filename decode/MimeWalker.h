// Walks the body of a message and writes every part to a file of its own: the attachment
// list the virus scanner works on.
//
// Dispatch by content type: message/rfc822 is parsed as an embedded message, other
// message/ types are skipped, multipart/ parts are walked between boundary lines (a
// multipart without a boundary parameter is scanned as plain text instead of dropped),
// X-sun-attachment and MIME-less 7bit text are scanned as plain text (uuencoded blocks
// become attachments of their own), application/mac-binhex40 is BinHex-decoded, and
// everything else is decoded by its transfer encoding into a file. Inside
// multipart/alternative and multipart/related only text parts other than text/enriched are
// saved; nested containers there are still walked.
//
// Boundaries: only the innermost open boundary is recognised, so a delimiter of an outer
// multipart inside an inner part is content of that part.
//
// Limits: entities nest at most kMaxDepth levels (deeper ones are read past and skipped),
// which also bounds the recursion and the boundary stack; while an entity is walked only
// its three MIME field values (at most 4 KiB each, see MimeHeaders.h) and its boundary are
// kept, so the deepest nesting holds a few MiB at most; a part header block keeps at most
// kPartHeaderLines lines and kPartHeaderBytes bytes while it is read. Content is streamed
// to files through fixed buffers.
#pragma once

#include <string>
#include <vector>

#include "base/Str.h"
#include "decode/LineReader.h"
#include "decode/MimeHeaders.h"
#include "decode/ParseResult.h"

namespace quillet {

class HeaderBlock;

class MimeWalker {
 public:
  static constexpr int kMaxDepth = 220;
  static constexpr size_t kPartHeaderLines = 200;
  static constexpr size_t kPartHeaderBytes = 32 * 1024;

  // Part files go to tempDirectory (OEM); finished parts are added to attachments.
  MimeWalker(LineReader& reader, const Str& tempDirectory, AttachmentList& attachments);

  // Walks the body that follows the message's header lines. 0, or 32 when a temporary file
  // could not be made, 35 when writing one failed (the walk ends at the failing part).
  [[nodiscard]] int walk(const std::vector<std::string>& messageHeaderLines);

 private:
  // How an entity's content ended: at a delimiter or the closing delimiter of the
  // innermost boundary, or at the end of the message.
  enum class Stop { Delimiter, Close, End };
  enum class Kind { Data, Delimiter, Close, End };

  struct Boundary {
    std::string marker;     // "--" + boundary
    bool alternativeParts;  // multipart/alternative or multipart/related
  };

  [[nodiscard]] Kind next(Line& line);
  [[nodiscard]] static Stop stopOf(Kind kind);
  // Reads a part's header block; Data when it ended with its empty line.
  [[nodiscard]] Kind readHeaders(HeaderBlock& block);

  Stop entity(const EntityHeaders& headers, int depth, bool alternativeParts);
  Stop skip();
  Stop embeddedMessage(int depth);
  Stop multipart(const EntityHeaders& headers, int depth);
  Stop plainText();
  Stop binHex(const EntityHeaders& headers);
  Stop savePart(const EntityHeaders& headers);
  void addAttachment(const std::string& name, class PartFile& file);
  [[nodiscard]] bool failed() const { return error_ != 0; }

  LineReader& reader_;
  Str tempDirectory_;
  AttachmentList& attachments_;
  std::vector<Boundary> boundaries_;
  bool bodyTextFound_ = false;
  int error_ = 0;
};

}  // namespace quillet
