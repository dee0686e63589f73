// Entries whose data overlaps the data of an entry before them, however many small entries lie
// between (the decoys of a zip bomb), and entries that only touch or lie in other parts.
#include "unzip/overlapping_entries.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(OverlappingEntries, AnEntryInsideAnyEarlierEntryIsFoundWhateverLiesBetween) {
  struct Case {
    const char* what;
    std::vector<TEntrySpan> spans;  // in central directory order
    std::vector<bool> overlapping;
  };
  const Case cases[] = {
      {"side by side", {{0, 0, 100}, {0, 100, 50}, {0, 150, 10}}, {false, false, false}},
      {"one inside the one before", {{0, 0, 100}, {0, 60, 100}}, {false, true}},
      {"decoy between", {{0, 0, 1000}, {0, 10, 5}, {0, 20, 1000}}, {false, true, true}},
      // Small entries that lie side by side after the large one hide nothing either.
      {"decoys side by side",
       {{0, 0, 1000}, {0, 900, 5}, {0, 905, 5}, {0, 910, 5}, {0, 915, 2000}},
       {false, true, true, true, true}},
      {"decoy first in the directory",
       {{0, 20, 1000}, {0, 10, 5}, {0, 0, 1000}},
       {true, true, false}},
      {"other part", {{0, 0, 1000}, {1, 10, 5}, {1, 20, 5}}, {false, false, false}},
      {"end past 2^64", {{0, 10, UINT64_MAX}, {0, 5000, 1}}, {false, true}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindOverlappingEntries(c.spans), c.overlapping) << c.what;
  }
}

}  // namespace
