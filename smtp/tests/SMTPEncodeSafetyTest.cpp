// The composer under hostile and failing conditions: values with CR, LF and NUL never add
// or break a header line, a 10,000-character subject is folded (or encoded) into lines
// that fit, attached junk keeps every line within SMTP's limit, large attachments stream
// through intact, and a failed creation, read or write leaves no file behind.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <vector>

#include "base/ErrorCodes.h"
#include "decode/Rfc2047.h"
#include "decode/SMTPDecode.h"
#include "smtp/tests/ComposeTestSupport.h"

namespace quillet::testing {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "the file ends with CR LF";
  std::vector<std::string> lines = splitText(text, "\r\n");
  lines.pop_back();  // what follows the last line end
  return lines;
}

std::vector<std::string> headerLines(const std::string& text) {
  std::vector<std::string> lines = splitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) {
      lines.resize(i);
      break;
    }
  }
  return lines;
}

std::string randomBytes(size_t n) {
  std::mt19937 generator(11);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(generator() & 0xFF);
  return out;
}

int filesIn(const std::string& directory) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++count;
  return count;
}

ParseResult parse(const std::string& text, const TempDir& parts) {
  DecodeOptions options;
  options.writeAttachments = true;
  options.tempDirectory = Str(std::string_view(parts.path()));
  MemoryByteSource source(text);
  ParseResult result;
  EXPECT_EQ(SMTPDecode(options).parse(source, result), 0);
  return result;
}

// The decoded bytes of the part our parser found under name.
std::string attachedBytes(const ParseResult& result, const char* name) {
  for (const Attachment& part : result.attachments) {
    if (part.name == name) return readBytes(part.path.toStd());
  }
  ADD_FAILURE() << "no part " << name;
  return std::string();
}

using ComposeSafety = ComposeTest;

TEST_F(ComposeSafety, HostileValuesNeverAddOrBreakAHeaderLine) {
  const ComposedSample sample = hostileSamples(attachments())[0];
  const std::string text = compose(sample);
  const char* const kOurFields[] = {
      "Received:", "From:",       "To:",           "Subject:",     "Date:",
      "X-Mailer:", "Message-ID:", "Mime-Version:", "Content-Type:"};
  for (const std::string& line : headerLines(text)) {
    bool known = line[0] == ' ' || line[0] == '\t';
    for (const char* field : kOurFields) known = known || line.rfind(field, 0) == 0;
    EXPECT_TRUE(known) << line;
  }
  // No value ended the header early: the header ends just before the MIME preamble.
  EXPECT_NE(text.find("\r\n\r\nThis is a multi part message in MIME format.\r\n"),
            std::string::npos);
  EXPECT_EQ(text.find("\r\nBcc:"), std::string::npos);
  // Host names keep no blanks; a missing one is "localhost".
  EXPECT_EQ(text.rfind("Received: from hostX-Evil:1\r\n\tby localhost with local ; ", 0), 0U);
  EXPECT_NE(text.find("@localhost>\r\n"), std::string::npos);
  EXPECT_EQ(text.find("\r\nX-Name:"), std::string::npos);
  // The junk file goes as base64 where it is a file; as an attached message its lines
  // stay as they are, NUL included, but never in the header.
  EXPECT_GT(text.find('\0'), text.find("\r\n\r\n"));

  // Bare CR or LF occur nowhere: every line break is CR LF.
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      EXPECT_EQ(text[i - 1], '\r') << i;
    } else if (text[i] == '\r') {
      EXPECT_EQ(text[i + 1], '\n') << i;
    }
  }

  // Addresses that are no longer valid are left out, never written half.
  EXPECT_EQ(text.find("From:"), std::string::npos);
  EXPECT_EQ(text.find("To:"), std::string::npos);
  EXPECT_EQ(text.find("victim@example.test>"), std::string::npos);

  TempDir parts;
  const ParseResult result = parse(text, parts);
  EXPECT_EQ(result.subject, "Hello  Bcc: victim@example.test end");
  EXPECT_EQ(result.to.count(), 0);
}

TEST_F(ComposeSafety, LongSubjectsAreFoldedIntoLinesThatFit) {
  for (const ComposedSample& sample : hostileSamples(attachments())) {
    if (sample.name == "hostile-values") continue;
    const std::string text = compose(sample);
    const std::vector<std::string> header = headerLines(text);
    for (const std::string& line : header) {
      EXPECT_LE(line.size(), 78U) << sample.name;
      EXPECT_NE(line.find_first_not_of(" \t"), std::string::npos) << "blank line in a fold";
    }
    for (const std::string& line : splitLines(text)) EXPECT_LE(line.size(), 998U);

    // Unfolded as RFC 5322 says (the line breaks taken out), the subject is the original.
    std::string subject;
    bool inSubject = false;
    for (const std::string& line : header) {
      if (line.rfind("Subject:", 0) == 0) {
        inSubject = true;
        subject = line.substr(8);
      } else if (inSubject && (line[0] == ' ' || line[0] == '\t')) {
        subject += line;
      } else {
        inSubject = false;
      }
    }
    subject.erase(0, subject.find_first_not_of(" \t"));
    // Not EXPECT_EQ: a failure would print 10,000 characters twice.
    EXPECT_TRUE(decodeRfc2047(subject) == sample.message.subject.toStd()) << sample.name;
  }
}

