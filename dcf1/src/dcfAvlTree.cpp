#include <collections/dcfAvlTree.h>
#include <collections/detail/dcfAvlCore.h>

void dcfAvlTree::AppendNode(dcfAvlNode* node) {
  node->leftCount = 0;
  node->balance = 0;
  node->left = node->right = nullptr;
  if (header_.left == nullptr) {
    dcfAvl::SetChild(&header_, false, node);
  } else {
    dcfAvl::SetChild(dcfAvl::Rightmost(header_.left), true, node);
  }
  dcfAvl::RebalanceAfterInsert(node);
}

void dcfAvlTree::Erase(dcfAvlNode* node) { dcfAvl::Erase(node); }

dcfAvlNode* dcfAvlTree::Successor(dcfAvlNode* node) { return dcfAvl::Successor(node); }

dcfAvlNode* dcfAvlTree::At(std::uint32_t position) const {
  dcfAvlNode* n = header_.left;
  while (n != nullptr) {
    if (position < n->leftCount) {
      n = n->left;
    } else if (position == n->leftCount) {
      return n;
    } else {
      position -= n->leftCount + 1;
      n = n->right;
    }
  }
  return nullptr;
}

void dcfAvlTree::ClearSubtree(dcfAvlNode* node) { dcfAvl::ClearSubtree(node); }

void dcfAvlTree::Clear() {
  dcfAvl::ClearSubtree(header_.left);
  header_.left = nullptr;
  header_.leftCount = 0;
}
