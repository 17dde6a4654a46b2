// BaseObj: the base of the library's lockable classes. The lock is off (null) until the
// owner switches it on; a Guard on an object without a lock does nothing. The lock is
// recursive, like the critical section it stands for.
#pragma once

#include <memory>
#include <mutex>

namespace quillet {

class BaseObj {
 public:
  BaseObj() = default;
  // Copies never share or copy a lock: the new object starts without one.
  BaseObj(const BaseObj&) {}
  BaseObj& operator=(const BaseObj&) { return *this; }
  virtual ~BaseObj() = default;

  // Switches locking on (a new lock replaces an existing one).
  void enableLock() { lock_ = std::make_unique<std::recursive_mutex>(); }
  bool hasLock() const { return lock_ != nullptr; }

  class Guard {
   public:
    explicit Guard(const BaseObj& object) : lock_(object.lock_.get()) {
      if (lock_) lock_->lock();
    }
    ~Guard() {
      if (lock_) lock_->unlock();
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    std::recursive_mutex* lock_;
  };

 private:
  std::unique_ptr<std::recursive_mutex> lock_;
};

}  // namespace quillet
