// libFuzzer entry point over the whole message parse: header fields and, with attachment
// files on, the body walk with all decoders. Part files go to a private temporary
// directory and are deleted after each input. Besides crashes and sanitizer reports it
// traps on broken promises of the parser: an address holding a blank or control
// character, a part file outside the temporary directory, or a part file left behind.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/SMTPDecode.h"

using namespace quillet;

namespace {

// The private directory of this fuzzing process, removed (empty) when the process ends.
// Kept in a plain array so the exit handler never sees a destroyed object.
const std::string& tempDirectory() {
  static char pattern[] = "/tmp/quillet-fuzz-XXXXXX";
  static const std::string path = [] {
    if (mkdtemp(pattern) == nullptr) abort();
    atexit([] { rmdir(pattern); });
    return std::string(pattern);
  }();
  return path;
}

int entries(const std::string& path) {
  int n = 0;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir))
      n += std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..";
    closedir(dir);
  }
  return n;
}

void checkAddresses(const AddressList& list) {
  for (const MailAddress& entry : list) {
    for (char c : entry.address.view()) {
      if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const SMTPDecode decoder = [] {
    DecodeOptions options;
    options.writeAttachments = true;
    options.flags = DecodeOptions::kEnvelopeFields;
    options.tempDirectory = Str(std::string_view(tempDirectory()));
    options.customFieldNames.add("X-Envelope-To");
    options.customFieldNames.add("X-Original-To");
    return SMTPDecode(options);
  }();
  MemoryByteSource source(std::string_view(reinterpret_cast<const char*>(data), size));
  ParseResult result;
  (void)decoder.parse(source, result);
  for (const AddressList* list : {&result.from, &result.sender, &result.replyTo, &result.returnPath,
                                  &result.to, &result.cc, &result.envelope, &result.custom}) {
    checkAddresses(*list);
  }
  for (const ReceivedForAddress& entry : result.receivedFor) {
    if (entry.position < 1 || entry.position > result.receivedCount) __builtin_trap();
  }
  for (const Attachment& attachment : result.attachments) {
    if (attachment.path.view().rfind(tempDirectory() + "/qdp", 0) != 0) __builtin_trap();
  }
  result.clear();
  if (entries(tempDirectory()) != 0) __builtin_trap();
  return 0;
}
