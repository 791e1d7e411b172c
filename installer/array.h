// A growable array of owned items with a read cursor.
#pragma once

#include <algorithm>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace installer {

inline constexpr int ARRAY_BLOCK = 10;  // slots at the first add, and the least growth

// Reports a failed growth to the log ("Memory allocation error.").
void array_alloc_failed();

template <class T>
struct Array {
  int size = 0;             // slots allocated
  int block = ARRAY_BLOCK;  // least growth; a full array doubles, so adds cost O(1) each
  int items = 0;            // items held, data[0] .. data[items - 1]
  int current = -1;         // index of the next item array_get returns, or -1
  int lock = 0;             // kept for the record; nothing uses it
  int locked = 0;
  std::vector<std::unique_ptr<T>> data;
};

template <class T>
std::unique_ptr<Array<T>> array_init(int lock = 0) {
  (void)lock;
  return std::make_unique<Array<T>>();
}

template <class T>
int array_add_num(Array<T> *x, std::type_identity_t<std::unique_ptr<T>> item, int num) {
  if (!x || !item) return 0;
  if (x->items == x->size) {
    int grown = x->size + std::max(x->block, x->size);
    try {
      x->data.reserve(static_cast<std::size_t>(grown));
    } catch (const std::bad_alloc &) {
      array_alloc_failed();
      return 0;
    }
    x->size = grown;
  }
  if (num < 0 || num > x->items) return 0;
  x->data.insert(x->data.begin() + num, std::move(item));
  x->items++;
  if (x->current >= num) x->current++;
  return 1;
}

template <class T>
int array_add(Array<T> *x, std::type_identity_t<std::unique_ptr<T>> item) {
  return x ? array_add_num(x, std::move(item), x->items) : 0;
}

template <class T>
T *array_get_num(Array<T> *x, int num) {
  if (!x || x->size == 0 || num < 0 || num >= x->items) return nullptr;
  x->current = num + 1 < x->items ? num + 1 : -1;
  return x->data[static_cast<std::size_t>(num)].get();
}

template <class T>
T *array_get(Array<T> *x) {
  if (!x || x->current < 0) return nullptr;
  return array_get_num(x, x->current);
}

// Items are owned, so freeing the array frees them.
template <class T>
void array_free(std::unique_ptr<Array<T>> *x) {
  if (x) x->reset();
}

}  // namespace installer
