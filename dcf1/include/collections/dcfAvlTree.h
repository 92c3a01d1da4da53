#pragma once
// dcfAvlTree: an order-statistic AVL tree used as an indexed list. Items embed (derive from)
// dcfAvlNode, are appended in order and addressed by position through the subtree counts.
// The tree is intrusive: appending and erasing allocate nothing, and the tree owns no item.
#include <cstdint>

struct dcfAvlNode {
  std::uint32_t leftCount = 0;  // nodes in the left subtree
  dcfAvlNode* parent = nullptr;
  dcfAvlNode* left = nullptr;
  dcfAvlNode* right = nullptr;
  std::uint8_t isRightChild = 0;
  std::int8_t balance = 0;  // right height minus left height: -1..1 at rest

  bool IsLinked() const { return parent != nullptr; }
};

class dcfAvlTree {
public:
  dcfAvlTree() { header_.parent = &header_; }
  dcfAvlTree(const dcfAvlTree&) = delete;
  dcfAvlTree& operator=(const dcfAvlTree&) = delete;
  // Owns no item and does not touch them when it goes (they may be gone already).
  ~dcfAvlTree() = default;

  // The header: its left child is the root and its leftCount the number of items.
  dcfAvlNode* Header() { return &header_; }
  dcfAvlNode* Root() const { return header_.left; }
  std::uint32_t Count() const { return header_.leftCount; }

  // Links an unlinked node as the new last item.
  void AppendNode(dcfAvlNode* node);
  // Unlinks an item; the others keep their order. An unlinked node is left alone.
  void Erase(dcfAvlNode* node);
  // The next item in order: from Header() the first; after the last item, Header().
  dcfAvlNode* Successor(dcfAvlNode* node);
  // The item at a position (0-based), or null past the end.
  dcfAvlNode* At(std::uint32_t position) const;
  // Unlinks every node of the subtree under node (node included); frees nothing.
  void ClearSubtree(dcfAvlNode* node);
  // Unlinks every item.
  void Clear();

private:
  dcfAvlNode header_;
};
