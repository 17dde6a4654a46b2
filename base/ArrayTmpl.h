// ArrayTmpl<T>: a growable array of owned elements with 1-based indices and an optional
// lock (switched on by owners whose arrays several threads use). The block of element
// pointers grows to 8 slots the first time and doubles after that.
//
// Reading an index outside 1..count() is the caller's error (asserted): callers check
// count() first. ArrayStr, the array of strings, adds find().
#pragma once

#include <cassert>
#include <cstring>
#include <utility>

#include "base/BaseObj.h"
#include "base/Str.h"

namespace quillet {

template <typename T>
class ArrayTmpl : public BaseObj {
 public:
  ArrayTmpl() = default;
  ArrayTmpl(const ArrayTmpl& other) : BaseObj() { assignFrom(other); }
  ArrayTmpl& operator=(const ArrayTmpl& other) {
    if (this != &other) assignFrom(other);
    return *this;
  }
  ~ArrayTmpl() override {
    clear();
    delete[] slots_;
  }

  int count() const {
    Guard guard(*this);
    return count_;
  }
  int capacity() const {
    Guard guard(*this);
    return capacity_;
  }

  // Appends a heap copy of element; returns its index.
  int add(const T& element) { return addOwned(new T(element)); }
  int add(T&& element) { return addOwned(new T(std::move(element))); }

  // Element at a 1-based index.
  T& operator[](int index) {
    Guard guard(*this);
    assert(index >= 1 && index <= count_);
    return *slots_[index - 1];
  }
  const T& operator[](int index) const {
    Guard guard(*this);
    assert(index >= 1 && index <= count_);
    return *slots_[index - 1];
  }

  // Destroys element index and moves the following ones down by one.
  void remove(int index) {
    Guard guard(*this);
    if (index < 1 || index > count_) return;
    delete slots_[index - 1];
    std::memmove(slots_ + index - 1, slots_ + index, sizeof(T*) * (count_ - index));
    --count_;
    slots_[count_] = nullptr;
  }

  // Destroys every element; the block is kept.
  void clear() {
    Guard guard(*this);
    for (int i = 0; i < count_; ++i) {
      delete slots_[i];
      slots_[i] = nullptr;
    }
    count_ = 0;
  }

  // Makes room for at least n elements.
  void reserve(int n) {
    Guard guard(*this);
    if (n > capacity_) growTo(n);
  }

  // Iteration (for range-for): yields references to the elements in order.
  class iterator {
   public:
    iterator(T** slot) : slot_(slot) {}
    T& operator*() const { return **slot_; }
    iterator& operator++() {
      ++slot_;
      return *this;
    }
    bool operator!=(const iterator& other) const { return slot_ != other.slot_; }

   private:
    T** slot_;
  };
  iterator begin() const { return iterator(slots_); }
  iterator end() const { return iterator(slots_ + count_); }

 protected:
  int addOwned(T* element) {
    Guard guard(*this);
    if (count_ == capacity_) growTo(capacity_ == 0 ? 8 : capacity_ * 2);
    slots_[count_++] = element;
    return count_;
  }

 private:
  void growTo(int n) {
    T** block = new T*[n]();
    if (count_ > 0) std::memcpy(block, slots_, sizeof(T*) * count_);
    delete[] slots_;
    slots_ = block;
    capacity_ = n;
  }
  void assignFrom(const ArrayTmpl& other) {
    Guard guard(*this);
    Guard otherGuard(other);
    clear();
    reserve(other.capacity_);
    for (int i = 0; i < other.count_; ++i) addOwned(new T(*other.slots_[i]));
  }

  int count_ = 0;        // guarded by the object's lock
  int capacity_ = 0;     // guarded by the object's lock
  T** slots_ = nullptr;  // guarded by the object's lock
};

class ArrayStr : public ArrayTmpl<Str> {
 public:
  // 1-based index of the first element equal to text (same length, case-sensitive), or 0.
  int find(const Str& text) const {
    Guard guard(*this);
    int n = count();
    for (int i = 1; i <= n; ++i) {
      if ((*this)[i].equals(text)) return i;
    }
    return 0;
  }
};

}  // namespace quillet
