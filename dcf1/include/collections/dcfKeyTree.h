#pragma once
// dcfKeyTree: an intrusive AVL tree keyed by a fixed-size byte string (a 16-byte PMKID, a
// 6-byte MAC address), compared byte by byte as unsigned values. An entry carries one hook
// per tree it sits in, so one entry can be indexed by several keys at once. Entries with
// equal keys keep the newest first. The tree owns no entry; inserting and erasing allocate
// nothing.
//
//   struct Entry { std::uint8_t pmkid[16]; dcfKeyTreeHook byPmkid; ... };
//   dcfKeyTree<Entry, 16, &Entry::byPmkid, &Entry::pmkid> tree;
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <collections/detail/dcfAvlCore.h>

struct dcfKeyTreeHook {
  dcfKeyTreeHook* parent = nullptr;
  dcfKeyTreeHook* left = nullptr;
  dcfKeyTreeHook* right = nullptr;
  std::uint8_t isRightChild = 0;
  std::int8_t balance = 0;
  void* entry = nullptr;  // the entry that embeds this hook, set when it is inserted

  bool IsLinked() const { return parent != nullptr; }
};

template <class Entry, std::size_t KeySize, dcfKeyTreeHook Entry::*Hook,
          std::uint8_t (Entry::*Key)[KeySize]>
class dcfKeyTree {
public:
  dcfKeyTree() { header_.parent = &header_; }
  dcfKeyTree(const dcfKeyTree&) = delete;
  dcfKeyTree& operator=(const dcfKeyTree&) = delete;
  // Owns no entry and does not touch them when it goes (they may be gone already).
  ~dcfKeyTree() = default;

  bool Empty() const { return header_.left == nullptr; }

  // Links an entry (not yet in this tree) before the first entry whose key is not less.
  void Insert(Entry& entry) {
    dcfKeyTreeHook* hook = &(entry.*Hook);
    hook->entry = &entry;
    hook->left = hook->right = nullptr;
    hook->balance = 0;
    dcfKeyTreeHook* next = LowerBoundHook(entry.*Key);
    if (next == nullptr) {
      if (header_.left == nullptr) {
        dcfAvl::SetChild(&header_, false, hook);
      } else {
        dcfAvl::SetChild(dcfAvl::Rightmost(header_.left), true, hook);
      }
    } else if (next->left != nullptr) {
      dcfAvl::SetChild(dcfAvl::Rightmost(next->left), true, hook);
    } else {
      dcfAvl::SetChild(next, false, hook);
    }
    dcfAvl::RebalanceAfterInsert(hook);
  }

  // The first entry (in order) whose key equals key, else null.
  Entry* Find(const std::uint8_t* key) const {
    bool exact = false;
    Entry* entry = LowerBound(key, exact);
    return exact ? entry : nullptr;
  }

  // The first entry whose key is not less than key (null when all are less); exact tells
  // whether that entry's key equals key.
  Entry* LowerBound(const std::uint8_t* key, bool& exact) const {
    dcfKeyTreeHook* hook = LowerBoundHook(key);
    exact = hook != nullptr && Compare(key, KeyOf(hook)) == 0;
    return hook != nullptr ? EntryOf(hook) : nullptr;
  }

  // Unlinks an entry of this tree; an entry that is not linked is left alone.
  void Erase(Entry& entry) { dcfAvl::Erase(&(entry.*Hook)); }

  // Unlinks every entry.
  void Clear() {
    dcfAvl::ClearSubtree(header_.left);
    header_.left = nullptr;
  }

  // In-order iteration: First, then Next until null.
  Entry* First() const {
    return header_.left != nullptr ? EntryOf(dcfAvl::Leftmost(header_.left)) : nullptr;
  }
  Entry* Next(Entry& entry) const {
    dcfKeyTreeHook* next = dcfAvl::Successor(&(entry.*Hook));
    return dcfAvl::IsHeader(next) ? nullptr : EntryOf(next);
  }

  const dcfKeyTreeHook* Root() const { return header_.left; }

private:
  static Entry* EntryOf(dcfKeyTreeHook* hook) { return static_cast<Entry*>(hook->entry); }
  static const std::uint8_t* KeyOf(dcfKeyTreeHook* hook) { return EntryOf(hook)->*Key; }
  static int Compare(const std::uint8_t* a, const std::uint8_t* b) {
    return std::memcmp(a, b, KeySize);
  }

  dcfKeyTreeHook* LowerBoundHook(const std::uint8_t* key) const {
    dcfKeyTreeHook* found = nullptr;
    dcfKeyTreeHook* n = header_.left;
    while (n != nullptr) {
      if (Compare(key, KeyOf(n)) <= 0) {
        found = n;
        n = n->left;
      } else {
        n = n->right;
      }
    }
    return found;
  }

  dcfKeyTreeHook header_;
};
