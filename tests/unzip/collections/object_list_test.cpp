// Tests of TObjectList and TSortedObjectList: growth, ownership, index errors, the binary search
// and the duplicate policies.
#include "unzip/collections/object_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "unzip/collections/sorted_object_list.h"

namespace {

// An item that counts its own destruction, to see who deletes what.
struct Item {
  Item(int key, int tag, int* deaths) : key(key), tag(tag), deaths(deaths) {}
  ~Item() { ++*deaths; }
  int key;
  int tag;
  int* deaths;
};

class SortedItems : public TSortedObjectList<Item> {
 public:
  using TSortedObjectList<Item>::TSortedObjectList;
  int Compare(const Item* item, const Item* key) const override { return item->key - key->key; }
};

template <typename F>
std::string ListErrorOf(F&& f) {
  try {
    f();
  } catch (const EListError& e) {
    return e.Message();
  }
  return "(no error)";
}

std::vector<int> Tags(const TObjectList<Item>& list) {
  std::vector<int> tags;
  for (int i = 0; i < list.Count(); ++i) tags.push_back(list[i]->tag);
  return tags;
}

TEST(ObjectListTest, GrowsOneItemAtATimeThroughTheDocumentedCapacities) {
  int deaths = 0;
  std::vector<int> capacities;
  {
    TObjectList<Item> list;
    for (int i = 0; i < 35; ++i) {
      list.Add(new Item(i, i, &deaths));
      if (capacities.empty() || capacities.back() != list.Capacity()) {
        capacities.push_back(list.Capacity());
      }
    }
    EXPECT_EQ(list.Count(), 35);
    EXPECT_EQ(list.First()->tag, 0);
    EXPECT_EQ(list.Last()->tag, 34);
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 16, 20, 24, 29, 34, 40}));
  EXPECT_EQ(deaths, 35);  // the owning list deleted every item
}

TEST(ObjectListTest, NextCapacityRoundsTheSquareRootToNearest) {
  const struct {
    int capacity, next;
  } cases[] = {{0, 4}, {4, 8}, {5, 13}, {8, 16}, {9, 12}, {30, 35}, {31, 37}, {1000000, 1001000}};
  for (const auto& c : cases) EXPECT_EQ(NextListCapacity(c.capacity), c.next) << c.capacity;
}

TEST(ObjectListTest, CapacityOutsideCountAndLimitIsRefused) {
  int deaths = 0;
  TObjectList<Item> list;
  list.Add(new Item(1, 1, &deaths));
  list.Add(new Item(2, 2, &deaths));
  EXPECT_EQ(ListErrorOf([&] { list.SetCapacity(kMaxListSize + 1); }),
            "List capacity out of bounds (536870911)");
  EXPECT_EQ(ListErrorOf([&] { list.SetCapacity(1); }), "List capacity out of bounds (1)");
  list.SetCapacity(2);
  EXPECT_EQ(list.Capacity(), 2);
  EXPECT_EQ(Tags(list), (std::vector<int>{1, 2}));
}

TEST(ObjectListTest, IndexErrorsNameTheIndex) {
  int deaths = 0;
  TObjectList<Item> list;
  EXPECT_EQ(ListErrorOf([&] { list.First(); }), "List index out of bounds (0)");
  EXPECT_EQ(ListErrorOf([&] { list.Last(); }), "List index out of bounds (-1)");
  list.Add(new Item(0, 0, &deaths));
  list.Add(new Item(1, 1, &deaths));
  Item spare(9, 9, &deaths);
  const struct {
    const char* what;
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {"get -1", [&] { list.Items(-1); }, "List index out of bounds (-1)"},
      {"get count", [&] { list.Items(2); }, "List index out of bounds (2)"},
      {"put count", [&] { list.Put(2, &spare); }, "List index out of bounds (2)"},
      {"insert -1", [&] { list.Insert(-1, &spare); }, "List index out of bounds (-1)"},
      {"insert count+1", [&] { list.Insert(3, &spare); }, "List index out of bounds (3)"},
  };
  for (const auto& c : cases) EXPECT_EQ(ListErrorOf(c.call), c.message) << c.what;
  EXPECT_EQ(list.Count(), 2);
}

