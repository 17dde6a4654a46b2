// The body walk (see MimeWalker.h).
#include "decode/MimeWalker.h"

#include <cctype>
#include <memory>

#include "base/ErrorCodes.h"
#include "decode/AttachmentNaming.h"
#include "decode/BinHexDecoder.h"
#include "decode/ContentDecoders.h"
#include "decode/HeaderBlock.h"
#include "decode/PartFile.h"

namespace quillet {
namespace {

bool blankOrEnd(std::string_view rest) { return rest.empty() || rest[0] == ' ' || rest[0] == '\t'; }

// "begin " + three digits + blank, at least 10 characters: the start of a uuencoded block.
bool isUuBeginLine(std::string_view text) {
  if (text.size() < 10 || text.substr(0, 6) != "begin " || text[9] != ' ') return false;
  for (size_t i = 6; i < 9; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

std::unique_ptr<ContentDecoder> decoderFor(TransferEncoding encoding, ByteSink& sink) {
  switch (encoding) {
    case TransferEncoding::QuotedPrintable:
      return std::make_unique<QuotedPrintableDecoder>(sink);
    case TransferEncoding::Base64:
      return std::make_unique<Base64Decoder>(sink);
    case TransferEncoding::UUEncode:
      return std::make_unique<UuDecoder>(sink);
    case TransferEncoding::Missing:
    case TransferEncoding::SevenBit:
    case TransferEncoding::EightBit:
    case TransferEncoding::Binary:
    case TransferEncoding::Unknown:
      return std::make_unique<CopyDecoder>(sink);
  }
  return std::make_unique<CopyDecoder>(sink);
}

std::string partName(const EntityHeaders& headers) {
  std::optional<std::string> name;
  if (!headers.disposition.empty()) name = fieldParameter(headers.disposition, "filename");
  if (!name || cleanAttachmentName(*name).empty())
    name = fieldParameter(headers.contentType, "name");
  return name ? cleanAttachmentName(*name) : std::string();
}

}  // namespace

MimeWalker::MimeWalker(LineReader& reader, const Str& tempDirectory, AttachmentList& attachments)
    : reader_(reader), tempDirectory_(tempDirectory), attachments_(attachments) {}

int MimeWalker::walk(const std::vector<std::string>& messageHeaderLines) {
  (void)entity(readEntityHeaders(messageHeaderLines), 1, false);
  return error_;
}

MimeWalker::Kind MimeWalker::next(Line& line) {
  if (!reader_.next(line)) return Kind::End;
  if (boundaries_.empty() || !line.startsLine) return Kind::Data;
  const std::string& marker = boundaries_.back().marker;
  std::string_view text = line.text;
  if (text.size() < marker.size() || text.compare(0, marker.size(), marker) != 0) return Kind::Data;
  std::string_view rest = text.substr(marker.size());
  if (rest.size() >= 2 && rest[0] == '-' && rest[1] == '-' && blankOrEnd(rest.substr(2)))
    return Kind::Close;
  return blankOrEnd(rest) ? Kind::Delimiter : Kind::Data;
}

MimeWalker::Stop MimeWalker::stopOf(Kind kind) {
  switch (kind) {
    case Kind::Delimiter:
      return Stop::Delimiter;
    case Kind::Close:
      return Stop::Close;
    case Kind::Data:
    case Kind::End:
      return Stop::End;
  }
  return Stop::End;
}

MimeWalker::Kind MimeWalker::readHeaders(HeaderBlock& block) {
  Line line;
  for (;;) {
    Kind kind = next(line);
    if (kind != Kind::Data) return kind;
    if (!block.add(line)) return Kind::Data;
  }
}

MimeWalker::Stop MimeWalker::skip() {
  Line line;
  Kind kind;
  while ((kind = next(line)) == Kind::Data) {
  }
  return stopOf(kind);
}

MimeWalker::Stop MimeWalker::entity(const EntityHeaders& headers, int depth,
                                    bool alternativeParts) {
  if (depth > kMaxDepth || failed()) return skip();
  if (headers.typeStartsWith("message/rfc822")) return embeddedMessage(depth);
  if (headers.typeStartsWith("message/")) return skip();
  if (headers.typeStartsWith("multipart/")) return multipart(headers, depth);
  // Inside alternative and related only the enriched-text rendering is left out: it
  // repeats the plain text. Every other part is saved, pictures and documents included,
  // because a part that is not saved never reaches the virus scanner, and a related part
  // is where a mail program shows an attachment just the same.
  if (alternativeParts && headers.mediaType().compare(0, 13, "text/enriched") == 0) return skip();
  if (headers.typeStartsWith("X-sun-attachment")) return plainText();
  if (headers.typeStartsWith("application/mac-binhex40")) return binHex(headers);
  bool plainEncoding = headers.encoding == TransferEncoding::Missing ||
                       headers.encoding == TransferEncoding::SevenBit ||
                       headers.encoding == TransferEncoding::Binary ||
                       headers.encoding == TransferEncoding::Unknown;
  if (!headers.hasContentType && plainEncoding && partName(headers).empty()) return plainText();
  return savePart(headers);
}

MimeWalker::Stop MimeWalker::embeddedMessage(int depth) {
  EntityHeaders headers;
  {
    HeaderBlock block(kPartHeaderLines, kPartHeaderBytes);
    Kind kind = readHeaders(block);
    if (kind != Kind::Data) return stopOf(kind);
    headers = readEntityHeaders(block.lines());
  }
  return entity(headers, depth + 1, false);
}

MimeWalker::Stop MimeWalker::multipart(const EntityHeaders& headers, int depth) {
  std::optional<std::string> boundary = fieldParameter(headers.contentType, "boundary", false);
  // Without a boundary there are no parts to find; the content is kept as text rather
  // than dropped, so it still reaches the virus scanner.
  if (!boundary || boundary->empty()) return plainText();
  bool alternativeParts = headers.typeStartsWith("multipart/alternative") ||
                          headers.typeStartsWith("multipart/related");
  boundaries_.push_back(Boundary{"--" + *boundary, alternativeParts});
  Line line;
  Kind kind;
  while ((kind = next(line)) == Kind::Data) {
  }  // the preamble
  while (kind == Kind::Delimiter && !failed()) {
    EntityHeaders partHeaders;
    {
      // Only the MIME fields are kept while the part is walked, not its whole header.
      HeaderBlock block(kPartHeaderLines, kPartHeaderBytes);
      kind = readHeaders(block);
      if (kind != Kind::Data) continue;  // a part without body
      partHeaders = readEntityHeaders(block.lines());
    }
    switch (entity(partHeaders, depth + 1, alternativeParts)) {
      case Stop::Delimiter:
        kind = Kind::Delimiter;
        break;
      case Stop::Close:
        kind = Kind::Close;
        break;
      case Stop::End:
        kind = Kind::End;
        break;
    }
  }
  boundaries_.pop_back();
  if (kind == Kind::Close) return skip();  // the epilogue belongs to the enclosing entity
  return failed() ? Stop::End : stopOf(kind);
}

void MimeWalker::addAttachment(const std::string& name, PartFile& file) {
  if (!file.finish()) {
    error_ = err::kWritePartFile;
    return;
  }
  file.keep();
  attachments_.add(Str(std::string_view(name)), file.path());
}

MimeWalker::Stop MimeWalker::plainText() {
  std::unique_ptr<PartFile> text = PartFile::create(tempDirectory_);
  if (!text) {
    error_ = err::kCreatePartFile;
    return Stop::End;
  }
  std::unique_ptr<PartFile> uuFile;
  std::unique_ptr<UuDecoder> uu;
  std::string uuName;
  Line line;
  Kind kind;
  while ((kind = next(line)) == Kind::Data) {
    if (uu) {
      if (line.startsLine && isUuEndLine(line.text)) {
        addAttachment(uuName, *uuFile);
        uu.reset();
        uuFile.reset();
      } else {
        uu->line(line);
      }
    } else if (line.startsLine && isUuBeginLine(line.text)) {
      uuName = cleanAttachmentName(line.text.substr(10));
      if (uuName.empty()) uuName = "unknown.txt";
      uuFile = PartFile::create(tempDirectory_);
      if (!uuFile) {
        error_ = err::kCreatePartFile;
        return Stop::End;
      }
      uu = std::make_unique<UuDecoder>(*uuFile);
    } else {
      text->write(line.text);
      if (line.endsLine) text->write("\r\n", 2);
    }
    if (failed()) return Stop::End;
  }
  if (uu) addAttachment(uuName, *uuFile);  // a block cut off by the end of the part
  if (text->size() > 0) {
    addAttachment("NoteText.txt", *text);
    bodyTextFound_ = true;
  }
  return failed() ? Stop::End : stopOf(kind);
}

MimeWalker::Stop MimeWalker::binHex(const EntityHeaders& headers) {
  std::unique_ptr<PartFile> encoded = PartFile::create(tempDirectory_);
  std::unique_ptr<PartFile> data = encoded ? PartFile::create(tempDirectory_) : nullptr;
  if (!data) {
    error_ = err::kCreatePartFile;
    return Stop::End;
  }
  BinHexDecoder decoder(*data);
  Line line;
  Kind kind;
  while ((kind = next(line)) == Kind::Data) {
    encoded->write(line.text);
    if (line.endsLine) encoded->write("\r\n", 2);
    decoder.line(line);
  }
  if (decoder.succeeded()) {
    std::string name = partName(headers);
    if (name.empty()) name = decoder.storedName();
    if (name.empty()) name = "unknown.txt";
    addAttachment(name, *data);
  } else {
    addAttachment("unknown.hqx", *encoded);
  }
  return failed() ? Stop::End : stopOf(kind);
}

MimeWalker::Stop MimeWalker::savePart(const EntityHeaders& headers) {
  std::string type = headers.mediaType();
  std::string name = partName(headers);
  bool textType = type == "text/plain" || type == "text/enriched" || type == "text";
  std::string dispositionType(
      trimBlanks(std::string_view(headers.disposition).substr(0, headers.disposition.find(';'))));
  bool bodyText =
      textType && (name.empty() || (!bodyTextFound_ && equalsNoCase(dispositionType, "inline")));
  if (bodyText) bodyTextFound_ = true;
  if (name.empty()) name = bodyText ? "NoteText.txt" : unnamedPartName(type);

  std::unique_ptr<PartFile> file = PartFile::create(tempDirectory_);
  if (!file) {
    error_ = err::kCreatePartFile;
    return Stop::End;
  }
  std::unique_ptr<ContentDecoder> decoder = decoderFor(headers.encoding, *file);
  Line line;
  Kind kind;
  while ((kind = next(line)) == Kind::Data) decoder->line(line);
  decoder->finish();
  // An empty body text part carries nothing worth scanning: its file is dropped.
  if (!(bodyText && file->size() == 0)) addAttachment(name, *file);
  return failed() ? Stop::End : stopOf(kind);
}

}  // namespace quillet
