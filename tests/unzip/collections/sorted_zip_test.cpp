// Tests of TSortedZip: the eight orders, the rate and size comparisons at their edges, the
// duplicate rules of the main list and its views, HasZip64Entries, and the one-pass build.
#include "unzip/collections/sorted_zip.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dos_date_rule.h"

namespace {

constexpr uint32_t Dos(uint32_t year, uint32_t month, uint32_t day, uint32_t hour = 0,
                       uint32_t minute = 0, uint32_t second = 0) {
  return platform::PackDosDateTime({year, month, day, hour, minute, second});
}

struct EntryValues {
  const char* path;  // split at the last "\" into Directory and FileName
  uint32_t dos = 0;
  uint64_t compressed = 0;
  uint64_t uncompressed = 0;
  uint32_t disk = 0;
  uint64_t offset = 0;
};

std::unique_ptr<TZipHeaderInfo> MakeEntry(const EntryValues& s) {
  auto e = std::make_unique<TZipHeaderInfo>();
  const std::string path = s.path;
  const size_t slash = path.rfind('\\');
  e->SetDirectory(slash == std::string::npos ? "" : path.substr(0, slash + 1));
  e->SetFileName(slash == std::string::npos ? path : path.substr(slash + 1));
  e->DosDateTime = s.dos;
  e->SetCompressedSize64(s.compressed);
  e->SetUncompressedSize64(s.uncompressed);
  e->SetDiskNumberStart32(s.disk);
  e->SetLocalHeaderOffset64(s.offset);
  return e;
}

std::vector<std::string> Paths(const TSortedZip& list) {
  std::vector<std::string> paths;
  for (int i = 0; i < list.Count(); ++i) paths.push_back(list[i]->Directory + list[i]->FileName);
  return paths;
}

std::string ListErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EListError& e) {
    return e.Message();
  }
  return "(no error)";
}

TEST(SortedZipTest, EachOrderOfAViewThatAcceptsEqualEntries) {
  const struct {
    TZipSortMode mode;
    std::vector<EntryValues> added;
    std::vector<std::string> expected;
  } cases[] = {
      // The whole path is one text: "a\z" sorts after "a\b\c"; a prefix sorts first.
      {ByName,
       {{"b\\a"}, {"zeta"}, {"B\\A_"}, {"a\\z"}, {"a\\b\\c"}},
       {"a\\b\\c", "a\\z", "b\\a", "B\\A_", "zeta"}},
      // a-z fold to upper case, so "_" sorts after the letters; other bytes by value.
      {ByFileName,
       {{"z\\a_"}, {"AB"}, {"x\\\xC3\xA4"}, {"\xC3\x84"}, {"b"}},
       {"AB", "z\\a_", "b", "\xC3\x84", "x\\\xC3\xA4"}},
      {ByDirectoryName, {{"x\\1"}, {"2"}, {"X\\y\\3"}, {"W\\4"}}, {"2", "W\\4", "x\\1", "X\\y\\3"}},
      // Newest first; equal dates keep the order of adding; 0 and 31 February count as 0.
      {ByDate,
       {{"old", Dos(2020, 1, 1)},
        {"new", Dos(2024, 6, 1, 12)},
        {"zero", 0},
        {"old2", Dos(2020, 1, 1)},
        {"feb31", Dos(2021, 2, 31)},
        {"older", Dos(2019, 12, 31, 23, 59, 58)}},
       {"new", "old", "old2", "older", "zero", "feb31"}},
      // Largest first by the low 32 bits; equal sizes keep the order of adding.
      {ByCompressedSize,
       {{"c100", 0, 100}, {"c5", 0, 5}, {"c5wide", 0, 0x100000005}, {"c200", 0, 200}},
       {"c200", "c100", "c5", "c5wide"}},
      {ByUnCompressedSize, {{"u1", 0, 0, 1}, {"u3", 0, 0, 3}, {"u2", 0, 0, 2}}, {"u3", "u2", "u1"}},
      // Least compressed first; an equal rate goes before the entries already there.
      {ByRate,
       {{"half", 0, 50, 100},
        {"eighth", 0, 1, 8},
        {"grown", 0, 200, 100},
        {"empty", 0, 5, 0},
        {"thirteen", 0, 13, 100},
        {"twelve", 0, 3, 25}},
       {"grown", "half", "thirteen", "twelve", "eighth", "empty"}},
      // Archive order: part, then local header offset (both through their 64-bit values).
      {ByNone,
       {{"p1", 0, 0, 0, 1, 0},
        {"b", 0, 0, 0, 0, 500},
        {"z64", 0, 0, 0, 0, 0x100000000},
        {"a", 0, 0, 0, 0, 20},
        {"far", 0, 0, 0, 0x10000, 0}},
       {"a", "b", "z64", "p1", "far"}},
  };
  for (const auto& c : cases) {
    TSortedZip list(DupAccept, true);
    list.SortMode = c.mode;
    for (const EntryValues& s : c.added) list.Add(MakeEntry(s).release());
    EXPECT_EQ(Paths(list), c.expected) << "mode " << int{c.mode};
  }
}

