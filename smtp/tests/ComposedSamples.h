// The messages the composer tests write, one per structure (single text part,
// multipart/mixed, multipart/report, plain with uuencode) plus hostile and large ones, with
// a fixed boundary and Message-ID, so that the byte-for-byte tests, our parser's check and
// the independent check with Python's email package all see the same messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smtp/SMTPMessage.h"
#include "smtp/UniqueSource.h"
#include "tests/support/FileBytes.h"

namespace quillet::testing {

// Random values 0, 1, 2, ... (boundary letters "ABC..."), tick count 123456, process 4242.
class FixedUniqueSource final : public UniqueSource {
 public:
  uint32_t randomValue() override { return next_++; }
  uint32_t tickCountMs() override { return 123456; }
  uint32_t processId() override { return 4242; }

 private:
  uint32_t next_ = 0;
};

inline MailAddress mailAddress(std::string_view address, std::string_view displayName = "") {
  return MailAddress{Str(address), Str(displayName)};
}

inline ArrayStr lines(std::initializer_list<const char*> texts) {
  ArrayStr out;
  for (const char* text : texts) out.add(Str(text));
  return out;
}

// The lines as standard strings, for comparisons that print well.
inline std::vector<std::string> textsOf(const ArrayStr& lines) {
  std::vector<std::string> out;
  for (const Str& line : lines) out.push_back(line.toStd());
  return out;
}

inline SMTPAttach attach(const std::string& path, const char* name, int kind) {
  return SMTPAttach{Str(std::string_view(path)), Str(name), kind};
}

// The pieces of text between the separators (one more than there are separators).
inline std::vector<std::string> splitText(const std::string& text, const std::string& separator) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos;
       start = end + separator.size()) {
    out.push_back(text.substr(start, end - start));
  }
  out.push_back(text.substr(start));
  return out;
}

struct ComposedSample {
  std::string name;  // also the expected file's base name, where there is one
  SMTPMessage message;
  ComposeParameters parameters;
};

inline ComposeParameters sampleParameters() {
  ComposeParameters parameters;
  parameters.mailer = "Quillet 3.19";
  parameters.hostName = "mail.example.test";
  parameters.boundaryNumber = 1;
  return parameters;
}

inline SMTPMessage administratorMessage() {
  SMTPMessage message;
  message.from.add(mailAddress("postmaster@mail.example.test", "System Administrator"));
  return message;
}

