#include <collections/dcfArray.h>
#include <collections/dcfByteArray.h>
#include <collections/dcfWideArray.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One step of a growth scenario and the capacity and length it must leave.
struct GrowthStep {
  enum Op { kResize, kAppend, kReserve, kAssign } op;
  std::uint32_t n;
  std::uint32_t capacity;
  std::uint32_t length;
};

TEST(Array, GrowthRuleTable) {
  const std::vector<GrowthStep> steps = {
      {GrowthStep::kResize, 5, 5, 5},     // from empty: exactly the request
      {GrowthStep::kAppend, 1, 10, 6},    // doubled once
      {GrowthStep::kAppend, 20, 40, 26},  // doubled until it covers 26
      {GrowthStep::kReserve, 3, 40, 26},  // already covered: nothing changes
      {GrowthStep::kResize, 2, 40, 2},    // shrinking keeps the block
      {GrowthStep::kAssign, 41, 80, 41},  // assign uses the same rule
      {GrowthStep::kReserve, 500, 640, 41},
  };
  dcfU32Array array;
  std::vector<std::uint32_t> source(600, 7);
  for (const GrowthStep& step : steps) {
    switch (step.op) {
      case GrowthStep::kResize: array.Resize(step.n); break;
      case GrowthStep::kAppend: array.Append(source.data(), step.n); break;
      case GrowthStep::kReserve: array.Reserve(step.n); break;
      case GrowthStep::kAssign: array.Assign(source.data(), step.n); break;
    }
    EXPECT_EQ(array.Capacity(), step.capacity) << "op " << step.op << " n " << step.n;
    EXPECT_EQ(array.Length(), step.length) << "op " << step.op << " n " << step.n;
  }
  array.Clear();
  EXPECT_EQ(array.Data(), nullptr);
  EXPECT_EQ(array.Capacity(), 0u);
  EXPECT_EQ(array.Length(), 0u);
}

TEST(Array, KeepsContentsAcrossGrowthAndAppendReturnsTheLength) {
  dcfByteArray bytes;
  EXPECT_EQ(bytes.Append(reinterpret_cast<const std::uint8_t*>("abc"), 3), 3u);
  EXPECT_EQ(bytes.AppendString("defgh"), 8u);
  EXPECT_EQ(bytes.AppendString(nullptr), 8u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcdefgh");
  bytes.ResizeFill(10, 0xEE);
  EXPECT_EQ(bytes[8], 0xEE);
  EXPECT_EQ(bytes[9], 0xEE);
  bytes.Assign(nullptr, 0);
  EXPECT_EQ(bytes.Length(), 0u);
  EXPECT_NE(bytes.Data(), nullptr);  // assigning nothing keeps the block
}

TEST(Array, SourcesInsideTheArrayAreSafe) {
  dcfByteArray bytes;
  bytes.AppendString("0123");
  ASSERT_EQ(bytes.Capacity(), 4u);
  bytes.Append(bytes.Data(), bytes.Length());  // grows while copying from itself
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "01230123");
  bytes.Assign(bytes.Data() + 2, 4);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "2301");
}

TEST(Array, ReferenceToANullOrMissingObjectThrowsRange) {
  int value = 5;
  dcfArray<int*> pointers;
  int* items[] = {&value, nullptr};
  pointers.Assign(items, 2);
  EXPECT_EQ(&pointers.Ref(0), &value);
  for (std::uint32_t index : {1u, 2u}) {
    try {
      pointers.Ref(index);
      FAIL() << index;
    } catch (const dcfRangeException& e) {
      EXPECT_STREQ(e.Frame(0).message, "attempt to get reference of NULL object");
      EXPECT_EQ(e.Frame(0).line, 604);
      EXPECT_STREQ(e.Frame(0).file, dcfSourceFile::kArray);
    }
  }
}

TEST(Array, AttachAdoptsAHeapBlock) {
  auto* block = static_cast<std::uint8_t*>(std::malloc(6));
  std::memcpy(block, "secret", 6);
  SecureByteArray key;
  key.Attach(block, 6);
  EXPECT_EQ(key.Length(), 6u);
  EXPECT_EQ(key.Capacity(), 6u);
  EXPECT_EQ(key.Data(), block);
}  // freed (and wiped) by the array

// The wiping forms: look at the block the array keeps while shrinking, and check that copies
// of a wiping array wipe too.
TEST(SecureArray, ShrinkingAndAssigningZeroTheDroppedBytes) {
  SecureByteArray key;
  const std::uint8_t ten[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  key.Assign(ten, 10);
  const std::uint8_t* block = key.Data();
  key.Resize(4);
  EXPECT_EQ(key.Data(), block);
  for (int i = 4; i < 10; ++i) EXPECT_EQ(block[i], 0) << i;
  EXPECT_EQ(block[3], 4);

  key.Assign(ten, 2);  // the four bytes in use are zeroed before the copy
  EXPECT_EQ(block[2], 0);
  EXPECT_EQ(block[3], 0);

  dcfByteArray plain;
  plain.Assign(ten, 10);
  plain.Resize(4);
  EXPECT_EQ(plain.Data()[9], 10);  // the plain form leaves them

  dcfByteArray copy(key);
  EXPECT_TRUE(copy.Wipes());
  dcfByteArray assigned;
  assigned = key;
  EXPECT_TRUE(assigned.Wipes());
  SecureCharArray passphrase;
  EXPECT_TRUE(passphrase.Wipes());
}

TEST(SecureArray, FreeEmptiesTheArray) {
  SecureByteArray key;
  key.AppendString("pmk");
  key.Free();
  EXPECT_EQ(key.Data(), nullptr);
  EXPECT_EQ(key.Length(), 0u);
  EXPECT_EQ(key.Capacity(), 0u);
}

TEST(WideArray, OwnedPointersInsertedAsCopiesShareOneOwner) {
  OwnedWideArrayVector vector;
  OwnedWideArrayPtr source(new dcfWideArray);
  source->AssignUtf8("x");
  vector.Insert(0, 3, source);
  ASSERT_EQ(vector.Size(), 3u);
  EXPECT_FALSE(source.Owns());
  int owners = 0;
  for (std::size_t i = 0; i < vector.Size(); ++i) {
    EXPECT_EQ(vector[i].Get(), source.Get());
    owners += vector[i].Owns();
  }
  EXPECT_EQ(owners, 1);  // deleted exactly once when the vector goes (ASan checks)
}

}  // namespace
