// TObjectList: a growable array of object references that may own its items, the base of the
// archive component's entry collections.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"

// The largest capacity a list may have, in items.
inline constexpr int kMaxListSize = 0x1FFFFFFE;

// The capacity a full list of `capacity` items grows to: up to 4 grows by 4, 5 to 8 by 8, larger
// by the square root of the capacity rounded to nearest (0, 4, 8, 16, 20, 24, 29, 34, ...). The
// result may exceed kMaxListSize; SetCapacity refuses it.
int NextListCapacity(int capacity);

// Raise EListError "List index out of bounds (<index>)" / "List capacity out of bounds (<n>)".
[[noreturn]] void RaiseListIndexError(int index);
[[noreturn]] void RaiseListCapacityError(int capacity);

// Items are plain pointers. Capacity follows the growth rule above; the storage behind it grows
// geometrically, so that a list of n items costs O(n) copying, not O(n^1.5).
//
// When OwnsObjects is true the list deletes its items when it is
// destroyed and when Put replaces one; Clear never deletes them (their owner must then be someone
// else). The list itself cannot be copied.
template <typename T>
class TObjectList {
 public:
  explicit TObjectList(bool ownsObjects = true) : OwnsObjects(ownsObjects) {}
  virtual ~TObjectList() {
    if (OwnsObjects) {
      for (int i = 0; i < count_; ++i) delete items_[i];
    }
  }
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }

  // Raises "List capacity out of bounds" for a capacity below Count or above kMaxListSize.
  void SetCapacity(int newCapacity) {
    if (newCapacity < count_ || newCapacity > kMaxListSize) RaiseListCapacityError(newCapacity);
    const auto wanted = static_cast<size_t>(newCapacity);
    if (wanted > items_.capacity()) {
      items_.reserve(std::max(wanted, 2 * items_.capacity()));
    } else if (newCapacity == 0) {
      items_.shrink_to_fit();
    }
    capacity_ = newCapacity;
  }

  T* Items(int index) const {
    CheckIndex(index);
    return items_[index];
  }
  T* operator[](int index) const { return Items(index); }
  T* First() const { return Items(0); }
  T* Last() const { return Items(count_ - 1); }

  // Replaces the item at `index`; an owning list deletes the item it replaces.
  virtual void Put(int index, T* item) {
    CheckIndex(index);
    T* old = items_[index];
    items_[index] = item;
    if (OwnsObjects && old != item) delete old;
  }

  // Appends `item`; returns its index.
  virtual int Add(T* item) { return InsertAt(count_, item); }

  // Inserts `item` at `index` (0..Count); later items move up by one. Returns the index.
  virtual int Insert(int index, T* item) { return InsertAt(index, item); }

  // Linear search by identity; -1 when absent.
  virtual int IndexOf(const T* item) const {
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
  }

  // Empties the list and releases its storage. Items are NOT deleted, even by an owning list.
  void Clear() {
    items_.clear();
    items_.shrink_to_fit();
    count_ = 0;
    capacity_ = 0;
  }

  bool OwnsObjects;

 protected:
  // Puts the items in the order of `before` (a strict weak order), keeping the arrival order of
  // items that tie, or its reverse with `reverseTies`. Raises nothing: without memory for a
  // buffer the merge works in place.
  template <typename Before>
  void ReorderItems(bool reverseTies, Before before) {
    if (reverseTies) std::reverse(items_.begin(), items_.end());
    std::stable_sort(items_.begin(), items_.end(), before);
  }

  int InsertAt(int index, T* item) {
    if (index < 0 || index > count_) RaiseListIndexError(index);
    if (count_ == capacity_) SetCapacity(NextListCapacity(capacity_));
    items_.insert(items_.begin() + index, item);
    ++count_;
    return index;
  }

  void CheckIndex(int index) const {
    if (index < 0 || index >= count_) RaiseListIndexError(index);
  }

 private:
  std::vector<T*> items_;
  int count_ = 0;
  int capacity_ = 0;
};
