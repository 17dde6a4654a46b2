// The message parser's entry points (see SMTPDecode.h).
#include "decode/SMTPDecode.h"

#include "base/ErrorCodes.h"
#include "base/File.h"
#include "decode/HeaderBlock.h"
#include "decode/HeaderFields.h"
#include "decode/MimeWalker.h"

namespace quillet {

int SMTPDecode::parseFile(const Str& messageFile, ParseResult& result) const {
  result.clear();
  File file(messageFile);
  if (!file.open(File::kReadShared)) return err::kOpenMessageFile;
  FileByteSource source(file);
  return parse(source, result);
}

int SMTPDecode::parse(ByteSource& source, ParseResult& result) const {
  result.clear();
  LineReader reader(source, true);
  HeaderBlock header(kHeaderLines, kHeaderBytes);
  Line line;
  while (reader.next(line) && header.add(line)) {
  }
  readHeaderFields(header.lines(), options_, result);
  int code = 0;
  if (options_.writeAttachments) {
    MimeWalker walker(reader, options_.tempDirectory, result.attachments);
    code = walker.walk(header.lines());
  }
  if (code == 0 && reader.failed()) code = err::kParseHeader;
  return code;
}

}  // namespace quillet
