// The body walk: part naming, plain text with uuencoded blocks, the boundary stack, nesting
// limits, alternative parts, embedded messages, file ownership and the error codes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/ErrorCodes.h"
#include "base/ProcessContext.h"
#include "decode/tests/DecodeTestSupport.h"
#include "tests/support/FailingReadFile.h"

using namespace quillet;
using namespace quillet::testing;

namespace {

std::string names(const ParseResult& result) {
  std::string out;
  for (const Attachment& item : result.attachments)
    out += (out.empty() ? "" : ",") + item.name.toStd();
  return out;
}

const Attachment* find(const ParseResult& result, const std::string& name) {
  for (const Attachment& item : result.attachments) {
    if (item.name.toStd() == name) return &item;
  }
  return nullptr;
}

std::string multipart(const std::string& type, const std::string& boundary,
                      std::initializer_list<std::string> parts) {
  std::string out = "Content-Type: " + type + "; boundary=\"" + boundary + "\"\r\n\r\npreamble\r\n";
  for (const std::string& part : parts)
    out.append("--").append(boundary).append("\r\n").append(part);
  return out + "--" + boundary + "--\r\nepilogue\r\n";
}

}  // namespace

TEST(PartNaming, UnnamedPartsGetNamesByTheirType) {
  TempDir dir;
  ParseResult result;
  std::string body =
      multipart("multipart/mixed", "b1",
                {"Content-Type: text/plain\r\n\r\nHello\r\n",
                 "Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\nR0lGODlh\r\n",
                 "Content-Type: text/html\r\n\r\n<p>x</p>\r\n",
                 "Content-Type: application/ms-tnef\r\n\r\ntnef\r\n",
                 "Content-Type: application/x-unheard-of\r\n\r\ndata\r\n",
                 "Content-Type: application/msword\r\n\r\ndoc\r\n",
                 // One part's two header lines, written as two literals.
                 // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
                 "Content-Type: application/octet-stream; name=\"report.pdf\"\r\n"
                 "Content-Disposition: attachment; filename=\"final.pdf\"\r\n\r\npdf\r\n",
                 "Content-Type: application/octet-stream; "
                 "name=\"=?utf-8?Q?gr=C3=BC=C3=9Fe.txt?=\"\r\n\r\nx\r\n",
                 "Content-Type: text/plain\r\n\r\n\r\n"});
  ASSERT_EQ(parseText("Subject: parts\r\n" + body + ".\r\n", bodyOptions(dir), result), 0);
  EXPECT_EQ(names(result),
            "NoteText.txt,unknown.gif,HTMLPage.htm,WINMAIL.DAT,unknown.txt,unknown.doc,final.pdf,"
            "grüße.txt");
  EXPECT_EQ(readAll(find(result, "unknown.gif")->path), "GIF89a");
  EXPECT_EQ(readAll(find(result, "NoteText.txt")->path), "Hello");
  EXPECT_EQ(dir.entries(), 8);  // the empty body text part left no file behind
}

TEST(PartNaming, InlineNamedTextIsBodyTextOnlyWhileNoneWasFound) {
  TempDir dir;
  ParseResult result;
  std::string body = multipart(
      "multipart/mixed", "b",
      {"Content-Type: text/plain; name=\"first.txt\"\r\nContent-Disposition: inline\r\n\r\n\r\n",
       "Content-Type: text/plain; name=\"second.txt\"\r\nContent-Disposition: inline\r\n\r\n\r\n"});
  ASSERT_EQ(parseText("Subject: x\r\n" + body, bodyOptions(dir), result), 0);
  // The first is body text and, being empty, dropped; the second is an ordinary attachment.
  EXPECT_EQ(names(result), "second.txt");
}

