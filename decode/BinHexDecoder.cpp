// BinHex 4.0 decoding (see BinHexDecoder.h).
#include "decode/BinHexDecoder.h"

#include <cstring>

#include "decode/AttachmentNaming.h"

namespace quillet {
namespace {

constexpr char kAlphabet[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";

int sixBits(char c) {
  const char* hit = c != 0 ? std::strchr(kAlphabet, c) : nullptr;
  return hit != nullptr ? static_cast<int>(hit - kAlphabet) : -1;
}

uint16_t crcStep(uint16_t crc, unsigned char byte) {
  crc = static_cast<uint16_t>(crc ^ (byte << 8));
  for (int i = 0; i < 8; ++i)
    crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  return crc;
}

uint32_t bigEndian(const std::string& bytes, size_t pos, int n) {
  uint32_t value = 0;
  for (int i = 0; i < n; ++i) value = value << 8 | static_cast<unsigned char>(bytes[pos + i]);
  return value;
}

}  // namespace

void BinHexDecoder::line(const Line& line) {
  if (stage_ == Stage::Failed || finished_) return;
  std::string_view text = line.text;
  if (!inData_) {
    if (!line.startsLine || text.empty() || text[0] != ':') return;
    inData_ = true;
    stage_ = Stage::Header;
    text.remove_prefix(1);
  }
  for (char c : text) {
    if (c == ':') {
      finished_ = true;
      break;
    }
    character(c);
    if (stage_ == Stage::Failed) return;
  }
  if (finished_) flushData();
}

void BinHexDecoder::character(char c) {
  if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return;
  int value = sixBits(c);
  if (value < 0) {
    stage_ = Stage::Failed;
    return;
  }
  bits_ = (bits_ << 6 | static_cast<uint32_t>(value)) & 0xFFFFFF;
  bitCount_ += 6;
  if (bitCount_ >= 8) {
    bitCount_ -= 8;
    unsigned char byte = static_cast<unsigned char>(bits_ >> bitCount_);
    if (runMarker_) {
      runMarker_ = false;
      if (byte == 0) {
        last_ = 0x90;
        expanded(0x90);
      } else {
        for (int i = 1; i < byte && stage_ != Stage::Failed; ++i) expanded(last_);
      }
    } else if (byte == 0x90) {
      runMarker_ = true;
    } else {
      last_ = byte;
      expanded(byte);
    }
  }
}

void BinHexDecoder::expanded(unsigned char byte) {
  switch (stage_) {
    case Stage::Header: {
      header_ += static_cast<char>(byte);
      if (header_.size() == 1) {
        if (byte < 1 || byte > 63) stage_ = Stage::Failed;
        headerLength_ = 1 + byte + 1 + 4 + 4 + 2 + 4 + 4;  // without the CRC
        return;
      }
      if (header_.size() == headerLength_ + 2) {
        uint16_t crc = 0;
        for (size_t i = 0; i < headerLength_; ++i)
          crc = crcStep(crc, static_cast<unsigned char>(header_[i]));
        if (crc != bigEndian(header_, headerLength_, 2)) {
          stage_ = Stage::Failed;
          return;
        }
        size_t nameLength = static_cast<unsigned char>(header_[0]);
        std::string name = header_.substr(1, nameLength);
        for (char& c : name) {
          if (static_cast<unsigned char>(c) >= 0x80) c = '_';  // Mac Roman, not our text
        }
        name_ = cleanAttachmentName(name);
        dataLeft_ = bigEndian(header_, headerLength_ - 8, 4);
        crc_ = 0;
        stage_ = dataLeft_ > 0 ? Stage::DataFork : Stage::DataCrc;
      }
      return;
    }
    case Stage::DataFork:
      crc_ = crcStep(crc_, byte);
      out_[outFill_++] = static_cast<char>(byte);
      if (outFill_ == sizeof out_) flushData();
      if (--dataLeft_ == 0) stage_ = Stage::DataCrc;
      return;
    case Stage::DataCrc:
      crcBytes_ += static_cast<char>(byte);
      if (crcBytes_.size() == 2) {
        flushData();
        stage_ = crc_ == bigEndian(crcBytes_, 0, 2) ? Stage::ResourceFork : Stage::Failed;
      }
      return;
    case Stage::ResourceFork:
    case Stage::Done:
      return;
    case Stage::SeekStart:
    case Stage::Failed:
      stage_ = Stage::Failed;
      return;
  }
}

void BinHexDecoder::flushData() {
  if (outFill_ > 0) sink_.write(out_, outFill_);
  outFill_ = 0;
}

}  // namespace quillet