TEST(SortedZipTest, SizeOrdersUseTheLow32BitDifferenceAsSigned) {
  const struct {
    uint64_t item, key;
    int expected;
  } cases[] = {
      {5, 6, 1},           {6, 5, -1},          {5, 5, -1},          {0, 0x7FFFFFFF, 1},
      {0, 0x80000000, -1}, {0x80000000, 0, -1}, {0x100000005, 6, 1}, {0xFFFFFFFF, 0, 1},
  };
  for (TZipSortMode mode : {ByCompressedSize, ByUnCompressedSize}) {
    TSortedZip list(DupAccept, true);
    list.SortMode = mode;
    for (const auto& c : cases) {
      const EntryValues item =
          mode == ByCompressedSize ? EntryValues{"i", 0, c.item} : EntryValues{"i", 0, 0, c.item};
      const EntryValues key =
          mode == ByCompressedSize ? EntryValues{"k", 0, c.key} : EntryValues{"k", 0, 0, c.key};
      EXPECT_EQ(list.Compare(MakeEntry(item).get(), MakeEntry(key).get()), c.expected)
          << int{mode} << ": " << c.item << " vs " << c.key;
    }
  }
}

TEST(SortedZipTest, CompressionRateRoundsHalvesToEvenAndCapsAt100) {
  const struct {
    uint64_t compressed, uncompressed;
    int rate;
  } cases[] = {
      {0, 0, 0},
      {5, 0, 0},
      {0, 7, 0},
      {1, 8, 12},
      {3, 8, 38},
      {1, 40, 2},
      {7, 40, 18},
      {1, 3, 33},
      {2, 3, 67},
      {100, 100, 100},
      {200, 100, 100},
      {UINT64_MAX - 1, UINT64_MAX, 100},
      {1ull << 62, 1ull << 63, 50},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompressionRate(c.compressed, c.uncompressed), c.rate)
        << c.compressed << " / " << c.uncompressed;
  }
}

TEST(SortedZipTest, MainListRefusesASecondEntryAtTheSameOffset) {
  TSortedZip entries(DupError, true);
  entries.Add(MakeEntry({"first", 0, 0, 0, 0, 100}).release());
  auto second = MakeEntry({"second", 0, 0, 0, 0, 100});
  EXPECT_EQ(ListErrorOf([&] { entries.Add(second.get()); }), "Duplicate Object index");
  EXPECT_EQ(Paths(entries), std::vector<std::string>{"first"});
  // Another part at the same offset is a different entry.
  entries.Add(MakeEntry({"other part", 0, 0, 0, 1, 100}).release());
  EXPECT_EQ(entries.Count(), 2);
}

TEST(SortedZipTest, EqualDatesAreNeverDuplicates) {
  TSortedZip view(DupError, true);
  view.SortMode = ByDate;
  for (const char* name : {"one", "two", "three"}) {
    view.Add(MakeEntry({name, Dos(2001, 2, 3)}).release());
  }
  EXPECT_EQ(Paths(view), (std::vector<std::string>{"one", "two", "three"}));
  int index = -1;
  EXPECT_FALSE(view.Find(view[1], index));
}

