// The out-of-memory handler (see Memory.h).
#include "base/Memory.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace quillet {
namespace {

char* reserveBlock = nullptr;

void writeRaw(const char* text) {
  // Plain write(2): stdio may itself need memory.
  size_t n = 0;
  while (text[n] != 0) ++n;
  ssize_t ignored = ::write(STDERR_FILENO, text, n);
  (void)ignored;
}

void onNewFailure() {
  // The standard allocator does not tell the handler the size it wanted.
  reportOutOfMemory(0);
}

}  // namespace

void installOutOfMemoryHandler() {
  if (reserveBlock == nullptr) reserveBlock = static_cast<char*>(std::malloc(1024));
  std::set_new_handler(onNewFailure);
}

void reportOutOfMemory(std::size_t size) {
  std::free(reserveBlock);
  reserveBlock = nullptr;
  char number[32];
  std::snprintf(number, sizeof number, "%zu", size);
  writeRaw("Memory allocation of ");
  writeRaw(number);
  writeRaw(" Bytes failed!\nProgram terminated!\n");
  std::_Exit(255);
}

}  // namespace quillet
