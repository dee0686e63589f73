// The dictionary memory of the shrunk, reduced and imploded decoders: allocated once per
// extraction run and taken over by whichever of them decodes the current entry.
#pragma once

#include <cstdint>
#include <variant>

// LZW tables of shrunk data. A prefix of kShrinkFreeCode marks a free code.
struct TShrinkTables {
  static constexpr uint16_t kShrinkFreeCode = 0xFFFF;
  uint16_t Prefix[8193];
  uint8_t Suffix[8192];
  uint8_t Stack[8192];     // a string is built backwards from the end
  uint8_t IsPrefix[8192];  // a partial clearing's notes: which codes some defined code extends
  uint8_t Pending[16384];  // decoded strings not yet handed to the run
};

// Window and follower sets of reduced data. A set holds at most 63 bytes; its 64th slot makes an
// index read with 6 bits always land inside the set's storage.
struct TReduceTables {
  uint8_t Window[16384];
  uint8_t Followers[256][64];
  uint8_t FollowerCount[256];
};

// Window of imploded data.
struct TExplodeTables {
  uint8_t Window[32768];
};

// Each decoder starts an entry with `Tables.emplace<...>()`, which zeroes its tables: the zero
// bytes are what copies from before the start of the data must yield.
struct TOlderMethodsMemory {
  std::variant<std::monostate, TShrinkTables, TReduceTables, TExplodeTables> Tables;
};
