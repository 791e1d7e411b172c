// A doubly linked list of texts with one built-in cursor.
#include "linklist.h"

#include <iterator>

namespace installer {

std::unique_ptr<Linklist> list_init() { return std::make_unique<Linklist>(); }

int list_add(Linklist *x, const char *data) {
  if (!x || !data) return 0;
  // Inserting in front of the cursor's item leaves that item current.
  x->root.insert(x->current, data);
  x->items++;
  return 1;
}

std::optional<std::string> list_del(Linklist *x) {
  if (!x || x->root.empty()) return std::nullopt;
  if (x->current == x->root.end()) x->current = std::prev(x->root.end());
  std::string item = std::move(*x->current);
  x->current = x->root.erase(x->current);
  x->items--;
  return item;
}

const char *list_get(Linklist *x) {
  if (!x || x->current == x->root.end()) return nullptr;
  return x->current->c_str();
}

void list_start(Linklist *x) {
  if (x) x->current = x->root.begin();
}

void list_next(Linklist *x) {
  if (x && x->current != x->root.end()) ++x->current;
}

void list_prev(Linklist *x) {
  if (x && x->current != x->root.begin()) --x->current;
}

int list_items(Linklist *x) { return x ? x->items : 0; }

void list_free_dealloc(std::unique_ptr<Linklist> *x) {
  if (x) x->reset();
}

}  // namespace installer
