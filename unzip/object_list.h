// TObjectList: a growable array of object references that may own its items, the base of the
// archive component's entry collections.
#pragma once

#include <algorithm>
#include <memory>
#include <string>

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

// Items are plain pointers. When OwnsObjects is true the list deletes its items when it is
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
    if (newCapacity == capacity_) return;
    std::unique_ptr<T*[]> items;
    if (newCapacity > 0) {
      items = std::make_unique<T*[]>(static_cast<size_t>(newCapacity));
      std::copy(items_.get(), items_.get() + count_, items.get());
    }
    items_ = std::move(items);
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
    for (int i = 0; i < count_; ++i) {
      if (items_[i] == item) return i;
    }
    return -1;
  }

  // Empties the list and releases its storage. Items are NOT deleted, even by an owning list.
  void Clear() {
    items_.reset();
    count_ = 0;
    capacity_ = 0;
  }

  bool OwnsObjects;

 protected:
  int InsertAt(int index, T* item) {
    if (index < 0 || index > count_) RaiseListIndexError(index);
    if (count_ == capacity_) SetCapacity(NextListCapacity(capacity_));
    std::copy_backward(items_.get() + index, items_.get() + count_, items_.get() + count_ + 1);
    items_[index] = item;
    ++count_;
    return index;
  }

  void CheckIndex(int index) const {
    if (index < 0 || index >= count_) RaiseListIndexError(index);
  }

 private:
  std::unique_ptr<T*[]> items_;
  int count_ = 0;
  int capacity_ = 0;
};
