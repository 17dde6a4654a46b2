// Pointer holders: SmartPtr owns one object, SmartAPtr owns an array, DumbPtr only refers
// to an object (lists of running threads hold DumbPtr, never owning pointers).
#pragma once

#include <utility>

namespace quillet {

template <typename T>
class SmartPtr {
 public:
  SmartPtr() = default;
  explicit SmartPtr(T* object) : object_(object) {}
  SmartPtr(SmartPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  SmartPtr& operator=(SmartPtr&& other) noexcept {
    if (this != &other) reset(std::exchange(other.object_, nullptr));
    return *this;
  }
  SmartPtr(const SmartPtr&) = delete;
  SmartPtr& operator=(const SmartPtr&) = delete;
  ~SmartPtr() { delete object_; }

  // Destroys the held object (through its virtual destructor) and holds object instead.
  void reset(T* object = nullptr) {
    T* old = std::exchange(object_, object);
    delete old;
  }
  T* release() { return std::exchange(object_, nullptr); }
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

template <typename T>
class SmartAPtr {
 public:
  SmartAPtr() = default;
  explicit SmartAPtr(T* array) : array_(array) {}
  SmartAPtr(SmartAPtr&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
  SmartAPtr& operator=(SmartAPtr&& other) noexcept {
    if (this != &other) reset(std::exchange(other.array_, nullptr));
    return *this;
  }
  SmartAPtr(const SmartAPtr&) = delete;
  SmartAPtr& operator=(const SmartAPtr&) = delete;
  ~SmartAPtr() { delete[] array_; }

  void reset(T* array = nullptr) {
    T* old = std::exchange(array_, array);
    delete[] old;
  }
  T* get() const { return array_; }
  T& operator[](int i) const { return array_[i]; }
  explicit operator bool() const { return array_ != nullptr; }

 private:
  T* array_ = nullptr;
};

template <typename T>
class DumbPtr {
 public:
  DumbPtr() = default;
  DumbPtr(T* object) : object_(object) {}  // NOLINT: a plain reference, implicit on purpose
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

}  // namespace quillet
