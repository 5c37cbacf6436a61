// A fixed-capacity, always terminated string. assign() and append() report
// false and leave the text unchanged when the result would not fit, so every
// write into a fixed-size buffer is bounded; the compiler insists that the
// caller looks at the answer.
#pragma once

#include <cstddef>

namespace qx {

template <typename Char>
inline size_t TextLength(const Char* s) {
  size_t n = 0;
  if (s) while (s[n]) ++n;
  return n;
}

template <typename Char, size_t Capacity>
class FixedString {
  static_assert(Capacity > 0, "room for the terminator");

 public:
  FixedString() { buffer_[0] = 0; }
  FixedString(const FixedString&) = delete;
  FixedString& operator=(const FixedString&) = delete;

  static constexpr size_t capacity() { return Capacity; }
  size_t length() const { return length_; }
  bool empty() const { return length_ == 0; }
  const Char* get() const { return buffer_; }
  Char operator[](size_t i) const { return buffer_[i]; }

  [[nodiscard]] bool assign(const Char* text) { return assign(text, TextLength(text)); }
  [[nodiscard]] bool assign(const Char* text, size_t count) {
    if (count >= Capacity) return false;
    for (size_t i = 0; i < count; ++i) buffer_[i] = text[i];
    length_ = count;
    buffer_[length_] = 0;
    return true;
  }

  [[nodiscard]] bool append(const Char* text) { return append(text, TextLength(text)); }
  [[nodiscard]] bool append(const Char* text, size_t count) {
    if (count >= Capacity - length_) return false;
    for (size_t i = 0; i < count; ++i) buffer_[length_ + i] = text[i];
    length_ += count;
    buffer_[length_] = 0;
    return true;
  }
  [[nodiscard]] bool append(Char c) { return append(&c, 1); }

  // Cuts the text back to |count| characters; longer counts change nothing.
  void truncate(size_t count) {
    if (count < length_) {
      length_ = count;
      buffer_[length_] = 0;
    }
  }
  void clear() { truncate(0); }

  // For platform calls that fill the buffer themselves: the caller passes
  // capacity() and then commit()s the length the call reported. A length that
  // reaches the capacity means the call did not fit and is refused.
  Char* writable() { return buffer_; }
  bool commit(size_t count) {
    if (count >= Capacity) {
      clear();
      return false;
    }
    length_ = count;
    buffer_[length_] = 0;
    return true;
  }

 private:
  Char buffer_[Capacity];
  size_t length_ = 0;
};

}  // namespace qx
