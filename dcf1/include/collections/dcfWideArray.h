#pragma once
// dcfWideArray: UTF-16 text converted from UTF-8, and the owning pointers that hold such
// arrays.
#include <vector>

#include <collections/dcfArray.h>
#include <dcf/dcfOwnedPtr.h>

class dcfWideArray : public dcfArray<char16_t> {
public:
  // Sets the array to the UTF-16 form of a NUL-terminated UTF-8 text (null = empty). The
  // conversion stops at an invalid sequence, keeping what came before; code points above
  // U+10FFFF become U+FFFD. The length counts the terminating 0, which is always written.
  void AssignUtf8(const char* text);
};

using OwnedWideArrayPtr = dcfOwnedPtr<dcfWideArray>;

// A sequence of owning pointers to wide arrays.
class OwnedWideArrayVector {
public:
  // Inserts n copies of value before position (clamped to the end). Copies are made one
  // after another from value, so ownership goes to the first copy and the others only
  // refer to the array.
  void Insert(std::size_t position, std::size_t n, const OwnedWideArrayPtr& value) {
    if (position > items_.size()) position = items_.size();
    std::vector<OwnedWideArrayPtr> copies;
    copies.reserve(n);
    for (std::size_t i = 0; i < n; ++i) copies.push_back(value);
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(position), copies.begin(),
                  copies.end());
  }

  std::size_t Size() const { return items_.size(); }
  OwnedWideArrayPtr& operator[](std::size_t i) { return items_[i]; }
  const OwnedWideArrayPtr& operator[](std::size_t i) const { return items_[i]; }
  void Clear() { items_.clear(); }

private:
  std::vector<OwnedWideArrayPtr> items_;
};
