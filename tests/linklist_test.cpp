// The cursor rules of the list: the settings store's value order rests on them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linklist.h"

using namespace installer;
using V = std::vector<std::string>;

TEST(Linklist, AddsGoInFrontOfTheCursorAndDeletesLeaveItOnTheNext) {
  auto walk = [](Linklist *x) {
    V out;
    for (list_start(x); list_get(x); list_next(x)) out.emplace_back(list_get(x));
    return out;
  };
  auto x = list_init();
  EXPECT_EQ(list_del(x.get()), std::nullopt);  // an empty list is inert
  list_prev(x.get());
  EXPECT_EQ(list_add(x.get(), nullptr) + list_add(nullptr, "a") + list_items(nullptr), 0);
  for (const char *s : {"a", "b", "c"}) EXPECT_EQ(list_add(x.get(), s), 1);
  EXPECT_EQ(list_get(x.get()), nullptr);  // the cursor stays past the end
  list_prev(x.get());                     // and steps back onto the last item
  EXPECT_STREQ(list_get(x.get()), "c");
  list_start(x.get());
  list_next(x.get());  // b current
  list_add(x.get(), "n");
  EXPECT_STREQ(list_get(x.get()), "b");
  for (const char *want : {"n", "a", "a"}) {  // the start is its own predecessor
    list_prev(x.get());
    EXPECT_STREQ(list_get(x.get()), want);
  }
  EXPECT_EQ(walk(x.get()), (V{"a", "n", "b", "c"}));
  EXPECT_EQ(list_items(x.get()), 4);
  EXPECT_EQ(list_del(x.get()), std::optional<std::string>("c"));  // past the end: the last
  EXPECT_EQ(list_get(x.get()), nullptr);
  list_start(x.get());
  list_next(x.get());
  EXPECT_EQ(list_del(x.get()), std::optional<std::string>("n"));
  EXPECT_STREQ(list_get(x.get()), "b");
  EXPECT_EQ(walk(x.get()), (V{"a", "b"}));
  EXPECT_EQ(list_items(x.get()), 2);
}
