#include <collections/dcfAvlTree.h>
#include <collections/dcfKeyTree.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// Checks every structural rule below n and returns the subtree's height: links agree with
// sides, balances are the height differences within -1..1, and (with counts) leftCount is
// the size of the left subtree.
template <class Node>
int CheckSubtree(const Node* n, const Node* parent, bool isRight, int& size) {
  if (n == nullptr) {
    size = 0;
    return 0;
  }
  EXPECT_EQ(n->parent, parent);
  EXPECT_EQ(static_cast<bool>(n->isRightChild), isRight);
  int leftSize = 0, rightSize = 0;
  const int lh = CheckSubtree<Node>(n->left, n, false, leftSize);
  const int rh = CheckSubtree<Node>(n->right, n, true, rightSize);
  EXPECT_EQ(n->balance, rh - lh);
  EXPECT_LE(std::abs(rh - lh), 1);
  if constexpr (requires { n->leftCount; }) {
    EXPECT_EQ(n->leftCount, static_cast<unsigned>(leftSize));
  }
  size = leftSize + rightSize + 1;
  return std::max(lh, rh) + 1;
}

struct Item : dcfAvlNode {
  explicit Item(int v) : value(v) {}
  int value;
};

void CheckTree(dcfAvlTree& tree, const std::vector<int>& expected) {
  int size = 0;
  CheckSubtree<dcfAvlNode>(tree.Root(), tree.Header(), false, size);
  EXPECT_EQ(tree.Count(), expected.size());
  EXPECT_EQ(size, static_cast<int>(expected.size()));
  std::vector<int> inOrder;
  for (dcfAvlNode* n = tree.Successor(tree.Header()); n != tree.Header(); n = tree.Successor(n)) {
    inOrder.push_back(static_cast<Item*>(n)->value);
  }
  EXPECT_EQ(inOrder, expected);
  for (std::uint32_t i = 0; i < expected.size(); ++i) {
    ASSERT_NE(tree.At(i), nullptr);
    EXPECT_EQ(static_cast<Item*>(tree.At(i))->value, expected[i]) << "position " << i;
  }
  EXPECT_EQ(tree.At(static_cast<std::uint32_t>(expected.size())), nullptr);
}

struct Built {
  std::vector<std::unique_ptr<Item>> items;
  dcfAvlTree tree;
  std::vector<int> order;
};

void Build(Built& b, int n) {
  for (int i = 0; i < n; ++i) {
    b.items.push_back(std::make_unique<Item>(i));
    b.tree.AppendNode(b.items.back().get());
    b.order.push_back(i);
  }
}

TEST(AvlTree, AppendingAThousandKeepsCountsAndBalance) {
  Built b;
  Build(b, 1000);
  EXPECT_EQ(b.tree.Header()->leftCount, 1000u);
  CheckTree(b.tree, b.order);
}

// Erase cases on appended trees. Appending 0..n-1 gives known shapes (written as
// root(left,right)); each row erases the listed items in turn (-1 = whatever is the root).
struct EraseCase {
  const char* name;
  int size;
  std::vector<int> victims;
};

void PrintTo(const EraseCase& c, std::ostream* os) { *os << c.name; }

class AvlErase : public ::testing::TestWithParam<EraseCase> {};