TEST(ObjectListTest, InsertMovesLaterItemsAndIndexOfSearchesByIdentity) {
  int deaths = 0;
  TObjectList<Item> list;
  Item* a = new Item(0, 1, &deaths);
  Item* b = new Item(0, 2, &deaths);
  Item* c = new Item(0, 3, &deaths);
  EXPECT_EQ(list.Add(a), 0);
  EXPECT_EQ(list.Add(c), 1);
  EXPECT_EQ(list.Insert(1, b), 1);
  EXPECT_EQ(Tags(list), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(list.IndexOf(c), 2);
  Item stranger(0, 2, &deaths);
  EXPECT_EQ(list.IndexOf(&stranger), -1);
}

TEST(ObjectListTest, ClearReleasesStorageButNotTheItems) {
  int deaths = 0;
  auto a = std::make_unique<Item>(0, 1, &deaths);
  auto b = std::make_unique<Item>(0, 2, &deaths);
  TObjectList<Item> list;
  list.Add(a.get());
  list.Add(b.get());
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
  EXPECT_EQ(deaths, 0);
}

TEST(ObjectListTest, PutReplacesAndAnOwningListDeletesTheReplacedItem) {
  for (bool owns : {true, false}) {
    int deaths = 0;
    auto old = std::make_unique<Item>(0, 1, &deaths);
    auto replacement = std::make_unique<Item>(0, 2, &deaths);
    {
      TObjectList<Item> list(owns);
      list.Add(owns ? old.release() : old.get());
      list.Put(0, owns ? replacement.release() : replacement.get());
      EXPECT_EQ(list[0]->tag, 2);
      EXPECT_EQ(deaths, owns ? 1 : 0) << owns;
    }
    EXPECT_EQ(deaths, owns ? 2 : 0) << owns;
  }
}

// A list of keys; items added in this order carry their position as tag.
std::unique_ptr<SortedItems> Sorted(TDuplicates duplicates, std::vector<int> keys, int* deaths) {
  auto list = std::make_unique<SortedItems>(duplicates);
  for (size_t i = 0; i < keys.size(); ++i) {
    list->Add(new Item(keys[i], static_cast<int>(i), deaths));
  }
  return list;
}

TEST(SortedObjectListTest, FindGivesMatchOrInsertionPoint) {
  int deaths = 0;
  const struct {
    TDuplicates duplicates;
    int key;
    bool found;
    int index;
  } cases[] = {
      // keys 1 3 3 3 5 (DupAccept) and 1 3 5 (the others)
      {DupAccept, 0, false, 0}, {DupAccept, 1, true, 0},  {DupAccept, 3, true, 1},
      {DupAccept, 4, false, 4}, {DupAccept, 6, false, 5}, {DupError, 3, true, 1},
      {DupError, 4, false, 2},  {DupIgnore, 5, true, 2},  {DupIgnore, 6, false, 3},
  };
  auto accepting = Sorted(DupAccept, {3, 5, 3, 1, 3}, &deaths);
  auto unique = Sorted(DupError, {5, 1, 3}, &deaths);
  for (const auto& c : cases) {
    SortedItems* list = c.duplicates == DupAccept ? accepting.get() : unique.get();
    list->Duplicates = c.duplicates;
    Item key(c.key, -1, &deaths);
    int index = -7;
    EXPECT_EQ(list->Find(&key, index), c.found) << c.duplicates << " " << c.key;
    EXPECT_EQ(index, c.index) << c.duplicates << " " << c.key;
  }
}

TEST(SortedObjectListTest, DupAcceptInsertsBeforeTheEqualItems) {
  int deaths = 0;
  auto list = Sorted(DupAccept, {3, 5, 3, 1, 3}, &deaths);
  // Each new 3 goes before the earlier ones: tags 4, 2, 0.
  EXPECT_EQ(Tags(*list), (std::vector<int>{3, 4, 2, 0, 1}));
  Item key(3, -1, &deaths);
  EXPECT_EQ(list->IndexOf(&key), 1);  // the first equal item, whichever it is
  // Insert ignores the index it is given and keeps the order.
  EXPECT_EQ(list->Insert(0, new Item(4, 5, &deaths)), 4);
  EXPECT_EQ(Tags(*list), (std::vector<int>{3, 4, 2, 0, 5, 1}));
}

TEST(SortedObjectListTest, DuplicatePolicies) {
  for (TDuplicates duplicates : {DupIgnore, DupError}) {
    int deaths = 0;
    {
      auto list = Sorted(duplicates, {1, 2}, &deaths);
      auto twin = std::make_unique<Item>(2, 9, &deaths);
      if (duplicates == DupIgnore) {
        EXPECT_EQ(list->Add(twin.get()), -1);
      } else {
        EXPECT_EQ(ListErrorOf([&] { list->Add(twin.get()); }), "Duplicate Object index");
      }
      EXPECT_EQ(list->Count(), 2) << duplicates;
      EXPECT_EQ(deaths, 0) << duplicates;  // the refused item is still the caller's
    }
    EXPECT_EQ(deaths, 3) << duplicates;
  }
}

TEST(SortedObjectListTest, PutIsRefused) {
  int deaths = 0;
  auto list = Sorted(DupAccept, {1}, &deaths);
  Item spare(0, 0, &deaths);
  EXPECT_EQ(ListErrorOf([&] { list->Put(0, &spare); }), "Cannot <Put> an Object in a sorted list!");
  EXPECT_EQ(list->Items(0)->key, 1);
}

TEST(SortedObjectListTest, IndexOfAbsentKeyIsMinusOne) {
  int deaths = 0;
  auto list = Sorted(DupError, {1, 3}, &deaths);
  Item key(2, -1, &deaths);
  EXPECT_EQ(list->IndexOf(&key), -1);
}

}  // namespace
