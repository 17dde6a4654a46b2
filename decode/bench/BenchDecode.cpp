// Benchmark of the message parser: generates a large message (text, a base64 attachment,
// a quoted-printable part) or parses one, printing the time taken and the peak memory of
// the process, so a run over messages of different sizes shows that memory is bounded by
// the parser's buffers and not by the message.
//
//   bench_decode generate FILE MEGABYTES   writes a message with a base64 part of that size
//   bench_decode parse FILE TEMPDIR        parses FILE with attachment files in TEMPDIR
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/Clock.h"
#include "decode/SMTPDecode.h"

using namespace quillet;

namespace {

int generate(const char* path, long megabytes) {
  std::ofstream out(path, std::ios::binary);
  if (!out) return 1;
  out << "Received: from relay.example.net by mx.example.org; Mon, 7 Dec 2026 10:00:00 +0100\r\n"
         "From: Bench Sender <sender@example.net>\r\nTo: user@example.org\r\n"
         "Subject: =?iso-8859-1?Q?Gro=DFe_Nachricht?=\r\nDate: Mon, 7 Dec 2026 10:00:00 +0100\r\n"
         "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"bench-boundary\"\r\n\r\n"
         "--bench-boundary\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: "
         "quoted-printable\r\n\r\n";
  for (int i = 0; i < 2000; ++i)
    out << "Line " << i << " of the text with a soft break =\r\nand an escape =E4.\r\n";
  out << "--bench-boundary\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n";
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  long encodedBytes = megabytes * 1024 * 1024;
  std::string line(76, 'A');
  unsigned seed = 12345;
  for (long written = 0; written < encodedBytes; written += 76) {
    for (char& c : line) {
      seed = seed * 1103515245u + 12345u;
      c = kAlphabet[(seed >> 16) & 63];
    }
    out << line << "\r\n";
  }
  out << "--bench-boundary--\r\n.\r\n";
  return out ? 0 : 1;
}

int parse(const char* path, const char* tempDir) {
  DecodeOptions options;
  options.writeAttachments = true;
  options.flags = DecodeOptions::kEnvelopeFields;
  options.tempDirectory = tempDir;
  SMTPDecode decoder(options);
  ParseResult result;
  auto start = MonotonicClock::now();
  int code = decoder.parseFile(path, result);
  double seconds = std::chrono::duration<double>(MonotonicClock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  unsigned long long decoded = 0;
  for (const Attachment& attachment : result.attachments) {
    std::ifstream in(attachment.path.c_str(), std::ios::binary | std::ios::ate);
    decoded += static_cast<unsigned long long>(in.tellg());
  }
  std::printf("result %d, %d attachments, %llu bytes decoded, %.3f s, peak memory %ld KiB\n", code,
              result.attachments.count(), decoded, seconds, usage.ru_maxrss);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "generate") return generate(argv[2], std::atol(argv[3]));
  if (argc == 4 && std::string(argv[1]) == "parse") return parse(argv[2], argv[3]);
  std::fprintf(stderr, "usage: bench_decode generate FILE MEGABYTES | parse FILE TEMPDIR\n");
  return 2;
}