TEST_P(AvlErase, KeepsOrderCountsAndBalance) {
  const EraseCase& c = GetParam();
  Built b;
  Build(b, c.size);
  for (int victim : c.victims) {
    dcfAvlNode* node = victim < 0 ? b.tree.Root() : b.items[victim].get();
    const int value = static_cast<Item*>(node)->value;
    b.tree.Erase(node);
    EXPECT_FALSE(node->IsLinked());
    b.order.erase(std::find(b.order.begin(), b.order.end(), value));
    CheckTree(b.tree, b.order);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AvlErase,
    ::testing::Values(
        EraseCase{"OnlyItem", 1, {0}},
        // 1(0,2): two children, the successor is the right child itself
        EraseCase{"RootWithLeafSuccessor", 3, {1}},
        // 3(1(0,2),5(4,6)): the successor 4 is a leaf deeper in the right subtree
        EraseCase{"RootOfFullTree", 7, {3}},
        // 3(1(0,2),4(-,5)): the successor 4 has a right child, which takes its place
        EraseCase{"RootWhoseSuccessorHasARightChild", 6, {3}},
        // 3(1(0,2),4(-,5)): two children below the root
        EraseCase{"TwoChildrenBelowRoot", 6, {1}},
        // 1(0,2(-,3)): a node with one child
        EraseCase{"NodeWithOneChild", 4, {2}},
        // 1(0,2(-,3)): the root goes to +2 with a right-leaning child: single rotation
        EraseCase{"SingleRotationShortens", 4, {0}},
        // 1(0,3(2,4)): the root goes to +2 with an even child: rotation, height kept
        EraseCase{"RotationKeepsHeight", 5, {0}},
        // 1(0,3(2,-)) after erasing 4: the root goes to +2 with a left-leaning child
        EraseCase{"DoubleRotation", 5, {4, 0}},
        EraseCase{"LastItem", 9, {8}},
        EraseCase{"RootsOneAfterAnother", 20, {-1, -1, -1, -1, -1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AvlTree, ErasingEverythingInRandomOrderKeepsTheRules) {
  Built b;
  Build(b, 200);
  std::mt19937 random(7);
  std::vector<int> victims = b.order;
  std::shuffle(victims.begin(), victims.end(), random);
  for (int v : victims) {
    b.tree.Erase(b.items[v].get());
    b.order.erase(std::find(b.order.begin(), b.order.end(), v));
    CheckTree(b.tree, b.order);
    if (HasFailure()) return;
  }
  EXPECT_EQ(b.tree.Root(), nullptr);
}

TEST(AvlTree, AppendAfterEraseAndClear) {
  Built b;
  Build(b, 8);
  b.tree.Erase(b.items[3].get());
  b.tree.AppendNode(b.items[3].get());  // back in, now last
  CheckTree(b.tree, {0, 1, 2, 4, 5, 6, 7, 3});
  b.tree.Erase(b.items[3].get());
  b.tree.Erase(b.items[3].get());  // not linked any more: nothing happens
  CheckTree(b.tree, {0, 1, 2, 4, 5, 6, 7});
  b.tree.Clear();
  EXPECT_EQ(b.tree.Count(), 0u);
  EXPECT_EQ(b.tree.Successor(b.tree.Header()), b.tree.Header());
  for (auto& item : b.items) EXPECT_FALSE(item->IsLinked());
}

// dcfKeyTree, with one entry indexed by two keys of different sizes.
struct Entry {
  std::uint8_t pmkid[16];
  std::uint8_t mac[6];
  dcfKeyTreeHook byPmkid;
  dcfKeyTreeHook byMac;
  int id;
};

using PmkidTree = dcfKeyTree<Entry, 16, &Entry::byPmkid, &Entry::pmkid>;
using MacTree = dcfKeyTree<Entry, 6, &Entry::byMac, &Entry::mac>;

std::unique_ptr<Entry> MakeEntry(int id, std::uint8_t pmkidFirst, std::uint8_t macLast) {
  auto e = std::make_unique<Entry>();
  std::fill(std::begin(e->pmkid), std::end(e->pmkid), 0x11);
  e->pmkid[0] = pmkidFirst;
  std::fill(std::begin(e->mac), std::end(e->mac), 0x22);
  e->mac[5] = macLast;
  e->id = id;
  return e;
}

template <class Tree>
std::vector<int> Ids(const Tree& tree) {
  std::vector<int> ids;
  for (Entry* e = tree.First(); e != nullptr; e = tree.Next(*e)) ids.push_back(e->id);
  return ids;
}

TEST(KeyTree, EqualKeysGoBeforeOldOnesAndFindReturnsTheNewest) {
  PmkidTree tree;
  auto b1 = MakeEntry(1, 'B', 0), a = MakeEntry(2, 'A', 0), b2 = MakeEntry(3, 'B', 0);
  tree.Insert(*b1);
  tree.Insert(*a);
  tree.Insert(*b2);
  EXPECT_EQ(Ids(tree), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(tree.Find(b1->pmkid), b2.get());

  bool exact = true;
  std::uint8_t between[16];
  std::fill(std::begin(between), std::end(between), 0x11);
  between[0] = 'A';
  between[15] = 0x12;  // after A's key, before B's
  EXPECT_EQ(tree.LowerBound(between, exact), b2.get());
  EXPECT_FALSE(exact);
  EXPECT_EQ(tree.Find(between), nullptr);
  between[0] = 0xFF;  // greater than every key
  EXPECT_EQ(tree.LowerBound(between, exact), nullptr);
  EXPECT_FALSE(exact);
}

TEST(KeyTree, OneEntryInTwoTreesAndUnsignedByteOrder) {
  PmkidTree byPmkid;
  MacTree byMac;
  auto low = MakeEntry(1, 0x7F, 0xFF), high = MakeEntry(2, 0x80, 0x01);
  for (Entry* e : {low.get(), high.get()}) {
    byPmkid.Insert(*e);
    byMac.Insert(*e);
  }
  EXPECT_EQ(Ids(byPmkid), (std::vector<int>{1, 2}));  // 0x80 sorts after 0x7F (unsigned)
  EXPECT_EQ(Ids(byMac), (std::vector<int>{2, 1}));
  byPmkid.Erase(*low);
  EXPECT_EQ(Ids(byPmkid), (std::vector<int>{2}));
  EXPECT_EQ(byMac.Find(low->mac), low.get());  // still in the other tree
  byMac.Clear();
  EXPECT_TRUE(byMac.Empty());
  EXPECT_FALSE(high->byMac.IsLinked());
  EXPECT_TRUE(high->byPmkid.IsLinked());
}

TEST(KeyTree, RandomInsertsAndErasesMatchAMultimap) {
  PmkidTree tree;
  std::vector<std::unique_ptr<Entry>> entries;
  std::multimap<int, int> reference;  // key byte -> ids, newest first within a key
  std::mt19937 random(11);
  std::vector<Entry*> linked;
  for (int step = 0; step < 600; ++step) {
    if (linked.empty() || random() % 3 != 0) {
      const auto key = static_cast<std::uint8_t>(random() % 40);
      entries.push_back(MakeEntry(step, key, 0));
      tree.Insert(*entries.back());
      linked.push_back(entries.back().get());
      reference.emplace_hint(reference.lower_bound(key), key, step);
    } else {
      const std::size_t i = random() % linked.size();
      Entry* victim = linked[i];
      tree.Erase(*victim);
      linked.erase(linked.begin() + static_cast<std::ptrdiff_t>(i));
      for (auto it = reference.begin(); it != reference.end(); ++it) {
        if (it->second == victim->id) {
          reference.erase(it);
          break;
        }
      }
    }
    int size = 0;
    CheckSubtree<dcfKeyTreeHook>(tree.Root(), tree.Root() ? tree.Root()->parent : nullptr,
                                 false, size);
    std::vector<int> expected;
    for (const auto& [key, id] : reference) expected.push_back(id);
    ASSERT_EQ(Ids(tree), expected) << "step " << step;
  }
}

}  // namespace
