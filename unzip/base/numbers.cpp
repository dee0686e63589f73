// PercentOf in extended precision, so that the 64-bit operands keep all their digits.
#include "unzip/base/numbers.h"

#include <cmath>
#include <limits>

int64_t PercentOf(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  // The default rounding mode rounds halves to the even neighbour.
  const long double percent =
      std::nearbyint(static_cast<long double>(done) * 100.0L / static_cast<long double>(total));
  if (percent >= 100.0L) return 100;
  constexpr int64_t kLowest = std::numeric_limits<int64_t>::min();
  if (percent <= static_cast<long double>(kLowest)) return kLowest;
  return static_cast<int64_t>(percent);
}
