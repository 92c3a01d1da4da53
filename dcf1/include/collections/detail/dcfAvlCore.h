#pragma once
// The AVL algorithms shared by dcfAvlTree (with subtree counts) and dcfKeyTree (without).
// A node has parent, left, right, isRightChild and balance (height of the right subtree minus
// that of the left); a tree has a header node whose parent is itself and whose left child is
// the root. Nodes that also have leftCount (the size of their left subtree) keep it right
// through every link change; the header's leftCount is then the number of nodes.
#include <cstdint>

namespace dcfAvl {

template <class Node>
constexpr bool kCounts = requires(Node& n) { n.leftCount; };

template <class Node>
bool IsHeader(const Node* n) {
  return n->parent == n;
}

template <class Node>
void SetChild(Node* parent, bool right, Node* child) {
  (right ? parent->right : parent->left) = child;
  if (child != nullptr) {
    child->parent = parent;
    child->isRightChild = right;
  }
}

template <class Node>
Node* Leftmost(Node* n) {
  while (n->left != nullptr) n = n->left;
  return n;
}

template <class Node>
Node* Rightmost(Node* n) {
  while (n->right != nullptr) n = n->right;
  return n;
}

// In-order successor; from the header, the first node; after the last node, the header.
template <class Node>
Node* Successor(Node* n) {
  if (IsHeader(n)) return n->left != nullptr ? Leftmost(n->left) : n;
  if (n->right != nullptr) return Leftmost(n->right);
  while (n->isRightChild) n = n->parent;
  return n->parent;
}

template <class Node>
void RotateLeft(Node* q) {
  Node* r = q->right;
  Node* parent = q->parent;
  const bool side = q->isRightChild;
  SetChild(q, true, r->left);
  SetChild(r, false, q);
  SetChild(parent, side, r);
  if constexpr (kCounts<Node>) r->leftCount += q->leftCount + 1;
}

template <class Node>
void RotateRight(Node* q) {
  Node* l = q->left;
  Node* parent = q->parent;
  const bool side = q->isRightChild;
  SetChild(q, false, l->right);
  SetChild(l, true, q);
  SetChild(parent, side, l);
  if constexpr (kCounts<Node>) q->leftCount -= l->leftCount + 1;
}

// Restores balance at a node of balance +2 or -2. Returns the new root of the subtree;
// shorter tells whether the subtree lost height (it did unless the taller child was even).
template <class Node>
Node* Rotate(Node* p, bool& shorter) {
  if (p->balance > 0) {
    Node* r = p->right;
    if (r->balance < 0) {
      Node* m = r->left;
      const int mb = m->balance;
      RotateRight(r);
      RotateLeft(p);
      p->balance = mb > 0 ? -1 : 0;
      r->balance = mb < 0 ? 1 : 0;
      m->balance = 0;
      shorter = true;
      return m;
    }
    RotateLeft(p);
    shorter = r->balance != 0;
    p->balance = shorter ? 0 : 1;
    r->balance = shorter ? 0 : -1;
    return r;
  }
  Node* l = p->left;
  if (l->balance > 0) {
    Node* m = l->right;
    const int mb = m->balance;
    RotateLeft(l);
    RotateRight(p);
    p->balance = mb < 0 ? 1 : 0;
    l->balance = mb > 0 ? -1 : 0;
    m->balance = 0;
    shorter = true;
    return m;
  }
  RotateRight(p);
  shorter = l->balance != 0;
  p->balance = shorter ? 0 : -1;
  l->balance = shorter ? 0 : 1;
  return l;
}

// After a new leaf was linked: walk up adjusting balances until a balance becomes 0 or a
// rotation is made; with counts, keep walking to the header adding 1 to the leftCount of
// every node reached from its left child.
template <class Node>
void RebalanceAfterInsert(Node* node) {
  Node* child = node;
  Node* p = node->parent;
  bool rebalancing = true;
  while (!IsHeader(p)) {
    if constexpr (kCounts<Node>) {
      if (!child->isRightChild) ++p->leftCount;
    }
    if (rebalancing) {
      p->balance = static_cast<std::int8_t>(p->balance + (child->isRightChild ? 1 : -1));
      if (p->balance == 0) {
        rebalancing = false;
      } else if (p->balance == 2 || p->balance == -2) {
        bool shorter;
        p = Rotate(p, shorter);
        rebalancing = false;
      }
    }
    if (!rebalancing && !kCounts<Node>) return;
    child = p;
    p = p->parent;
  }
  if constexpr (kCounts<Node>) {
    if (!child->isRightChild) ++p->leftCount;  // the header: the root is its left child
  }
}

// After a leaf was cut from p (on the right side when fromRight): walk up while the subtree
// got shorter, rotating at +-2; with counts, keep walking to the header taking 1 from the
// leftCount of every node reached from its left child.
template <class Node>
void RebalanceAfterErase(Node* p, bool fromRight) {
  bool rebalancing = true;
  while (!IsHeader(p)) {
    Node* next = p->parent;
    bool nextFromRight = p->isRightChild;
    if constexpr (kCounts<Node>) {
      if (!fromRight) --p->leftCount;
    }
    if (rebalancing) {
      p->balance = static_cast<std::int8_t>(p->balance + (fromRight ? -1 : 1));
      if (p->balance == 1 || p->balance == -1) {
        rebalancing = false;  // the subtree kept its height
      } else if (p->balance == 2 || p->balance == -2) {
        bool shorter;
        Node* top = Rotate(p, shorter);
        next = top->parent;
        nextFromRight = top->isRightChild;
        rebalancing = shorter;
      }
    }
    if (!rebalancing && !kCounts<Node>) return;
    p = next;
    fromRight = nextFromRight;
  }
  if constexpr (kCounts<Node>) {
    if (!fromRight) --p->leftCount;
  }
}

// moved takes over the whole place of gone: counts, links, side and balance.
template <class Node>
void RelinkNode(Node* moved, Node* gone) {
  if constexpr (kCounts<Node>) moved->leftCount = gone->leftCount;
  moved->balance = gone->balance;
  SetChild(gone->parent, gone->isRightChild, moved);
  SetChild(moved, false, gone->left);
  SetChild(moved, true, gone->right);
}

// Unlinks x. The node that is physically cut is always a leaf: x itself, its only child, or,
// for two children, its in-order successor s (or s's right child, which then takes s's
// place). After rebalancing, the moved nodes take over the places of the nodes they replace.
template <class Node>
void Erase(Node* x) {
  if (x->parent == nullptr) return;  // not linked
  Node* successor = nullptr;
  Node* leaf = x;
  if (x->left != nullptr && x->right != nullptr) {
    successor = Leftmost(x->right);
    leaf = successor->right != nullptr ? successor->right : successor;
  } else if (x->left != nullptr || x->right != nullptr) {
    leaf = x->left != nullptr ? x->left : x->right;
  }
  Node* p = leaf->parent;
  const bool fromRight = leaf->isRightChild;
  (fromRight ? p->right : p->left) = nullptr;
  RebalanceAfterErase(p, fromRight);

  if (successor != nullptr) {
    if (leaf != successor) RelinkNode(leaf, successor);
    RelinkNode(successor, x);
  } else if (leaf != x) {
    RelinkNode(leaf, x);
  }
  x->parent = x->left = x->right = nullptr;
  x->balance = 0;
  x->isRightChild = 0;
  if constexpr (kCounts<Node>) x->leftCount = 0;
}

// Unlinks every node of the subtree (post-order); each node's links are cleared.
template <class Node>
void ClearSubtree(Node* n) {
  if (n == nullptr) return;
  ClearSubtree(n->left);
  ClearSubtree(n->right);
  n->left = n->right = n->parent = nullptr;
  n->balance = 0;
  n->isRightChild = 0;
  if constexpr (kCounts<Node>) n->leftCount = 0;
}

}  // namespace dcfAvl
