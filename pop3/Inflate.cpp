// Inflating one zlib stream between files (see Inflate.h).
#include "pop3/Inflate.h"

#include <zlib.h>

#include <vector>

#include "base/File.h"

namespace quillet {
namespace {

constexpr int kBufferSize = 65536;

// Owns the z_stream so every path ends it.
class Inflater {
 public:
  Inflater() { ok_ = inflateInit2(&stream_, 15) == Z_OK; }
  ~Inflater() {
    if (ok_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool ok() const { return ok_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

}  // namespace

InflateResult inflateFile(File& input, File& output, int64_t maxOutputBytes) {
  Inflater inflater;
  if (!inflater.ok()) return InflateResult::BadData;
  z_stream& stream = inflater.stream();
  std::vector<unsigned char> in(kBufferSize);
  std::vector<unsigned char> out(kBufferSize);
  int64_t written = 0;
  for (;;) {
    if (stream.avail_in == 0) {
      const ReadResult got = input.read(in.data(), kBufferSize);
      if (got.failed()) return InflateResult::ReadFailed;
      if (got.bytes == 0) return InflateResult::BadData;  // the stream ended early
      stream.next_in = in.data();
      stream.avail_in = static_cast<uInt>(got.bytes);
    }
    stream.next_out = out.data();
    stream.avail_out = kBufferSize;
    const int status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
      return InflateResult::BadData;
    }
    const int produced = kBufferSize - static_cast<int>(stream.avail_out);
    written += produced;
    if (written > maxOutputBytes) return InflateResult::TooLarge;
    if (produced > 0 && output.write(out.data(), produced) != produced) {
      return InflateResult::WriteFailed;
    }
    if (status == Z_STREAM_END) return InflateResult::Done;
  }
}

}  // namespace quillet
