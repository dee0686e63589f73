// The non-template parts of TObjectList: the growth rule and the list errors.
#include "unzip/collections/object_list.h"

#include <cmath>

int NextListCapacity(int capacity) {
  if (capacity <= 4) return capacity + 4;
  if (capacity <= 8) return capacity + 8;
  // The square root of a whole number is never exactly halfway between two whole numbers, so
  // no tie-breaking rule is needed.
  return capacity + static_cast<int>(std::lround(std::sqrt(static_cast<double>(capacity))));
}

void RaiseListIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void RaiseListCapacityError(int capacity) {
  throw EListError("List capacity out of bounds (" + std::to_string(capacity) + ")");
}
