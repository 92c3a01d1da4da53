#pragma once
// An owning pointer with an ownership flag: it deletes its object at destruction when it
// owns it. Copying or assigning hands the ownership over; the source keeps the pointer but no
// longer owns it. Assigning the pointer already held only merges the flag.

template <class T>
class dcfOwnedPtr {
public:
  dcfOwnedPtr() = default;
  explicit dcfOwnedPtr(T* pointer) : owns_(pointer != nullptr), pointer_(pointer) {}
  dcfOwnedPtr(const dcfOwnedPtr& other) : owns_(other.owns_), pointer_(other.pointer_) {
    other.owns_ = false;
  }
  dcfOwnedPtr& operator=(const dcfOwnedPtr& other) {
    if (this == &other) return *this;
    if (pointer_ != other.pointer_) {
      if (owns_) delete pointer_;
      owns_ = other.owns_;
    } else if (other.owns_) {
      owns_ = true;
    }
    pointer_ = other.pointer_;
    other.owns_ = false;
    return *this;
  }
  ~dcfOwnedPtr() {
    if (owns_) delete pointer_;
  }

  // Replaces the object: deletes the old one if owned and takes ownership of the new one.
  void Reset(T* pointer = nullptr) {
    if (owns_ && pointer != pointer_) delete pointer_;
    pointer_ = pointer;
    owns_ = pointer != nullptr;
  }
  // Gives up ownership and returns the pointer.
  T* Release() {
    owns_ = false;
    return pointer_;
  }

  T* Get() const { return pointer_; }
  bool Owns() const { return owns_; }
  T* operator->() const { return pointer_; }
  T& operator*() const { return *pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

private:
  mutable bool owns_ = false;  // mutable: copying hands it over, as the type promises
  T* pointer_ = nullptr;
};
