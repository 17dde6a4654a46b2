// Inflating one zlib stream (zlib header, 15-bit window) from one file into another,
// through fixed 64 KiB buffers, for the compressed POP3 retrieval.
//
// The data comes from a server and is untrusted: a stream that is damaged, ends early or
// would inflate to more than maxOutputBytes fails; bytes after the end of the stream are
// ignored. Nothing here knows about POP3.
#pragma once

#include <cstdint>

namespace quillet {

class File;

enum class InflateResult { Done, BadData, TooLarge, ReadFailed, WriteFailed };

// Inflates from the current position of input to the end of the stream into output.
[[nodiscard]] InflateResult inflateFile(File& input, File& output, int64_t maxOutputBytes);

}  // namespace quillet
