#pragma once
#include <utility>

namespace framework {

// Sole owner of one resource value of type T, released with Close. The value
// T{} means "nothing held".
template <typename T, void (*Close)(T)>
class UniqueAny {
 public:
  UniqueAny() = default;
  explicit UniqueAny(T value) : value_(value) {}
  ~UniqueAny() { reset(); }

  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != T{}; }

  // Releases what is held and gives the address for an out parameter.
  T* put() {
    reset();
    return &value_;
  }

  T release() { return std::exchange(value_, T{}); }

  void reset(T value = T{}) {
    T old = std::exchange(value_, value);
    if (old != T{}) Close(old);
  }

 private:
  T value_{};
};

}  // namespace framework
