// The init file loader, and the web-server values kept between requests. Discovery over
// real configuration files is covered end to end by the httpd-* scenarios.
#include "init.h"

#include <cstring>

#include "scratch.h"

namespace installer {
namespace {

// An item as its mode and "a b control compare", "~" for an absent text.
using Shown = std::pair<int, std::string>;

class InitTest : public ScratchTest {
 protected:
  void TearDown() override {
    init_http_reset();
    ScratchTest::TearDown();
  }
  int load(const std::string &text) {
    put("install.int", text);
    return init_load(init.get(), p("install.int").c_str());
  }
  // The items as the command loop walks them.
  std::vector<Shown> items() {
    auto s = [](const std::optional<std::string> &t) { return t.value_or("~"); };
    std::vector<Shown> got;
    for (IItem *i = init_get_num(init.get(), 0); i; i = init_get(init.get()))
      got.emplace_back(i->mode,
                       s(i->a) + " " + s(i->b) + " " + s(i->control) + " " + s(i->compare));
    return got;
  }
  std::unique_ptr<Init> init = init_init();
};

// Blanks, tabs and a carriage return between fields; '#' and '-' as operands; fields after
// the fifth ignored. A short line leaves its fields to the next line, where "-" keeps them;
// an unknown word leaves the mode as it was: 0 for a fresh item, else an earlier line's.
TEST_F(InitTest, LinesBecomeItemsAndFoundValuesAreKept) {
  ASSERT_EQ(load("  # note\n\n\tHTTP_Root\troot \t failed  -  -  \r\nExist # x - -\n"
                 "WFile - - - - sixth seventh\nCopy a b\nExist p q - -\nCopy a b ctl\n"
                 "Exist p q - -\nCopy\nRFile x y c1 v1\nexist /tmp/x flag - -\nWFile a b\n"
                 "Bogus c d - -\nCopy a\nExist p\n"),  // still short at the end: dropped
            1);
  // clang-format off
  EXPECT_EQ(items(), (std::vector<Shown>{
      {IHTTP_Root, "root failed ~ ~"}, {IExist, "# x ~ ~"},     {IWFile, "- - ~ ~"},
      {IExist, "p q ~ ~"},             {IExist, "p q ctl ~"},   {IRFile, "x y c1 v1"},
      {0, "/tmp/x flag ~ ~"},          {IWFile, "c d ~ ~"}}));
  // clang-format on
  EXPECT_TRUE(logged("Error: Unknown init command 'Bogus'"));
  init_parse_line(init.get(), " \t", 20);  // blanks alone make no item
  EXPECT_EQ(items().size(), 8u);
  EXPECT_EQ(init_load(nullptr, p("install.int").c_str()) + init_load(init.get(), nullptr), 0);
  // A message longer than its buffer is cut, and still ends there.
  EXPECT_EQ(init_load(init.get(), std::string(LINE_SIZE, 'n').c_str()), 0);
  EXPECT_EQ(init_error(), "Failed to read '" + std::string(LINE_SIZE - 17, 'n'));
  // The web server's values found are kept; one not found is looked for again.
  put("httpd.conf", "User root\nGroup root\nDocumentRoot \"/srv/www\"\n");
  static std::string conf;
  static int opened;
  conf = p("httpd.conf");
  opened = 0;
  // Every file the layer opens for reading becomes a stream once: count those.
  init_http_use(conf.c_str());
  sys().fdopen = [](int fd, const char *mode) -> std::FILE * {
    opened++;
    return ::fdopen(fd, mode);
  };
  char value[LINE_SIZE], err[LINE_SIZE] = "untouched";
  EXPECT_EQ(init_find_http_conf(nullptr, nullptr, value, nullptr, err), 1);
  EXPECT_STREQ(value, "/srv/www");
  EXPECT_EQ(init_find_http_conf(nullptr, value, nullptr, nullptr, err), 1);
  EXPECT_STREQ(value, "root");
  EXPECT_STREQ(err, "untouched");
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(init_find_http_conf(nullptr, nullptr, nullptr, value, err), 0);
  EXPECT_STREQ(err, "Could not find, ScriptAlias");
  EXPECT_EQ(opened, 2);
  init_http_use(nullptr);
}

}  // namespace
}  // namespace installer
