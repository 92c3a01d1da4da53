#pragma once
// Holds one reference of a reference-counted object (anything with AddRef and Release).
// Empty is null.

template <class T>
class dcfComPtr {
public:
  dcfComPtr() = default;
  // Takes a reference of its own.
  explicit dcfComPtr(T* pointer) { Assign(pointer); }
  dcfComPtr(const dcfComPtr& other) { Assign(other.pointer_); }
  dcfComPtr(dcfComPtr&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
  dcfComPtr& operator=(const dcfComPtr& other) {
    Assign(other.pointer_);
    return *this;
  }
  dcfComPtr& operator=(dcfComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      pointer_ = other.pointer_;
      other.pointer_ = nullptr;
    }
    return *this;
  }
  ~dcfComPtr() { Reset(); }

  // References the new pointer before releasing the old one, so assigning the pointer
  // already held keeps the object alive.
  void Assign(T* pointer) {
    if (pointer != nullptr) pointer->AddRef();
    T* old = pointer_;
    pointer_ = pointer;
    if (old != nullptr) old->Release();
  }

  void Reset() {
    T* old = pointer_;
    pointer_ = nullptr;
    if (old != nullptr) old->Release();
  }

  // Adopts a reference the caller already owns.
  void Attach(T* pointer) {
    T* old = pointer_;
    pointer_ = pointer;
    if (old != nullptr) old->Release();
  }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  T& operator*() const { return *pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

private:
  T* pointer_ = nullptr;
};
