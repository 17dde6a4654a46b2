// Streaming BinHex 4.0 decoder: takes the lines of an "application/mac-binhex40" part and
// writes the data fork to a sink as it is decoded. The resource fork is checked for
// nothing and dropped (the virus scanner works on the data).
//
// The encoded data runs from the first ':' at the start of a line to the next ':'; line
// breaks and blanks inside it are ignored. Characters map to six bits each; the bytes are
// run-length expanded (0x90 marker) and read as: name length, name, version, type, creator,
// flags, data length, resource length, header CRC, data fork, data CRC (CRC-16/XMODEM).
// Decoding succeeds only when the header CRC matches and the whole data fork arrived with a
// matching CRC. Memory is fixed: the data length is only counted down, never allocated.
#pragma once

#include <cstdint>
#include <string>

#include "decode/ContentDecoders.h"

namespace quillet {

class BinHexDecoder {
 public:
  explicit BinHexDecoder(ByteSink& dataFork) : sink_(dataFork) {}

  void line(const Line& line);
  // True when the header and the complete data fork were decoded with matching CRCs.
  [[nodiscard]] bool succeeded() const {
    return stage_ == Stage::Done || stage_ == Stage::ResourceFork;
  }
  // The file name stored in the header (cleaned like every attachment name); empty before.
  const std::string& storedName() const { return name_; }

 private:
  enum class Stage { SeekStart, Header, DataFork, DataCrc, ResourceFork, Done, Failed };

  void character(char c);
  void expanded(unsigned char byte);  // after the run-length stage
  void flushData();

  ByteSink& sink_;
  Stage stage_ = Stage::SeekStart;
  bool inData_ = false;    // between the two ':'
  bool finished_ = false;  // the closing ':' was seen
  uint32_t bits_ = 0;
  int bitCount_ = 0;
  bool runMarker_ = false;
  unsigned char last_ = 0;
  std::string header_;  // header bytes read so far (at most 1 + 63 + 22)
  size_t headerLength_ = 0;
  uint32_t dataLeft_ = 0;
  uint16_t crc_ = 0;
  std::string crcBytes_;
  std::string name_;
  char out_[4096] = {};
  size_t outFill_ = 0;
};

}  // namespace quillet
