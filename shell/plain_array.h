// Growing arrays in memory of their own (malloc), for values that are plain bytes. The
// standard containers would do the same, but their failure paths throw, and the exception
// runtime they bring needs calls that the oldest systems this program runs on lack. When
// memory runs out an array stays failed, so that the caller can say so rather than go on
// with part of its data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

template <typename T>
class PlainArray {
  static_assert(std::is_trivially_copyable<T>::value, "values are moved as bytes");

 public:
  PlainArray() = default;
  ~PlainArray() { std::free(items_); }
  PlainArray(const PlainArray& other) { *this = other; }
  PlainArray& operator=(const PlainArray& other) {
    if (this != &other) {
      clear();
      failed_ = other.failed_;
      Append(other.items_, other.size_);
    }
    return *this;
  }
  PlainArray(PlainArray&& other) noexcept { swap(other); }
  PlainArray& operator=(PlainArray&& other) noexcept {
    swap(other);
    return *this;
  }

  bool push_back(const T& item) { return Append(&item, 1); }
  bool Append(const T* items, std::size_t count) { return Insert(size_, items, count); }
  // Puts `count` items before the one at `at`.
  bool Insert(std::size_t at, const T* items, std::size_t count) {
    if (!Reserve(size_ + count)) return false;
    if (count == 0) return true;
    std::memmove(items_ + at + count, items_ + at, (size_ - at) * sizeof(T));
    std::memcpy(items_ + at, items, count * sizeof(T));
    size_ += count;
    return true;
  }
  // Shortens the array, or lengthens it with zero bytes.
  bool Resize(std::size_t size) {
    if (size > size_) {
      if (!Reserve(size)) return false;
      std::memset(static_cast<void*>(items_ + size_), 0, (size - size_) * sizeof(T));
    }
    size_ = size;
    return true;
  }
  bool Reserve(std::size_t capacity) {
    if (failed_) return false;
    if (capacity <= capacity_) return true;
    std::size_t grown = capacity_ < 16 ? 16 : capacity_ * 2;
    if (grown < capacity) grown = capacity;
    void* items = grown <= SIZE_MAX / sizeof(T) ? std::realloc(items_, grown * sizeof(T)) : nullptr;
    if (!items) {
      failed_ = true;
      return false;
    }
    items_ = static_cast<T*>(items);
    capacity_ = grown;
    return true;
  }
  void clear() {
    size_ = 0;
    failed_ = false;
  }
  void swap(PlainArray& other) noexcept {
    Swap(items_, other.items_);
    Swap(size_, other.size_);
    Swap(capacity_, other.capacity_);
    Swap(failed_, other.failed_);
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  bool failed() const { return failed_; }
  T* data() { return items_; }
  const T* data() const { return items_; }
  T& operator[](std::size_t i) { return items_[i]; }
  const T& operator[](std::size_t i) const { return items_[i]; }
  T& back() { return items_[size_ - 1]; }
  const T& back() const { return items_[size_ - 1]; }
  T* begin() { return items_; }
  T* end() { return items_ + size_; }
  const T* begin() const { return items_; }
  const T* end() const { return items_ + size_; }

 private:
  template <typename V>
  static void Swap(V& a, V& b) {
    V kept = a;
    a = b;
    b = kept;
  }

  T* items_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool failed_ = false;
};

// A text of bytes that grows, always ended by a zero byte that its size does not count.
class PlainText {
 public:
  PlainText() = default;
  explicit PlainText(const char* text) { Add(text); }
  bool Add(const char* text) { return Add(text, std::strlen(text)); }
  bool Add(const char* text, std::size_t length) {
    if (!bytes_.Reserve(bytes_.size() + length + 1)) return false;
    if (!bytes_.empty()) bytes_.Resize(bytes_.size() - 1);
    bytes_.Append(text, length);
    return bytes_.push_back('\0');
  }
  void Shorten(std::size_t length) {
    if (length < size()) {
      bytes_.Resize(length);
      bytes_.push_back('\0');
    }
  }
  std::size_t size() const { return bytes_.empty() ? 0 : bytes_.size() - 1; }
  bool empty() const { return size() == 0; }
  bool failed() const { return bytes_.failed(); }
  const char* c_str() const { return bytes_.empty() ? "" : bytes_.data(); }
  const char* data() const { return c_str(); }

 private:
  PlainArray<char> bytes_;
};

// A fixed number of values of any kind, made once, in memory of their own; `ok()` says
// whether there was memory for them.
template <typename T>
class PlainSlots {
 public:
  explicit PlainSlots(std::size_t count) {
    if (count == 0) return;
    void* memory = count <= SIZE_MAX / sizeof(T) ? std::malloc(count * sizeof(T)) : nullptr;
    if (!memory) {
      ok_ = false;
      return;
    }
    items_ = static_cast<T*>(memory);
    for (; count_ < count; ++count_) new (items_ + count_) T();
  }
  ~PlainSlots() {
    for (std::size_t i = 0; i < count_; ++i) items_[i].~T();
    std::free(items_);
  }
  PlainSlots(const PlainSlots&) = delete;
  PlainSlots& operator=(const PlainSlots&) = delete;

  bool ok() const { return ok_; }
  std::size_t size() const { return count_; }
  T& operator[](std::size_t i) { return items_[i]; }
  T* begin() { return items_; }
  T* end() { return items_ + count_; }

 private:
  T* items_ = nullptr;
  std::size_t count_ = 0;
  bool ok_ = true;
};
