// Buff and FastStr (see Buff.h).
#include "base/Buff.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/Memory.h"

namespace quillet {
namespace {

char emptyText[1] = {0};

char* allocateZeroed(int size) {
  if (size <= 0) return nullptr;
  char* block = static_cast<char*>(std::calloc(static_cast<size_t>(size), 1));
  if (block == nullptr) reportOutOfMemory(static_cast<size_t>(size));
  return block;
}

}  // namespace

Buff::Buff(int size) : size_(size < 0 ? 16 : size), data_(allocateZeroed(size_)) {}

Buff::Buff(const Buff& other) : size_(other.size_), data_(allocateZeroed(other.size_)) {
  if (size_ > 0) std::memcpy(data_, other.data_, static_cast<size_t>(size_));
}

Buff& Buff::operator=(const Buff& other) {
  if (this != &other) {
    Buff copy(other);
    std::swap(size_, copy.size_);
    std::swap(data_, copy.data_);
  }
  return *this;
}

Buff::Buff(Buff&& other) noexcept
    : size_(std::exchange(other.size_, 0)), data_(std::exchange(other.data_, nullptr)) {}

Buff& Buff::operator=(Buff&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    size_ = std::exchange(other.size_, 0);
    data_ = std::exchange(other.data_, nullptr);
  }
  return *this;
}

Buff::~Buff() { std::free(data_); }

void Buff::resize(int size) {
  if (size <= size_) return;
  char* block = allocateZeroed(size);
  if (size_ > 0) std::memcpy(block, data_, static_cast<size_t>(size_));
  std::free(data_);
  data_ = block;
  size_ = size;
}

FastStr::FastStr() : length_(0), text_(emptyText) {}

}  // namespace quillet
