// TSortedObjectList: an object list kept in the order of a comparison, with a binary search and
// a policy for items that compare equal to one already in the list.
#pragma once

#include <cstdint>

#include "unzip/collections/object_list.h"

enum TDuplicates : uint8_t { DupIgnore = 0, DupAccept = 1, DupError = 2 };

template <typename T>
class TSortedObjectList : public TObjectList<T> {
 public:
  explicit TSortedObjectList(TDuplicates duplicates, bool ownsObjects = true)
      : TObjectList<T>(ownsObjects), Duplicates(duplicates) {}

  // The key an item is compared by; the item itself unless a descendant says otherwise.
  virtual const T* KeyOf(const T* item) const { return item; }

  // Negative, 0 or positive as `item` sorts before, with or after `key`.
  virtual int Compare(const T* item, const T* key) const = 0;

  // Binary search for `key`. Returns whether an equal item exists; `index` is then its position,
  // otherwise the position where `key` would be inserted. Under DupAccept the search goes on to
  // the left, so `index` is the first of the equal items and a new one goes before them.
  virtual bool Find(const T* key, int& index) const {
    // Entries mostly arrive in order: a key above the last item goes at the end, as the search
    // below would also find.
    if (this->Count() > 0 && Compare(KeyOf(this->Items(this->Count() - 1)), key) < 0) {
      index = this->Count();
      return false;
    }
    int lo = 0;
    int hi = this->Count() - 1;
    bool found = false;
    while (lo <= hi) {
      const int mid = (lo + hi) / 2;  // Count is at most kMaxListSize: no overflow
      const int c = Compare(KeyOf(this->Items(mid)), key);
      if (c < 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (c == 0) {
          found = true;
          if (Duplicates != DupAccept) lo = mid;
        }
      }
    }
    index = lo;
    return found;
  }

  // Inserts `item` at its sorted position and returns that position. When an equal item exists,
  // DupError raises EListError "Duplicate Object index" and DupIgnore returns -1; in both cases
  // the item is not in the list and stays the caller's to delete, even when the list owns its
  // items.
  int Add(T* item) override {
    int index = 0;
    if (Find(KeyOf(item), index)) {
      if (Duplicates == DupIgnore) return -1;
      if (Duplicates == DupError) throw EListError("Duplicate Object index");
    }
    return this->InsertAt(index, item);
  }

  // The position is chosen by the order, not by the caller: `index` is ignored and this is Add.
  int Insert(int /*index*/, T* item) override { return Add(item); }

  // The position of an item equal to `item` by the order (the first one under DupAccept), or -1.
  // This is not an identity search: another item that compares equal is reported as well.
  int IndexOf(const T* item) const override {
    int index = 0;
    return Find(KeyOf(item), index) ? index : -1;
  }

  // Always raises EListError: an item put at a chosen index could break the order.
  void Put(int /*index*/, T* /*item*/) override {
    throw EListError("Cannot <Put> an Object in a sorted list!");
  }

  TDuplicates Duplicates;
};
