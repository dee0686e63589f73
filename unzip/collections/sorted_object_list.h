// TSortedObjectList: an object list kept in the order of a comparison, with a binary search and
// a policy for items that compare equal to one already in the list.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

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
  // items. Between BeginBulkAdd and EndBulkAdd the item is appended instead (see there) and the
  // position returned is the one it holds until EndBulkAdd.
  int Add(T* item) override {
    if (bulk_) return AppendInBulk(item);
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

  // Whether what Compare says sorts before what is transitive; only then can one sort give the
  // order that single insertions give.
  virtual bool CompareIsTransitive() const { return true; }

  // A one-pass build of an empty list. One insertion at a time moves O(n) items each when items
  // arrive out of order, so between BeginBulkAdd and EndBulkAdd, Add appends and EndBulkAdd
  // orders the list once: O(n log n) whatever the arrival order. The result is the one that
  // single Adds give: items that tie stand as Find would have put them, and an item equal to one
  // added before is refused at the moment it is added, as Add refuses it (DupError raises,
  // DupIgnore gives -1). Nothing may look the list up in between. A list that is not empty, or
  // whose order is not transitive, goes on inserting one item at a time.
  void BeginBulkAdd() {
    bulk_ = this->Count() == 0 && CompareIsTransitive();
    inOrder_ = true;
    seen_.reset();
  }

  // Raises nothing (the sort works in place when it cannot have memory), so it may end a build
  // that an exception leaves.
  void EndBulkAdd() {
    if (!bulk_) return;
    bulk_ = false;
    seen_.reset();
    if (inOrder_ || this->Count() == 0) return;
    // Find puts a new item before an earlier one that does not sort before it: items that tie
    // in Compare stand latest first, those of an order that never ties in arrival order.
    // Compare of an item with itself tells which.
    const T* any = this->Items(0);
    const bool latestFirst = Compare(KeyOf(any), KeyOf(any)) >= 0;
    this->ReorderItems(latestFirst,
                       [this](const T* a, const T* b) { return Compare(KeyOf(b), KeyOf(a)) > 0; });
  }

  TDuplicates Duplicates;

 private:
  // Orders the keys of items, for the duplicate check of a bulk build.
  struct TKeyLess {
    const TSortedObjectList* list;
    bool operator()(const T* a, const T* b) const {
      return list->Compare(list->KeyOf(a), list->KeyOf(b)) < 0;
    }
  };
  using TSeenKeys = std::set<const T*, TKeyLess>;

  int AppendInBulk(T* item) {
    const int count = this->Count();
    // While items arrive in order, each one above the last is above all: no duplicate, and no
    // index of the keys is needed.
    const bool above = count == 0 || Compare(KeyOf(this->Items(count - 1)), KeyOf(item)) < 0;
    if (inOrder_ && above) return this->InsertAt(count, item);
    if (inOrder_) {
      // The items so far are sorted: their index is built from them in one pass.
      inOrder_ = false;
      if (Duplicates != DupAccept) {
        seen_ = std::make_unique<TSeenKeys>(TKeyLess{this});
        for (int i = 0; i < count; ++i) seen_->insert(seen_->end(), this->Items(i));
      }
    }
    if (seen_ && !seen_->insert(item).second) {
      if (Duplicates == DupIgnore) return -1;
      throw EListError("Duplicate Object index");
    }
    return this->InsertAt(count, item);
  }

  bool bulk_ = false;
  bool inOrder_ = true;  // every item so far came above the one before it
  std::unique_ptr<TSeenKeys> seen_;
};

// Runs a bulk build of `list` for its own lifetime.
template <typename T>
class TBulkAdd {
 public:
  explicit TBulkAdd(TSortedObjectList<T>& list) : list_(&list) { list_->BeginBulkAdd(); }
  // The list that `owner` holds, which may be released before the guard ends (a failed read
  // clears the directory and raises): a list the owner no longer holds is not touched.
  template <typename List>
  explicit TBulkAdd(std::unique_ptr<List>& owner) : TBulkAdd(*owner) {
    held_ = [&owner]() -> const void* { return owner.get(); };
  }
  ~TBulkAdd() {
    if (!held_ || held_() == list_) list_->EndBulkAdd();
  }
  TBulkAdd(const TBulkAdd&) = delete;
  TBulkAdd& operator=(const TBulkAdd&) = delete;

 private:
  TSortedObjectList<T>* list_;
  std::function<const void*()> held_;  // empty: the list is the caller's own
};
