// Buff (an owned, zero-filled byte block) and FastStr (a length and a pointer to text
// that it does not own).
#pragma once

#include <cstdint>

namespace quillet {

class Buff {
 public:
  Buff() : Buff(0) {}
  explicit Buff(int size);  // size zeroed bytes; a negative size means 16
  Buff(const Buff& other);
  Buff& operator=(const Buff& other);
  Buff(Buff&& other) noexcept;
  Buff& operator=(Buff&& other) noexcept;
  ~Buff();

  // Grows to size bytes (old bytes kept, new ones zeroed); a smaller size changes nothing.
  void resize(int size);
  int size() const { return size_; }
  char* data() { return data_; }
  const char* data() const { return data_; }

 private:
  int size_ = 0;
  char* data_ = nullptr;
};

class FastStr {
 public:
  FastStr();  // length 0, pointing at the static empty text
  FastStr(const char* text, int length) : length_(length), text_(text) {}
  int length() const { return length_; }
  const char* text() const { return text_; }

 private:
  int length_;
  const char* text_;
};

}  // namespace quillet
