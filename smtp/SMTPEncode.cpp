// The message composer (see SMTPEncode.h): header, text part, attachments, end.
#include "smtp/SMTPEncode.h"

#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/ErrorCodes.h"
#include "base/File.h"
#include "base/FileNames.h"
#include "decode/AddressParser.h"
#include "decode/ContentEncoders.h"
#include "decode/LineReader.h"
#include "server/queue/QueuePaths.h"
#include "smtp/AttachmentTypes.h"
#include "smtp/HeaderText.h"
#include "smtp/Rfc822Date.h"
#include "smtp/TransferFileWriter.h"

namespace quillet {
namespace {

enum class Structure { SinglePart, Multipart, Plain };
enum class BodyEncoding { SevenBit, QuotedPrintable, Base64 };

// Attached files are read in blocks of this size: a multiple of 3 (base64) and of 45
// (uuencode), so only the last block leaves a partial group.
constexpr int kReadBlock = 45 * 3 * 512;

bool is7Bit(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

const char* tableCharsetName(int code) {
  switch (code) {
    case charset::kUsAscii:
      return "us-ascii";
    case charset::kIso8859_1:
      return "iso-8859-1";
    case charset::kIso8859_2:
      return "iso-8859-2";
    case charset::kIso8859_3:
      return "iso-8859-3";
    case charset::kIso8859_5:
      return "iso-8859-5";
    case charset::kIso8859_7:
      return "iso-8859-7";
    case charset::kIso8859_9:
      return "iso-8859-9";
    case charset::kUtf8:
      return "utf-8";
    default:
      return nullptr;
  }
}

// Everything the composition decided before the first line is written.
struct Plan {
  Structure structure = Structure::SinglePart;
  std::string charset;  // of the text part; also labels 8-bit header text that is not UTF-8
  BodyEncoding encoding = BodyEncoding::SevenBit;
  std::string boundary;
};

Plan makePlan(const SMTPMessage& message, const ComposeParameters& parameters,
              UniqueSource& unique) {
  Plan plan;
  if (parameters.mimeMode == ComposeParameters::kPlain) {
    plan.structure = Structure::Plain;
  } else if (message.attachments.count() > 0) {
    plan.structure = Structure::Multipart;
    plan.boundary = makeBoundary(parameters.boundaryNumber, unique);
  }

  bool eightBit = false;
  std::string sample;  // the 8-bit texts, to choose a character set for an unknown code
  const auto look = [&](const Str& text) {
    if (is7Bit(text.view())) return;
    eightBit = true;
    sample.append(text.view());
  };
  for (const Str& line : message.body) look(line);
  // 7bit would be a false label for 8-bit text or lines SMTP cannot carry.
  bool sevenBitBody = !eightBit;
  for (const Str& line : message.body) {
    sevenBitBody =
        sevenBitBody && static_cast<size_t>(line.length()) <= TransferFileWriter::kMaxLineLength;
  }
  look(message.subject);
  for (const AddressList* list : {&message.from, &message.to, &message.cc}) {
    for (const MailAddress& address : *list) look(address.displayName);
  }

  const char* name = tableCharsetName(parameters.charsetCode);
  plan.charset = name != nullptr ? name : eightBit ? charsetForText(sample, "") : "us-ascii";

  switch (parameters.bodyEncoding) {
    case bodyencoding::kQuotedPrintable:
      plan.encoding = BodyEncoding::QuotedPrintable;
      break;
    case bodyencoding::kBase64:
      plan.encoding = BodyEncoding::Base64;
      break;
    default:
      plan.encoding = sevenBitBody ? BodyEncoding::SevenBit : BodyEncoding::QuotedPrintable;
  }
  return plan;
}

const char* encodingName(BodyEncoding encoding) {
  switch (encoding) {
    case BodyEncoding::SevenBit:
      return "7bit";
    case BodyEncoding::QuotedPrintable:
      return "quoted-printable";
    case BodyEncoding::Base64:
      return "base64";
  }
  return "7bit";
}

// Writes one composition; false when an attachment could not be read or a write failed.
class Composition {
 public:
  Composition(const SMTPMessage& message, const ComposeParameters& parameters, const Plan& plan,
              File& file, UniqueSource& unique)
      : message_(message), parameters_(parameters), plan_(plan), out_(file), unique_(unique) {}

  [[nodiscard]] bool write() {
    header();
    body();
    for (const SMTPAttach& attach : message_.attachments) {
      if (!attachment(attach)) return false;
    }
    if (plan_.structure == Structure::Multipart) {
      out_.line("--" + plan_.boundary + "--");
      out_.line("");
    }
    out_.finish();
    return !out_.failed();
  }

 private:
  void field(std::string_view text) {
    for (const std::string& line : foldField(text)) out_.line(line);
  }

  void addressField(const char* name, const AddressList& list) {
    const std::string addresses = formatAddressList(list, plan_.charset);
    if (!addresses.empty()) field(name + addresses);
  }

  void traceField(const std::string& date) {
    const SMTPTraceField& trace = message_.received;
    const Str by = trace.by.isBlank() ? parameters_.hostName : trace.by;
    std::string rest = "by " + hostText(by.view());
    if (!trace.with.isBlank()) rest += " with " + headerSafe(trace.with.view());
    const std::string recipient = headerSafe(trace.recipient.view());
    if (isValidAddress(recipient)) rest += " for <" + recipient + ">";
    rest += " ; " + date;
    if (trace.from.isBlank()) {
      field("Received: " + rest);
    } else {
      field("Received: from " + hostText(trace.from.view()));
      field("\t" + rest);
    }
  }

  std::string textContentType() const {
    return "Content-Type: text/plain; charset=" + plan_.charset;
  }

  void header() {
    const Timer date = message_.date.date.year == 0 ? now() : message_.date;
    const std::string dateText = rfc822Date(date, message_.universalTime);
    traceField(dateText);
    addressField("From: ", message_.from);
    addressField("To: ", message_.to);
    addressField("Cc: ", message_.cc);
    field("Subject: " + unstructuredValue(message_.subject.view(), plan_.charset));
    field("Date: " + dateText);
    field("X-Mailer: " + headerSafe(parameters_.mailer.view()));
    field("Message-ID: " + makeMessageId(parameters_.hostName, unique_));
    const std::string receiptTo =
        message_.from.count() > 0 ? headerSafe(message_.from[1].address.view()) : std::string();
    if (message_.receiptRequested && isValidAddress(receiptTo)) {
      field("Return-Receipt-To: <" + receiptTo + ">");
      field("X-Confirm-Reading-To: <" + receiptTo + ">");
    }
    if (message_.priority != 3) field("X-Priority: " + std::to_string(message_.priority));
    if (plan_.structure == Structure::Plain) {
      out_.line("");
      return;
    }
    out_.line("Mime-Version: 1.0");
    if (plan_.structure == Structure::Multipart) {
      out_.line(message_.report ? "Content-Type: multipart/report; report-type=delivery-status;"
                                : "Content-Type: multipart/mixed;");
      out_.line("\tboundary=\"" + plan_.boundary + "\"");
      out_.line("");
      out_.line("This is a multi part message in MIME format.");
    } else {
      out_.line(textContentType());
      out_.line(std::string("Content-Transfer-Encoding: ") + encodingName(plan_.encoding));
    }
    out_.line("");
  }

  void body() {
    if (plan_.structure == Structure::Multipart) {
      out_.line("--" + plan_.boundary);
      out_.line(textContentType());
      out_.line(std::string("Content-Transfer-Encoding: ") + encodingName(plan_.encoding));
      out_.line("");
    }
    const BodyEncoding encoding =
        plan_.structure == Structure::Plain ? BodyEncoding::SevenBit : plan_.encoding;
    switch (encoding) {
      case BodyEncoding::SevenBit:
        for (const Str& line : message_.body) out_.line(line.view());
        break;
      case BodyEncoding::QuotedPrintable: {
        std::vector<std::string> pieces;
        for (const Str& line : message_.body) {
          pieces.clear();
          encodeQuotedPrintableLine(line.view(), pieces);
          for (const std::string& piece : pieces) out_.line(piece);
        }
        break;
      }
      case BodyEncoding::Base64: {
        Base64LineEncoder encoder(out_);
        for (const Str& line : message_.body) {
          encoder.write(line.view());
          encoder.write("\r\n");
        }
        encoder.finish();
        break;
      }
    }
  }

  [[nodiscard]] bool attachment(const SMTPAttach& attach) {
    const Str shown = attach.name.isBlank() ? baseNameOf(attach.path) : attach.name;
    File file(attach.path);
    if (!file.open(File::kReadSharedOnce)) return false;
    if (plan_.structure == Structure::Plain) {
      out_.line("begin 644 " + headerSafe(shown.view()));
      UuLineEncoder encoder(out_);
      if (!copyBytes(file, encoder)) return false;
      encoder.finish();
      out_.line("end");
      return true;
    }
    out_.line("--" + plan_.boundary);
    switch (attach.kind) {
      case SMTPAttach::kMessage:
        out_.line("Content-Type: message/rfc822");
        out_.line("");
        return copyLines(file);
      case SMTPAttach::kDeliveryStatus:
        out_.line("Content-Type: message/delivery-status ; name=delivery-status.txt");
        out_.line("");
        return copyLines(file);
      default: {
        const std::string name = parameterValue(shown.view());
        if (isTnefName(shown.view())) {
          out_.line("Content-Type: application/ms-tnef");
        } else {
          field(std::string("Content-Type: ") + attachmentContentType(shown.view()) +
                "; name=" + name);
        }
        out_.line("Content-Transfer-Encoding: base64");
        field("Content-Disposition: attachment; filename=" + name);
        out_.line("");
        Base64LineEncoder encoder(out_);
        if (!copyBytes(file, encoder)) return false;
        encoder.finish();
        return true;
      }
    }
  }

  template <typename Encoder>
  [[nodiscard]] bool copyBytes(File& file, Encoder& encoder) {
    std::unique_ptr<char[]> block(new char[kReadBlock]);
    for (;;) {
      const ReadResult got = file.read(block.get(), kReadBlock);
      if (got.failed()) return false;
      encoder.write(std::string_view(block.get(), static_cast<size_t>(got.bytes)));
      if (got.atEnd()) return !out_.failed();
    }
  }

  [[nodiscard]] bool copyLines(File& file) {
    FileByteSource source(file);
    LineReader reader(source, false);
    Line line;
    while (reader.next(line)) out_.line(line.text);
    return !reader.failed() && !out_.failed();
  }

  const SMTPMessage& message_;
  const ComposeParameters& parameters_;
  const Plan& plan_;
  TransferFileWriter out_;
  UniqueSource& unique_;
};

}  // namespace

SMTPEncode::SMTPEncode(const QueueStore& store, UniqueSource& unique)
    : store_(store), unique_(unique) {}

int SMTPEncode::compose(const SMTPMessage& message, const ComposeParameters& parameters,
                        Str& path) const {
  path = Str();
  const Plan plan = makePlan(message, parameters, unique_);
  Str created;
  const std::unique_ptr<File> file =
      parameters.directory.isBlank() ? store_.createMessageFile(QueueNumber::Outbound, created)
                                     : store_.createMessageFileIn(parameters.directory, created);
  if (!file) return err::kCreateComposedFile;

  Composition composition(message, parameters, plan, *file, unique_);
  bool written = composition.write();
  written = written && file->sync();
  written = file->close() && written;
  if (!written) {
    // Best effort: a file without an index is never taken for a message.
    static_cast<void>(removeFile(created));
    return err::kWriteComposedFile;
  }
  path = created;
  return 0;
}

}  // namespace quillet