TEST_F(ComposeSafety, AttachedJunkKeepsEveryLineWithinTheLimitAndStuffed) {
  const std::string junk = std::string(100000, 'j') + "\n.\n" + std::string(2500, '.') + "\n" +
                           std::string("\0\xff\r", 3) + "\n";
  writeBytes(attachments() + "junk.txt", junk);
  ComposedSample sample = structureSamples(attachments())[2];
  sample.message.attachments.clear();
  sample.message.attachments.add(attach(attachments() + "junk.txt", "", SMTPAttach::kMessage));
  const std::string text = compose(sample);
  const std::vector<std::string> lines = splitLines(text);
  for (const std::string& line : lines) EXPECT_LE(line.size(), 998U);
  // Only the last line is a lone "."; the attached "." line is stuffed.
  for (size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_NE(lines[i], ".") << i;
  EXPECT_EQ(lines.back(), ".");
  EXPECT_NE(text.find("\r\n..\r\n"), std::string::npos);
}

TEST_F(ComposeSafety, LargeAttachmentsStreamThroughIntact) {
  const std::string bytes = randomBytes(300001);  // several read blocks, a partial group
  writeBytes(attachments() + "big.bin", bytes);
  for (int mode : {ComposeParameters::kMime, ComposeParameters::kPlain}) {
    ComposedSample sample = structureSamples(attachments())[0];
    sample.message.attachments.add(attach(attachments() + "big.bin", "big.bin", SMTPAttach::kFile));
    sample.parameters.mimeMode = mode;
    TempDir parts;
    const ParseResult result = parse(compose(sample), parts);
    EXPECT_EQ(attachedBytes(result, "big.bin"), bytes) << mode;
  }
}

TEST_F(ComposeSafety, UuencodedLineStartingWithADotIsStuffedAndDecodesBack) {
  writeBytes(attachments() + "fourteen.bin", "fourteen bytes");  // length character "."
  ComposedSample sample = structureSamples(attachments())[3];
  sample.message.attachments.clear();
  sample.message.attachments.add(
      attach(attachments() + "fourteen.bin", "fourteen.bin", SMTPAttach::kFile));
  const std::string text = compose(sample);
  EXPECT_NE(text.find("\r\nbegin 644 fourteen.bin\r\n..9F]U<G1E96X@8GET97,`\r\n`\r\nend\r\n.\r\n"),
            std::string::npos);
  TempDir parts;
  EXPECT_EQ(attachedBytes(parse(text, parts), "fourteen.bin"), "fourteen bytes");
}

TEST_F(ComposeSafety, NoFileCanBeCreatedGives40) {
  ComposedSample sample = structureSamples(attachments())[0];
  sample.parameters.directory = Str(std::string_view(dir_.file("missing")));
  Str path = "stale";
  EXPECT_EQ(SMTPEncode(store_).compose(sample.message, sample.parameters, path),
            err::kCreateComposedFile);
  EXPECT_TRUE(path.empty());
}

TEST_F(ComposeSafety, UnreadableAttachmentGives42AndLeavesNoFile) {
  ComposedSample sample = structureSamples(attachments())[0];
  sample.message.attachments.add(attach(dir_.file("vanished.log"), "", SMTPAttach::kFile));
  Str path = "stale";
  EXPECT_EQ(SMTPEncode(store_).compose(sample.message, sample.parameters, path),
            err::kWriteComposedFile);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(filesIn(outbound()), 0);
}

// Files may not grow past a limit for the length of a test; writes beyond it fail.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST_F(ComposeSafety, FailedWriteGives42AndDeletesThePartialFile) {
  writeBytes(attachments() + "big.bin", randomBytes(400000));
  ComposedSample sample = structureSamples(attachments())[0];
  sample.message.attachments.add(attach(attachments() + "big.bin", "big.bin", SMTPAttach::kFile));
  Str path = "stale";
  int result = 0;
  {
    FileSizeLimit limit(64 * 1024);
    result = SMTPEncode(store_).compose(sample.message, sample.parameters, path);
  }
  EXPECT_EQ(result, err::kWriteComposedFile);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(filesIn(outbound()), 0);
}

}  // namespace
}  // namespace quillet::testing