TEST(PartNaming, NamesFromTheMessageNeverBecomePaths) {
  TempDir dir;
  ParseResult result;
  std::string body =
      multipart("multipart/mixed", "b",
                {"Content-Type: application/octet-stream; name=\"../../etc/evil\"\r\n\r\nx\r\n",
                 "Content-Disposition: attachment; filename=\"/tmp/abs\rname\"\r\n"
                 "Content-Type: application/octet-stream\r\n\r\ny\r\n"});
  ASSERT_EQ(parseText("Subject: x\r\n" + body, bodyOptions(dir), result), 0);
  ASSERT_EQ(result.attachments.count(), 2);
  EXPECT_EQ(result.attachments[1].name.toStd(), "../../etc/evil");
  EXPECT_EQ(result.attachments[2].name.toStd(), "/tmp/abs name");  // the header's CR became a blank
  for (const Attachment& item : result.attachments) {
    EXPECT_EQ(item.path.toStd().rfind(dir.path() + "/qdp", 0), 0u) << item.path.toStd();
    struct stat info {};
    ASSERT_EQ(stat(item.path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
  }
}

TEST(PlainText, NonMimeMessageWithUuencodedBlockGivesAttachmentAndNoteText) {
  TempDir dir;
  ParseResult result;
  // "Cat" uuencoded.
  ASSERT_EQ(parseText(message({"Subject: uu", "", "Here it comes:", "begin 644 cat.txt", "#0V%T",
                               "`", "end", "Regards", "..dotted"}),
                      bodyOptions(dir), result),
            0);
  EXPECT_EQ(names(result), "cat.txt,NoteText.txt");
  EXPECT_EQ(readAll(find(result, "cat.txt")->path), "Cat");
  EXPECT_EQ(readAll(find(result, "NoteText.txt")->path),
            "Here it comes:\r\nRegards\r\n.dotted\r\n");
}

TEST(PlainText, UnnamedBeginLineAndCutBlock) {
  TempDir dir;
  ParseResult result;
  ASSERT_EQ(
      parseText(message({"Subject: uu", "", "begin 600   ", "#0V%T"}), bodyOptions(dir), result),
      0);
  EXPECT_EQ(names(result), "unknown.txt");  // no text around it: no NoteText.txt
  EXPECT_EQ(readAll(result.attachments[1].path), "Cat");
}

TEST(TransferEncodings, QuotedPrintableSoftBreaksAndBase64GroupsAcrossLines) {
  TempDir dir;
  ParseResult result;
  std::string body =
      multipart("multipart/mixed", "b",
                {"Content-Type: text/plain; name=\"qp.txt\"\r\nContent-Transfer-Encoding: "
                 "Quoted-Printable\r\n\r\n"
                 "soft=\r\nbreak =3D =3d =E4 =ZZ end  \r\nnext line=\r\n",
                 "Content-Type: application/octet-stream; "
                 "name=\"b.bin\"\r\nContent-Transfer-Encoding: BASE64\r\n\r\n"
                 "SGV\r\nsbG8s\r\nIHdv*cmxk\r\nIQ==\r\nignored after padding\r\n"});
  ASSERT_EQ(parseText("Subject: x\r\n" + body, bodyOptions(dir), result), 0);
  EXPECT_EQ(readAll(find(result, "qp.txt")->path), "softbreak = = \xe4 =ZZ end\r\nnext line");
  EXPECT_EQ(readAll(find(result, "b.bin")->path), "Hello, world!");
}

TEST(TransferEncodings, OverLongBase64LineDecodesWhole) {
  TempDir dir;
  ParseResult result;
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t v = static_cast<unsigned char>(data[i]) << 16 |
                 static_cast<unsigned char>(data[i + 1]) << 8 |
                 static_cast<unsigned char>(data[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) encoded += kAlphabet[(v >> shift) & 63];
  }
  std::string text =
      "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
      encoded + "\r\n";
  ASSERT_EQ(parseText(text, bodyOptions(dir), result), 0);
  ASSERT_EQ(result.attachments.count(), 1);
  EXPECT_EQ(readAll(result.attachments[1].path) == data, true);
}

TEST(Boundaries, OuterDelimiterInsideInnerPartIsContent) {
  TempDir dir;
  ParseResult result;
  std::string inner = multipart("multipart/mixed", "inner",
                                {"Content-Type: application/octet-stream; "
                                 "name=\"a.bin\"\r\n\r\nline1\r\n--outer\r\nline2\r\n"});
  std::string outer =
      multipart("multipart/mixed", "outer",
                {inner, "Content-Type: application/octet-stream; name=\"b.bin\"\r\n\r\nafter\r\n"});
  ASSERT_EQ(parseText("Subject: x\r\n" + outer, bodyOptions(dir), result), 0);
  EXPECT_EQ(names(result), "a.bin,b.bin");
  EXPECT_EQ(readAll(find(result, "a.bin")->path), "line1\r\n--outer\r\nline2");
  EXPECT_EQ(readAll(find(result, "b.bin")->path), "after");
}

TEST(Boundaries, DelimiterNeedsLineEndOrBlankAfterIt) {
  TempDir dir;
  ParseResult result;
  std::string body = multipart(
      "multipart/mixed", "b",
      {"Content-Type: application/octet-stream; name=\"a.bin\"\r\n\r\n--bx\r\n--b--x\r\nend\r\n",
       "Content-Type: application/octet-stream; name=\"c.bin\"\r\n\r\nc\r\n"});
  body.replace(body.rfind("--b--"), 5, "--b-- \t");
  ASSERT_EQ(parseText("Subject: x\r\n" + body, bodyOptions(dir), result), 0);
  EXPECT_EQ(names(result), "a.bin,c.bin");
  EXPECT_EQ(readAll(find(result, "a.bin")->path), "--bx\r\n--b--x\r\nend");
}

TEST(Nesting, EntitiesDeeperThanTheLimitAreSkipped) {
  for (int levels : {220, 221}) {
    TempDir dir;
    std::string text = "Subject: deep\r\n";
    // levels entities: levels - 1 nested multiparts, then a leaf.
    for (int i = 1; i < levels; ++i) {
      text += "Content-Type: multipart/mixed; boundary=\"L" + std::to_string(i) + "\"\r\n\r\n--L" +
              std::to_string(i) + "\r\n";
    }
    text += "Content-Type: application/octet-stream; name=\"deep.bin\"\r\n\r\ndeep\r\n";
    for (int i = levels - 1; i >= 1; --i) text += "--L" + std::to_string(i) + "--\r\n";
    ParseResult result;
    ASSERT_EQ(parseText(text + ".\r\n", bodyOptions(dir), result), 0) << levels;
    EXPECT_EQ(result.attachments.count(), levels == 220 ? 1 : 0) << levels;
  }
}

TEST(Nesting, HostileDepthsOfBothContainerKindsEndWell) {
  TempDir dir;
  std::string multiparts = "Subject: deep\r\n";
  for (int i = 1; i <= 3000; ++i)
    multiparts += "Content-Type: multipart/mixed; boundary=\"L\"\r\n\r\n--L\r\n";
  std::string messages = "Subject: deep\r\n";
  for (int i = 1; i <= 3000; ++i) messages += "Content-Type: message/rfc822\r\n\r\n";
  for (const std::string& text : {multiparts, messages}) {
    ParseResult result;
    ASSERT_EQ(parseText(text + "Content-Type: image/gif\r\n\r\nGIF\r\n", bodyOptions(dir), result),
              0);
    EXPECT_EQ(result.attachments.count(), 0);
  }
}

TEST(Alternative, EveryPartButEnrichedTextIsSavedForTheScanner) {
  TempDir dir;
  ParseResult result;
  std::string related = multipart(
      "multipart/related", "rel",
      {"Content-Type: text/html\r\n\r\n<img>\r\n", "Content-Type: image/gif\r\n\r\nGIF\r\n"});
  std::string body = multipart(
      "multipart/alternative", "alt",
      {"Content-Type: text/plain\r\n\r\nplain\r\n", "Content-Type: text/enriched\r\n\r\nrich\r\n",
       "Content-Type: application/pdf; name=\"x.pdf\"\r\n\r\npdf\r\n", related});
  ASSERT_EQ(parseText("Subject: x\r\n" + body, bodyOptions(dir), result), 0);
  EXPECT_EQ(names(result), "NoteText.txt,x.pdf,HTMLPage.htm,unknown.gif");
}

TEST(EmbeddedMessages, Rfc822PartsAreParsedAndOtherMessageTypesSkipped) {
  TempDir dir;
  ParseResult result;
  std::string embedded =
      "Content-Type: message/rfc822\r\n\r\nSubject: inner\r\nContent-Type: application/zip; "
      "name=\"in.zip\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nUEs=\r\n";
  std::string body =
      multipart("multipart/mixed", "b",
                {embedded, "Content-Type: message/delivery-status\r\n\r\nReporting-MTA: x\r\n"});
  ASSERT_EQ(parseText("Subject: outer\r\n" + body, bodyOptions(dir), result), 0);
  EXPECT_EQ(names(result), "in.zip");
  EXPECT_EQ(readAll(result.attachments[1].path), "PK");
  EXPECT_EQ(result.subject.toStd(), "outer");
}

TEST(Boundaries, MultipartWithoutBoundaryIsKeptAsText) {
  TempDir dir;
  ParseResult result;
  ASSERT_EQ(parseText(message({"Content-Type: multipart/mixed", "", "TVqQAAMAAAAEAAAA"}),
                      bodyOptions(dir), result),
            0);
  EXPECT_EQ(names(result), "NoteText.txt");
  EXPECT_EQ(readAll(result.attachments[1].path), "TVqQAAMAAAAEAAAA\r\n");
}

TEST(SunAttachments, AreScannedAsPlainText) {
  TempDir dir;
  ParseResult result;
  ASSERT_EQ(parseText(message({"Content-Type: X-sun-attachment", "", "text", "begin 644 s.txt",
                               "#0V%T", "end"}),
                      bodyOptions(dir), result),
            0);
  EXPECT_EQ(names(result), "s.txt,NoteText.txt");
}

TEST(Ownership, ClearingTheResultDeletesTheFiles) {
  TempDir dir;
  {
    ParseResult result;
    ASSERT_EQ(parseText(message({"Subject: x", "", "text"}), bodyOptions(dir), result), 0);
    EXPECT_EQ(dir.entries(), 1);
    AttachmentList kept = std::move(result.attachments);
    result.clear();
    EXPECT_EQ(dir.entries(), 1);
  }
  EXPECT_EQ(dir.entries(), 0);
}

TEST(Errors, MissingUnreadableMessageFileAndMissingTempDirectory) {
  TempDir dir;
  ParseResult result;
  ProcessContext::instance().setCheckBeforeFileOpen(true);  // no retry wait for the missing file
  EXPECT_EQ(SMTPDecode(bodyOptions(dir))
                .parseFile(Str(std::string_view(dir.path() + "/none.txt")), result),
            30);
  ProcessContext::instance().setCheckBeforeFileOpen(false);
  // A file that opens but fails to read is not parsed as an empty message.
  EXPECT_EQ(SMTPDecode(bodyOptions(dir)).parseFile(Str(kUnreadableFilePath), result),
            err::kParseHeader);
  DecodeOptions options = bodyOptions(dir);
  options.tempDirectory = Str(std::string_view(dir.path() + "/missing"));
  EXPECT_EQ(parseText(message({"From: a@example.org", "", "text"}), options, result), 32);
  EXPECT_EQ(result.from.count(), 1);  // the header was read all the same
  options.writeAttachments = false;
  EXPECT_EQ(parseText(message({"From: a@example.org", "", "text"}), options, result), 0);
}

TEST(Errors, ParseFileReadsTheStoredWireForm) {
  TempDir dir;
  std::string path = dir.path() + "/MSG00001.TXT";
  ASSERT_TRUE(writeBytes(path, message({"Subject: stored", "", "..leading dot", "text"})));
  ParseResult result;
  ASSERT_EQ(SMTPDecode(bodyOptions(dir)).parseFile(Str(std::string_view(path)), result), 0);
  EXPECT_EQ(result.subject.toStd(), "stored");
  EXPECT_EQ(readAll(result.attachments[1].path), ".leading dot\r\ntext\r\n");
}
