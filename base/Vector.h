// Vector<T>: a fixed block of count items made in one piece; setting a new size frees all
// items and makes count default items. Item access is 1-based and clamped: 0 gives the
// first item, more than count the last (an empty vector has no item to give: asserted).
// LocateItem<K>: a key and three 32-bit integers, the element of keyed lookup tables.
#pragma once

#include <cassert>
#include <cstdint>
#include <memory>

namespace quillet {

template <typename K>
struct LocateItem {
  K key{};
  int32_t value1 = 0;
  int32_t value2 = 0;
  int32_t value3 = 0;
};

template <typename T>
class Vector {
 public:
  Vector() = default;
  explicit Vector(int count) { setSize(count); }

  void setSize(int count) {
    items_.reset();
    count_ = count > 0 ? count : 0;
    if (count_ > 0) items_ = std::make_unique<T[]>(count_);
  }
  int count() const { return count_; }

  T& item(int index) {
    assert(count_ > 0);
    return items_[clamp(index) - 1];
  }
  const T& item(int index) const {
    assert(count_ > 0);
    return items_[clamp(index) - 1];
  }

 private:
  int clamp(int index) const { return index < 1 ? 1 : (index > count_ ? count_ : index); }

  int count_ = 0;
  std::unique_ptr<T[]> items_;
};

}  // namespace quillet
