#include <collections/dcfList.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Entry : dcfListNode {
  explicit Entry(int v) : value(v) {}
  int value;
};

std::vector<int> Values(const dcfList& list) {
  std::vector<int> values;
  for (dcfListNode* n = list.First(); n != nullptr; n = list.Next(n)) {
    values.push_back(static_cast<Entry*>(n)->value);
  }
  return values;
}

TEST(List, InsertAfterHeadKeepsTheNewestFirst) {
  dcfList list;
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(list.First(), nullptr);
  Entry a(1), b(2), c(3);
  list.InsertAfter(list.Head(), &a);
  list.InsertAfter(list.Head(), &b);
  list.InsertAfter(&b, &c);
  EXPECT_EQ(Values(list), (std::vector<int>{2, 3, 1}));
  c.Unlink();
  EXPECT_FALSE(c.IsLinked());
  c.Unlink();  // not linked: nothing happens
  EXPECT_EQ(Values(list), (std::vector<int>{2, 1}));
  a.Unlink();
  b.Unlink();
  EXPECT_TRUE(list.Empty());
}

TEST(List, ErasingTheHeadIsARangeError) {
  dcfList list;
  Entry a(1);
  list.InsertAfter(list.Head(), &a);
  try {
    list.Erase(list.Head());
    FAIL();
  } catch (const dcfRangeException& e) {
    EXPECT_STREQ(e.Frame(0).message,
                 "<no message> exception was default constructed without a message");
    EXPECT_EQ(e.Frame(0).line, 526);
    EXPECT_STREQ(e.Frame(0).file, dcfSourceFile::kList);
  }
  list.Erase(&a);
  EXPECT_TRUE(list.Empty());
}

}  // namespace
