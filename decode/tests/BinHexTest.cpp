// BinHex 4.0 parts: a correct part gives its data fork under the right name; a damaged one
// is kept undecoded as "unknown.hqx".
#include <gtest/gtest.h>

#include "decode/tests/DecodeTestSupport.h"

using namespace quillet;
using namespace quillet::testing;

namespace {

uint16_t crc16(const std::string& bytes) {
  uint16_t crc = 0;
  for (unsigned char byte : bytes) {
    crc = static_cast<uint16_t>(crc ^ (byte << 8));
    for (int i = 0; i < 8; ++i)
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

void put(std::string& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i));
}

// An independent encoder: header, data fork, empty resource fork; 0x90 escaped, runs of
// four or more equal bytes compressed.
std::string binHex(const std::string& name, const std::string& data, bool breakDataCrc = false) {
  std::string header;
  header += static_cast<char>(name.size());
  header += name;
  header += '\0';
  header += "TEXTttxt";
  put(header, 0, 2);
  put(header, static_cast<uint32_t>(data.size()), 4);
  put(header, 0, 4);
  std::string raw = header;
  put(raw, crc16(header), 2);
  raw += data;
  put(raw, crc16(data) ^ (breakDataCrc ? 1 : 0), 2);
  put(raw, 0, 2);  // resource fork CRC
  std::string rle;
  for (size_t i = 0; i < raw.size();) {
    size_t run = 1;
    while (i + run < raw.size() && raw[i + run] == raw[i] && run < 200) ++run;
    if (raw[i] == '\x90') {
      rle += "\x90";
      rle += '\0';
      run = 1;
    } else if (run >= 4) {
      rle += raw[i];
      rle += '\x90';
      rle += static_cast<char>(run);
    } else {
      rle += raw[i];
      run = 1;
    }
    i += run;
  }
  static const char kAlphabet[] =
      "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
  std::string chars;
  uint32_t bits = 0;
  int count = 0;
  for (unsigned char byte : rle) {
    bits = bits << 8 | byte;
    count += 8;
    while (count >= 6) {
      count -= 6;
      chars += kAlphabet[(bits >> count) & 63];
    }
  }
  if (count > 0) chars += kAlphabet[(bits << (6 - count)) & 63];
  std::string out = "(This file must be converted with BinHex 4.0)\r\n:";
  for (size_t i = 0; i < chars.size(); i += 64) out += chars.substr(i, 64) + "\r\n";
  return out + ":\r\n";
}

std::string hqxMessage(const std::string& contentType, const std::string& hqx) {
  return "Subject: mac\r\nContent-Type: multipart/mixed; "
         "boundary=\"m\"\r\n\r\n--m\r\nContent-Type: " +
         contentType + "\r\n\r\n" + hqx + "--m--\r\n.\r\n";
}

}  // namespace

TEST(BinHex, DataForkIsSavedUnderTheStoredName) {
  TempDir dir;
  std::string data =
      "Mac data \x90 with runs aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa" + std::string(300, '\0');
  ParseResult result;
  ASSERT_EQ(parseText(hqxMessage("application/mac-binhex40", binHex("Read Me", data)),
                      bodyOptions(dir), result),
            0);
  ASSERT_EQ(result.attachments.count(), 1);
  EXPECT_EQ(result.attachments[1].name.toStd(), "Read Me");
  EXPECT_EQ(readAll(result.attachments[1].path), data);
}

TEST(BinHex, ContentTypeNameWinsOverTheStoredName) {
  TempDir dir;
  ParseResult result;
  ASSERT_EQ(
      parseText(hqxMessage("application/mac-binhex40; name=\"given.txt\"", binHex("stored", "x")),
                bodyOptions(dir), result),
      0);
  EXPECT_EQ(result.attachments[1].name.toStd(), "given.txt");
}

TEST(BinHex, DamagedDataIsKeptUndecoded) {
  TempDir dir;
  std::string hqx = binHex("f", "payload", true);
  ParseResult result;
  ASSERT_EQ(parseText(hqxMessage("application/mac-binhex40", hqx), bodyOptions(dir), result), 0);
  ASSERT_EQ(result.attachments.count(), 1);
  EXPECT_EQ(result.attachments[1].name.toStd(), "unknown.hqx");
  EXPECT_EQ(readAll(result.attachments[1].path), hqx);
  EXPECT_EQ(dir.entries(), 1);
}

TEST(BinHex, CutOffDataIsKeptUndecoded) {
  TempDir dir;
  std::string hqx = binHex("f", std::string(500, 'z') + "tail");
  hqx = hqx.substr(0, hqx.size() / 2) + "\r\n";
  ParseResult result;
  ASSERT_EQ(parseText(hqxMessage("application/mac-binhex40", hqx), bodyOptions(dir), result), 0);
  EXPECT_EQ(result.attachments[1].name.toStd(), "unknown.hqx");
}
