#pragma once
// dcfList: an intrusive doubly linked list. An entry embeds (derives from) dcfListNode; the
// list owns nothing, so unlinking never frees. The head is a node of the same shape: an
// empty list's head points at itself, and a node that is not linked has next == null.
#include <dcf/dcfException.h>
#include <dcf/dcfSourceFiles.h>

struct dcfListNode {
  dcfListNode* next = nullptr;
  dcfListNode* prev = nullptr;

  bool IsLinked() const { return next != nullptr; }

  // Removes the node from its list; a node that is not linked is left alone.
  void Unlink() {
    if (next == nullptr) return;
    prev->next = next;
    next->prev = prev;
    next = nullptr;
    prev = nullptr;
  }
};

class dcfList {
public:
  dcfList() { head_.next = head_.prev = &head_; }
  dcfList(const dcfList&) = delete;
  dcfList& operator=(const dcfList&) = delete;
  // The list owns no entry and does not touch them when it goes: entries may be gone
  // already. Unlink the ones that stay before the list is destroyed.
  ~dcfList() = default;

  dcfListNode* Head() { return &head_; }
  bool Empty() const { return head_.next == &head_; }

  // Links an unlinked node right after position; with Head() as position it becomes the
  // first element.
  void InsertAfter(dcfListNode* position, dcfListNode* node) {
    node->prev = position;
    node->next = position->next;
    position->next->prev = node;
    position->next = node;
  }

  // The first element, or null.
  dcfListNode* First() const { return Empty() ? nullptr : head_.next; }
  // The element after node, or null after the last.
  dcfListNode* Next(const dcfListNode* node) const {
    return node->next == &head_ ? nullptr : node->next;
  }

  // Unlinks an element. Erasing the head itself is a range error.
  void Erase(dcfListNode* node) {
    if (node == &head_) dcfThrowRangeException(dcfRangeException(), 526, dcfSourceFile::kList);
    node->Unlink();
  }

private:
  dcfListNode head_;
};