// The four structures; attachment files are written into directory (which ends in '/').
inline std::vector<ComposedSample> structureSamples(const std::string& directory) {
  std::vector<ComposedSample> samples;

  {
    ComposedSample sample{"single-part", administratorMessage(), sampleParameters()};
    sample.message.to.add(mailAddress("anna@example.test"));
    sample.message.subject = "Status report: Runnel on pop.example.test";
    sample.message.priority = 5;
    sample.message.received.recipient = "anna@example.test";
    const char* problem = "Runnel running on pop.example.test encountered a connection problem.";
    sample.message.body = lines({problem, "", ".", ".hidden line", "Transcript of session:"});
    samples.push_back(sample);
  }
  {
    writeBytes(directory + "notes.txt", "hello\n");
    writeBytes(directory + "winmail.dat", "\x78\x9f\x3e");
    ComposedSample sample{"multipart-mixed", SMTPMessage(), sampleParameters()};
    sample.message.from.add(mailAddress("joerg@example.test", "J\xc3\xb6rg M\xc3\xbcller"));
    sample.message.to.add(mailAddress("anna@example.test", "Anna"));
    sample.message.to.add(mailAddress("bob@example.test"));
    sample.message.cc.add(mailAddress("carl@example.test", "Doe, Carl \"CJ\""));
    sample.message.subject =
        "Gr\xc3\xbc\xc3\x9f"
        "e aus K\xc3\xb6ln";
    sample.message.receiptRequested = true;
    sample.message.received.from = "pop.example.test";
    sample.message.body =
        lines({"Gr\xfc\xdf"
               "e,",
               "trailing blank ", ".",
               "This line is long enough to be broken at the last blank before seventy-five "
               "characters."});
    sample.message.attachments.add(attach(directory + "notes.txt", "notes.txt", SMTPAttach::kFile));
    sample.message.attachments.add(
        attach(directory + "winmail.dat", "winmail.dat", SMTPAttach::kFile));
    sample.parameters.charsetCode = charset::kIso8859_1;
    sample.parameters.bodyEncoding = bodyencoding::kQuotedPrintable;
    samples.push_back(sample);
  }
  {
    writeBytes(directory + "status.txt",
               "Reporting-MTA: dns; mail.example.test\r\n\r\nFinal-Recipient: rfc822; "
               "bob@example.test\r\nAction: failed\r\nStatus: 5.1.1\r\n");
    writeBytes(directory + "original.txt",
               "From: anna@example.test\r\nTo: bob@example.test\r\nSubject: lunch\r\n");
    ComposedSample sample{"report", administratorMessage(), sampleParameters()};
    sample.message.to.add(mailAddress("anna@example.test"));
    sample.message.cc.add(mailAddress("postmaster@example.test"));
    sample.message.subject = "Non delivery report: 5.1.1 (Bad destination mailbox address)";
    sample.message.priority = 5;
    sample.message.report = true;
    const char* problems = "has encountered delivery problems to the following recipient(s):";
    sample.message.body =
        lines({"Your message", " ", " Subj:\tlunch", " ", problems, " ", "\tbob@example.test"});
    sample.message.attachments.add(
        attach(directory + "status.txt", "", SMTPAttach::kDeliveryStatus));
    sample.message.attachments.add(attach(directory + "original.txt", "", SMTPAttach::kMessage));
    samples.push_back(sample);
  }
  {
    writeBytes(directory + "data.bin", std::string(45, '\0') + "Cat");
    ComposedSample sample{"plain-uuencode", administratorMessage(), sampleParameters()};
    sample.message.to.add(mailAddress("anna@example.test"));
    sample.message.subject = "Log File";
    sample.message.body = lines({"See the attached file.", "."});
    sample.message.attachments.add(attach(directory + "data.bin", "data.bin", SMTPAttach::kFile));
    sample.parameters.mimeMode = ComposeParameters::kPlain;
    samples.push_back(sample);
  }
  return samples;
}

// Values that try to break the header: CR, LF and NUL in the subject, display names,
// addresses, the mailer text and an attachment name, and a 10,000-character subject.
inline std::vector<ComposedSample> hostileSamples(const std::string& directory) {
  std::vector<ComposedSample> samples;
  writeBytes(directory + "junk.bin", std::string("\0\r\n.\r\n\xff\n.\n", 10));
  {
    ComposedSample sample{"hostile-values", SMTPMessage(), sampleParameters()};
    sample.message.from.add(
        mailAddress("evil@example.test\r\nBcc: victim@example.test", "Evil\r\nX-Injected: yes"));
    sample.message.to.add(
        mailAddress(std::string_view("a@example.test\0b", 16), "Name\nTo: other@example.test"));
    sample.message.subject = Str(std::string_view("Hello\r\nBcc: victim@example.test\0end", 35));
    sample.message.received.from = "host\r\nX-Evil: 1";
    sample.parameters.hostName = "";
    sample.parameters.mailer = "Mailer\r\n\r\nbody starts early";
    sample.message.body = lines({"text"});
    sample.message.attachments.add(
        attach(directory + "junk.bin", "junk\r\nX-Name: 1.exe", SMTPAttach::kFile));
    sample.message.attachments.add(attach(directory + "junk.bin", "", SMTPAttach::kMessage));
    samples.push_back(sample);
  }
  {
    ComposedSample sample{"long-subject", administratorMessage(), sampleParameters()};
    sample.message.to.add(mailAddress("anna@example.test"));
    std::string subject;
    for (int i = 0; subject.size() < 10000; ++i) subject += "word" + std::to_string(i) + " ";
    subject.resize(10000);
    sample.message.subject = Str(std::string_view(subject));
    sample.message.body = lines({"text"});
    samples.push_back(sample);
  }
  {
    ComposedSample sample{"long-unbroken-subject", administratorMessage(), sampleParameters()};
    sample.message.to.add(mailAddress("anna@example.test"));
    sample.message.subject = Str(std::string_view(std::string(10000, 'x') + "\xc3\xa9"));
    sample.message.body = lines({std::string(3000, 'y').c_str()});
    samples.push_back(sample);
  }
  return samples;
}

}  // namespace quillet::testing
