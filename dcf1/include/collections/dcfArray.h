#pragma once
// dcfArray: a growable array {data, length, capacity} of plain values, moved with raw memory
// copies. The growth rule: to cover n elements, a capacity of 0 becomes n, any other
// capacity doubles until it covers n. Shrinking never reallocates.
//
// A wiping array (SecureByteArray, SecureCharArray) zeroes the elements in use before its
// storage is released or abandoned, and the elements it drops when it shrinks, so no byte
// beyond the length ever holds data. Copies of a wiping array wipe too.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <type_traits>

#include <dcf/dcfException.h>
#include <dcf/dcfSourceFiles.h>
#include <dcf/dcfWipe.h>

template <class T>
class dcfArray {
  static_assert(std::is_trivially_copyable_v<T>, "dcfArray moves its elements as raw bytes");

public:
  dcfArray() = default;
  dcfArray(const dcfArray& other) : wipes_(other.wipes_) { Assign(other.data_, other.length_); }
  dcfArray(dcfArray&& other) noexcept
      : data_(other.data_), length_(other.length_), capacity_(other.capacity_),
        wipes_(other.wipes_) {
    other.data_ = nullptr;
    other.length_ = other.capacity_ = 0;
  }
  dcfArray& operator=(const dcfArray& other) {
    if (this != &other) {
      wipes_ = wipes_ || other.wipes_;
      Assign(other.data_, other.length_);
    }
    return *this;
  }
  dcfArray& operator=(dcfArray&& other) noexcept {
    if (this != &other) {
      Clear();
      wipes_ = wipes_ || other.wipes_;
      data_ = other.data_;
      length_ = other.length_;
      capacity_ = other.capacity_;
      other.data_ = nullptr;
      other.length_ = other.capacity_ = 0;
    }
    return *this;
  }
  ~dcfArray() { Clear(); }

  T* Data() { return data_; }
  const T* Data() const { return data_; }
  std::uint32_t Length() const { return length_; }
  std::uint32_t Capacity() const { return capacity_; }
  bool Empty() const { return length_ == 0; }
  bool Wipes() const { return wipes_; }
  T& operator[](std::uint32_t i) { return data_[i]; }
  const T& operator[](std::uint32_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + length_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + length_; }

  // Frees the block (wiping the elements in use first for a wiping array).
  void Clear() {
    Release(data_, length_);
    data_ = nullptr;
    length_ = capacity_ = 0;
  }

  // Applies the growth rule for n elements; the length stays.
  void Reserve(std::uint32_t n) { Grow(n, nullptr); }

  // Shrinks (a wiping array zeroes the dropped elements) or grows to n elements; grown
  // elements are zero.
  void Resize(std::uint32_t n) {
    if (n <= length_) {
      if (wipes_) dcfWipe(data_ + n, Bytes(length_ - n));
    } else {
      Grow(n, nullptr);
      std::memset(data_ + length_, 0, Bytes(n - length_));
    }
    length_ = n;
  }

  // Copies n elements after the last; returns the new length. The source may lie inside
  // this array.
  std::uint32_t Append(const T* source, std::uint32_t n) {
    if (n == 0) return length_;
    if (n > UINT32_MAX - length_) throw std::bad_alloc();
    T* old = nullptr;
    const bool aliases = Aliases(source);
    const std::size_t aliasOffset = aliases ? static_cast<std::size_t>(source - data_) : 0;
    Grow(length_ + n, &old);
    if (aliases && old != nullptr) source = old + aliasOffset;  // the block moved
    std::memmove(data_ + length_, source, Bytes(n));
    if (old != nullptr) Release(old, length_);
    length_ += n;
    return length_;
  }

  // Replaces the contents by n elements from source (which may lie inside this array).
  void Assign(const T* source, std::uint32_t n) {
    if (Aliases(source)) {
      std::memmove(data_, source, Bytes(n));
      if (wipes_ && n < length_) dcfWipe(data_ + n, Bytes(length_ - n));
      length_ = n;
      return;
    }
    if (wipes_) dcfWipe(data_, Bytes(length_));
    length_ = 0;
    if (n == 0) return;
    Grow(n, nullptr);
    std::memcpy(data_, source, Bytes(n));
    length_ = n;
  }

  // Takes ownership of a malloc'ed block of n elements: length = capacity = n.
  void Attach(T* block, std::uint32_t n) {
    Clear();
    data_ = block;
    length_ = capacity_ = block != nullptr ? n : 0;
  }

  // For arrays of object pointers: the object at index i. An index past the end or a null
  // element throws dcfRangeException.
  std::remove_pointer_t<T>& Ref(std::uint32_t i) const
    requires std::is_pointer_v<T>
  {
    if (i >= length_ || data_[i] == nullptr) {
      dcfThrowRangeException(dcfRangeException("attempt to get reference of NULL object"), 604,
                             dcfSourceFile::kArray);
    }
    return *data_[i];
  }

protected:
  struct Wiping {};
  explicit dcfArray(Wiping) : wipes_(true) {}

  // For forms that write into the reserved block directly: n must not exceed the capacity.
  void SetLength(std::uint32_t n) { length_ = n <= capacity_ ? n : capacity_; }

private:
  static std::size_t Bytes(std::size_t n) { return n * sizeof(T); }

  bool Aliases(const T* p) const {
    return data_ != nullptr && !std::less<const T*>()(p, data_) &&
           std::less<const T*>()(p, data_ + capacity_);
  }

  // Frees a block whose first `used` elements may hold data.
  void Release(T* block, std::uint32_t used) const {
    if (block == nullptr) return;
    if (wipes_) dcfWipe(block, Bytes(used));
    std::free(block);
  }

  // The growth rule. With keepOld, the old block is handed back instead of being released
  // (the caller still copies from it).
  void Grow(std::uint32_t n, T** keepOld) {
    if (capacity_ >= n) return;
    std::uint32_t capacity = capacity_;
    if (capacity == 0) {
      capacity = n;
    } else {
      while (capacity < n) capacity = capacity > UINT32_MAX / 2 ? n : capacity * 2;
    }
    T* block = static_cast<T*>(std::malloc(Bytes(capacity)));
    if (block == nullptr) throw std::bad_alloc();
    if (length_ != 0) std::memcpy(block, data_, Bytes(length_));
    if (keepOld != nullptr) {
      *keepOld = data_;
    } else {
      Release(data_, length_);
    }
    data_ = block;
    capacity_ = capacity;
  }

  T* data_ = nullptr;
  std::uint32_t length_ = 0;
  std::uint32_t capacity_ = 0;
  bool wipes_ = false;
};

using dcfCharArray = dcfArray<char>;
using dcfU32Array = dcfArray<std::uint32_t>;

// The wiping char array that holds pass phrases.
class SecureCharArray : public dcfArray<char> {
public:
  SecureCharArray() : dcfArray<char>(Wiping{}) {}
  void Free() { Clear(); }
};
