// A doubly linked list of texts with one built-in cursor. The settings store keeps each
// setting's values in one and edits them in place while walking it.
#pragma once

#include <list>
#include <memory>
#include <optional>
#include <string>

namespace installer {

struct Linklist {
  // The items in order. The cursor `current` designates the current item; at end() the
  // cursor stands past the last item. (The list's own end node plays the sentinel.)
  std::list<std::string> root;
  std::list<std::string>::iterator current = root.end();
  int items = 0;
};

std::unique_ptr<Linklist> list_init();
// Inserts in front of the current item; the current item stays current. 1, or 0 for null.
int list_add(Linklist *x, const char *data);
// Removes the current item and returns it; past the end, the last item. Null when empty.
std::optional<std::string> list_del(Linklist *x);
// The current item, or null past the end. Valid until that item is removed.
const char *list_get(Linklist *x);
void list_start(Linklist *x);
void list_next(Linklist *x);
void list_prev(Linklist *x);
int list_items(Linklist *x);
void list_free_dealloc(std::unique_ptr<Linklist> *x);

}  // namespace installer
