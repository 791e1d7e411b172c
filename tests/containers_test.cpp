// The cursor rules of the list and the array: the settings store's value order rests on them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "array.h"
#include "linklist.h"

using namespace installer;

namespace {

std::vector<std::string> walk(Linklist *x) {
  std::vector<std::string> out;
  for (list_start(x); list_get(x); list_next(x)) out.emplace_back(list_get(x));
  return out;
}

using V = std::vector<std::string>;

}  // namespace

TEST(Linklist, EmptyListIsInert) {
  auto x = list_init();
  EXPECT_EQ(list_get(x.get()), nullptr);
  EXPECT_EQ(list_del(x.get()), std::nullopt);
  list_prev(x.get());
  list_next(x.get());
  EXPECT_EQ(list_items(x.get()), 0);
  EXPECT_EQ(list_add(x.get(), nullptr), 0);
  EXPECT_EQ(list_add(nullptr, "a"), 0);
  EXPECT_EQ(list_get(nullptr), nullptr);
}

TEST(Linklist, AddsGoInFrontOfTheCurrentItem) {
  auto x = list_init();
  for (const char *s : {"a", "b", "c"}) list_add(x.get(), s);
  EXPECT_EQ(list_get(x.get()), nullptr);  // the cursor stays past the end
  list_prev(x.get());                     // and steps back onto the last item
  EXPECT_STREQ(list_get(x.get()), "c");
  EXPECT_EQ(walk(x.get()), (V{"a", "b", "c"}));

  list_start(x.get());
  list_next(x.get());  // b current
  list_add(x.get(), "n");
  EXPECT_STREQ(list_get(x.get()), "b");
  list_prev(x.get());
  EXPECT_STREQ(list_get(x.get()), "n");
  list_prev(x.get());
  EXPECT_STREQ(list_get(x.get()), "a");
  list_prev(x.get());  // the start is its own predecessor
  EXPECT_STREQ(list_get(x.get()), "a");
  EXPECT_EQ(walk(x.get()), (V{"a", "n", "b", "c"}));
  EXPECT_EQ(list_items(x.get()), 4);
}

TEST(Linklist, DeleteAndReplaceInPlace) {
  auto x = list_init();
  for (const char *s : {"a", "b", "c"}) list_add(x.get(), s);
  EXPECT_EQ(list_del(x.get()), std::optional<std::string>("c"));  // past the end: the last
  EXPECT_EQ(list_get(x.get()), nullptr);
  EXPECT_EQ(walk(x.get()), (V{"a", "b"}));

  list_add(x.get(), "c");
  list_start(x.get());
  list_next(x.get());
  EXPECT_EQ(list_del(x.get()), std::optional<std::string>("b"));
  EXPECT_STREQ(list_get(x.get()), "c");
  list_add(x.get(), "n");
  list_prev(x.get());
  EXPECT_STREQ(list_get(x.get()), "n");
  list_next(x.get());
  list_next(x.get());
  EXPECT_EQ(list_del(x.get()), std::optional<std::string>("c"));
  EXPECT_EQ(list_del(x.get()), std::optional<std::string>("n"));
  EXPECT_EQ(walk(x.get()), (V{"a"}));
  list_free_dealloc(&x);
  EXPECT_EQ(x, nullptr);
}

TEST(Array, GrowsInBlocksAndKeepsItsCursor) {
  auto x = array_init<int>();
  EXPECT_EQ(array_add(x.get(), std::make_unique<int>(0)), 1);
  for (int i = 1; i < 11; i++) array_add(x.get(), std::make_unique<int>(i));
  EXPECT_EQ(x->items, 11);
  EXPECT_EQ(array_add(x.get(), nullptr), 0);
  EXPECT_EQ(array_add_num(x.get(), std::make_unique<int>(99), 12), 0);  // beyond items
  EXPECT_EQ(array_add_num(x.get(), std::make_unique<int>(99), -1), 0);

  EXPECT_EQ(*array_get_num(x.get(), 0), 0);
  EXPECT_EQ(x->current, 1);
  array_get_num(x.get(), 0);
  EXPECT_EQ(array_add_num(x.get(), std::make_unique<int>(-5), 0), 1);
  EXPECT_EQ(x->current, 2);  // still on the item it pointed at
  EXPECT_EQ(array_add_num(x.get(), std::make_unique<int>(-4), 2), 1);  // right at the cursor
  EXPECT_EQ(*array_get(x.get()), 1);

  EXPECT_EQ(*array_get_num(x.get(), x->items - 1), 10);
  EXPECT_EQ(array_get(x.get()), nullptr);
  EXPECT_EQ(array_get_num(x.get(), x->items), nullptr);

  std::vector<int> seen;
  for (int *p = array_get_num(x.get(), 0); p; p = array_get(x.get())) seen.push_back(*p);
  EXPECT_EQ(seen.size(), 13u);
  EXPECT_EQ(seen.front(), -5);
  array_free(&x);
  EXPECT_EQ(x, nullptr);
  EXPECT_EQ(array_get(static_cast<Array<int> *>(nullptr)), nullptr);
}