TEST(SortedZipTest, ViewsShareTheEntriesOfTheMainList) {
  TSortedZip entries(DupError, true);
  for (const EntryValues& s : {EntryValues{"b", 0, 0, 0, 0, 0}, EntryValues{"a", 0, 0, 0, 0, 10}}) {
    entries.Add(MakeEntry(s).release());
  }
  TSortedZip byName(DupAccept, false);
  byName.SortMode = ByName;
  for (int i = 0; i < entries.Count(); ++i) byName.Add(entries[i]);
  EXPECT_EQ(Paths(byName), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(byName[0], entries[1]);
  // Each entry is freed once, by the main list (the sanitizer build checks this).
}

TEST(SortedZipTest, HasZip64EntriesFollowsAddedEntries) {
  TSortedZip entries(DupError, true);
  EXPECT_EQ(entries.SortMode, ByNone);
  EXPECT_FALSE(entries.HasZip64Entries);
  entries.Add(MakeEntry({"small", 0, 10, 10, 0, 0}).release());
  EXPECT_FALSE(entries.HasZip64Entries);
  entries.Insert(0, MakeEntry({"large", 0, 10, 0x100000000, 0, 1}).release());
  EXPECT_TRUE(entries.HasZip64Entries);
}

// Entries with ties in every order (names differing in case, equal dates, sizes and rates), in
// an order of their own, so that a one-pass build meets items out of order.
std::vector<EntryValues> MixedEntries() {
  std::vector<EntryValues> values;
  const char* names[] = {"b\\x", "A\\x", "a\\X", "c", "B\\y", "a\\x"};
  for (int i = 0; i < 36; ++i) {
    const auto k = static_cast<uint32_t>((i * 7) % 36);
    values.push_back({names[k % 6], Dos(2000 + k % 3, 1, 1), 10 + k % 4, 40 + (k % 2) * 10, k % 2,
                      static_cast<uint64_t>(1000 - 10 * k)});
  }
  return values;
}

TEST(SortedZipTest, AOnePassBuildGivesTheOrderOfSingleInsertions) {
  const std::vector<EntryValues> values = MixedEntries();
  std::vector<std::unique_ptr<TZipHeaderInfo>> owned;
  for (const EntryValues& v : values) owned.push_back(MakeEntry(v));
  for (const TZipSortMode mode : {ByName, ByFileName, ByDirectoryName, ByDate, ByCompressedSize,
                                  ByUnCompressedSize, ByRate, ByNone}) {
    SCOPED_TRACE(static_cast<int>(mode));
    TSortedZip single(DupAccept, false);
    TSortedZip bulk(DupAccept, false);
    single.SortMode = bulk.SortMode = mode;
    for (const auto& e : owned) single.Add(e.get());
    {
      const TBulkAdd<TZipHeaderInfo> build(bulk);
      for (const auto& e : owned) bulk.Add(e.get());
    }
    ASSERT_EQ(bulk.Count(), single.Count());
    for (int i = 0; i < single.Count(); ++i) EXPECT_EQ(bulk[i], single[i]) << i;
  }
}

TEST(SortedZipTest, AOnePassBuildRefusesADuplicateWhenItIsAdded) {
  // In order, reversed, and with the duplicate before or after the order breaks.
  const std::vector<std::vector<uint64_t>> offsets = {
      {10, 20, 30, 20, 40}, {40, 30, 20, 30, 10}, {10, 30, 20, 30, 5}, {30, 10, 30}};
  for (const std::vector<uint64_t>& row : offsets) {
    TSortedZip entries(DupError, true);
    int refusedAt = -1;
    {
      const TBulkAdd<TZipHeaderInfo> build(entries);
      for (size_t i = 0; i < row.size() && refusedAt < 0; ++i) {
        auto entry = MakeEntry({"e", 0, 0, 0, 0, row[i]});
        EXPECT_EQ(ListErrorOf([&] { entries.Add(entry.get()); }),
                  i == 3 || (row.size() == 3 && i == 2) ? "Duplicate Object index" : "(no error)");
        if (entries.Count() == static_cast<int>(i)) refusedAt = static_cast<int>(i);
        if (refusedAt < 0) (void)entry.release();  // the list owns it now
      }
    }
    EXPECT_EQ(refusedAt, row.size() == 3 ? 2 : 3);
    // What was added before the duplicate stands in archive order.
    for (int i = 1; i < entries.Count(); ++i) {
      EXPECT_LT(entries[i - 1]->GetLocalHeaderOffset64(), entries[i]->GetLocalHeaderOffset64());
    }
  }
  TSortedZip ignoring(DupIgnore, false);
  const auto first = MakeEntry({"e", 0, 0, 0, 0, 20});
  const auto second = MakeEntry({"e", 0, 0, 0, 0, 10});
  const auto again = MakeEntry({"e", 0, 0, 0, 0, 20});
  const TBulkAdd<TZipHeaderInfo> build(ignoring);
  ignoring.Add(first.get());
  ignoring.Add(second.get());
  EXPECT_EQ(ignoring.Add(again.get()), -1);
}

}  // namespace
