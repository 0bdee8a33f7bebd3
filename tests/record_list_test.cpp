// SPDX-License-Identifier: MIT
#include "records/record_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace k8map {
namespace {

struct Pair {
  std::string name;
  std::uint32_t value;
  bool operator==(const Pair&) const = default;
};

std::vector<Pair> Walk(RecordList& list) {
  std::vector<Pair> pairs;
  std::uint32_t value = 0;
  const char* name = nullptr;
  for (int r = First(list, &value, &name); r == 0; r = Next(list, &value, &name)) {
    pairs.push_back({name, value});
  }
  return pairs;
}

std::vector<Pair> Chain(const RecordList& list) {
  std::vector<Pair> pairs;
  for (const SymbolRecord* r = Head(list); r != nullptr; r = r->next)
    pairs.push_back({r->name, r->value});
  return pairs;
}

void Add(RecordList& list, const std::string& name, std::uint32_t value) {
  ASSERT_EQ(Append(list, name.data(), name.size(), value), 0);
}

TEST(RecordList, EmptyListWritesNothing) {
  RecordList list;
  EXPECT_EQ(Count(list), 0);
  EXPECT_EQ(Head(list), nullptr);
  std::uint32_t value = 7;
  const char* name = "untouched";
  EXPECT_EQ(First(list, &value, &name), 1);
  EXPECT_EQ(Next(list, &value, &name), 1);
  EXPECT_EQ(value, 7u);
  EXPECT_STREQ(name, "untouched");
}

TEST(RecordList, OneRecordThenEnd) {
  RecordList list;
  Add(list, "main", 0x1000);
  std::uint32_t value = 0;
  const char* name = nullptr;
  EXPECT_EQ(First(list, &value, &name), 0);
  EXPECT_EQ(value, 0x1000u);
  EXPECT_STREQ(name, "main");
  EXPECT_EQ(Next(list, &value, &name), 1);
  FreeAll(list);
}

TEST(RecordList, NextBeforeFirstFindsNothing) {
  RecordList list;
  Add(list, "a", 1);
  EXPECT_EQ(Next(list, nullptr, nullptr), 1);
  EXPECT_EQ(First(list, nullptr, nullptr), 0) << "null out slots are simply not written";
  FreeAll(list);
}

TEST(RecordList, KeepsDuplicatesInAppendOrderAndItsOwnCopies) {
  RecordList list;
  std::string name = "dup";
  Add(list, name, 2);
  Add(list, "zero", 0);
  Add(list, name, 1);
  name[0] = 'X';  // the caller's text is the caller's
  std::vector<Pair> expected{{"dup", 2}, {"zero", 0}, {"dup", 1}};
  EXPECT_EQ(Walk(list), expected);
  EXPECT_EQ(Chain(list), expected);
  EXPECT_EQ(Count(list), 3);
  FreeAll(list);
}

TEST(RecordList, SecondBatchFollowsTheFirst) {
  RecordList list;
  Add(list, "a", 1);
  Add(list, "b", 2);
  Add(list, "c", 3);
  EXPECT_EQ(Walk(list), (std::vector<Pair>{{"a", 1}, {"b", 2}, {"c", 3}}));
  EXPECT_EQ(Count(list), 3);
  FreeAll(list);
}

TEST(RecordList, FreeAllEmptiesAndALaterAppendStartsAfresh) {
  RecordList list;
  for (int i = 0; i < 50000; ++i)
    Add(list, "name" + std::to_string(i), static_cast<std::uint32_t>(i));
  EXPECT_EQ(Count(list), 50000);
  EXPECT_EQ(Chain(list).back(), (Pair{"name49999", 49999}));
  FreeAll(list);
  EXPECT_EQ(Count(list), 0);
  EXPECT_EQ(Head(list), nullptr);
  EXPECT_EQ(First(list, nullptr, nullptr), 1);
  Add(list, "again", 9);
  EXPECT_EQ(Walk(list), (std::vector<Pair>{{"again", 9}}));
  FreeAll(list);
}

TEST(RecordList, AppendDuringIterationIsReachedUnlessTheCursorHasEnded) {
  RecordList list;
  Add(list, "a", 1);
  std::uint32_t value = 0;
  const char* name = nullptr;
  ASSERT_EQ(First(list, &value, &name), 0);
  Add(list, "b", 2);  // the cursor was null: it never reaches b
  EXPECT_EQ(Next(list, &value, &name), 1);

  ASSERT_EQ(First(list, &value, &name), 0);  // cursor at b
  Add(list, "c", 3);
  ASSERT_EQ(Next(list, &value, &name), 0);
  EXPECT_STREQ(name, "b");
  ASSERT_EQ(Next(list, &value, &name), 0);
  EXPECT_STREQ(name, "c");
  FreeAll(list);
}

TEST(RecordList, PaddedNamesAreCopiedWithoutWhatFollowsThem) {
  RecordList list;
  char text[64];
  std::memset(text, 'z', sizeof text);
  std::memcpy(text, "short", 5);
  ASSERT_EQ(AppendPadded(list, text, 5, 1), 0);
  ASSERT_EQ(AppendPadded(list, text, 0, 2), 0);
  ASSERT_EQ(AppendPadded(list, text, 40, 3), 0);  // longer than one block
  ASSERT_EQ(Append(list, "after", 5, 4), 0);
  EXPECT_EQ(Walk(list),
            (std::vector<Pair>{
                {"short", 1}, {"", 2}, {"short" + std::string(35, 'z'), 3}, {"after", 4}}));
  FreeAll(list);
}

int g_allocations = 0;
int g_fail_at = 0;
void* CountingAllocator(std::size_t size) {
  return ++g_allocations == g_fail_at ? nullptr : std::malloc(size);
}

TEST(RecordList, RefusedMemoryLeavesTheListUnchanged) {
  for (int fail_at : {1, 2}) {  // the node arena's chunk, then the name arena's
    g_allocations = 0;
    g_fail_at = fail_at;
    RecordList list;
    list.source.allocate = CountingAllocator;
    EXPECT_EQ(Append(list, "lost", 4, 1), -1) << fail_at;
    EXPECT_EQ(Count(list), 0);
    EXPECT_EQ(Head(list), nullptr);
    EXPECT_EQ(Append(list, "kept", 4, 2), 0);
    EXPECT_EQ(Walk(list), (std::vector<Pair>{{"kept", 2}}));
    FreeAll(list);
  }
}

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(SymbolRecord) == 12);
static_assert(offsetof(SymbolRecord, name) == 0);
static_assert(offsetof(SymbolRecord, value) == 4);
static_assert(offsetof(SymbolRecord, next) == 8);
#endif

}  // namespace
}  // namespace k8map
