// The out-of-memory handler shared by all programs. When an allocation fails, it frees a
// 1024-byte reserve block (so the messages can still be written), writes
// "Memory allocation of <size> Bytes failed!" and "Program terminated!" and ends the
// program with exit code 255.
#pragma once

#include <cstddef>

namespace quillet {

// Installs the handler and takes the reserve block; safe to call more than once.
void installOutOfMemoryHandler();

// What the handler does after a failed allocation of size bytes; never returns.
[[noreturn]] void reportOutOfMemory(std::size_t size);

}  // namespace quillet
