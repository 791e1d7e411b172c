// The init file loader: items built from lines, short lines carried over, errors.
#include "init.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "file.h"
#include "log.h"

namespace installer {
namespace {

// An item as "mode a b control compare", "~" for an absent text.
using Shown = std::pair<int, std::string>;

class InitLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/init_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    init_ = init_init();
  }
  void TearDown() override {
    init_free(&init_);
    std::filesystem::remove_all(dir_);
  }

  // Writes the text as install.int and loads it.
  int load(const std::string &text) {
    std::ofstream(path()) << text;
    return init_load(init_.get(), path().c_str());
  }
  std::string path() const { return dir_ + "/install.int"; }

  // The items as the command loop walks them.
  std::vector<Shown> items() {
    auto s = [](const std::optional<std::string> &t) { return t.value_or("~"); };
    std::vector<Shown> got;
    for (IItem *i = init_get_num(init_.get(), 0); i; i = init_get(init_.get()))
      got.emplace_back(i->mode,
                       s(i->a) + " " + s(i->b) + " " + s(i->control) + " " + s(i->compare));
    return got;
  }

  std::string dir_;
  std::unique_ptr<Init> init_;
};

TEST_F(InitLoad, CompleteLinesInFileOrder) {
  ASSERT_EQ(load("  # note\n"
                 "\n"
                 "Exist /tmp/x flag - -\n"
                 "Copy target source ctl yes\r\n"
                 "\tHTTP_Root\troot \t failed  -  -  \n"
                 "Exist # x - -\n"
                 "WFile - - - - sixth seventh\n"
                 "TimeDate fmt stamp c true\n"),
            1);
  EXPECT_EQ(items(), (std::vector<Shown>{{IExist, "/tmp/x flag ~ ~"},
                                         {ICopy, "target source ctl yes"},
                                         {IHTTP_Root, "root failed ~ ~"},
                                         {IExist, "# x ~ ~"},
                                         {IWFile, "- - ~ ~"},
                                         {ITimeDate, "fmt stamp c true"}}));
}

TEST_F(InitLoad, ShortLinesFillTheNextItem) {
  ASSERT_EQ(load("Copy a b\n"
                 "Exist p q - -\n"
                 "Copy a b ctl\n"
                 "Exist p q - -\n"
                 "RFile x y c1 v1\n"
                 "Copy\n"
                 "HTTP_User u f - -\n"
                 "Copy a\n"
                 "Exist p\n"),  // still short at the end: dropped
            1);
  EXPECT_EQ(items(), (std::vector<Shown>{{IExist, "p q ~ ~"},
                                         {IExist, "p q ctl ~"},
                                         {IRFile, "x y c1 v1"},
                                         {IHTTP_User, "u f ~ ~"}}));
}

TEST_F(InitLoad, UnknownWordIsLoggedAndKeepsTheMode) {
  auto log = log_init(LogDebug);
  std::string log_path = dir_ + "/install.log";
  ASSERT_EQ(log_open(log.get(), log_path.c_str()), 1);
  log_doflush(log.get(), 1);
  log_set(log.get());
  ASSERT_EQ(load("exist /tmp/x flag - -\n"
                 "WFile a b\n"
                 "Bogus c d - -\n"),
            1);
  log_free(&log);

  // The unknown word leaves the mode of the item being filled: 0 for a fresh one, the
  // command of an earlier short line otherwise.
  EXPECT_EQ(items(), (std::vector<Shown>{{0, "/tmp/x flag ~ ~"}, {IWFile, "c d ~ ~"}}));
  std::stringstream text;
  text << std::ifstream(log_path).rdbuf();
  EXPECT_NE(text.str().find("Error: Unknown init command 'exist'\n"), std::string::npos);
  EXPECT_NE(text.str().find("Error: Unknown init command 'Bogus'\n"), std::string::npos);
}

TEST_F(InitLoad, FilesWithoutCommands) {
  EXPECT_EQ(load(""), 1);
  EXPECT_EQ(load("# only\n   # comments\n\n"), 1);
  EXPECT_TRUE(items().empty());
}

TEST_F(InitLoad, OpenFailures) {
  EXPECT_EQ(init_load(nullptr, path().c_str()), 0);
  EXPECT_EQ(init_load(init_.get(), nullptr), 0);

  std::string missing = dir_ + "/missing.int";
  EXPECT_EQ(init_load(init_.get(), missing.c_str()), 0);
  EXPECT_EQ(std::string(init_error()),
            "Failed to read '" + missing + "', " + std::strerror(ENOENT));

  // The file is opened through the disk seam, and its error is the one reported.
  std::ofstream(path()) << "Exist p q - -\n";
  disk().fopen = [](const char *, const char *) -> std::FILE * {
    errno = EACCES;
    return nullptr;
  };
  int loaded = init_load(init_.get(), path().c_str());
  disk_reset();
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(std::string(init_error()),
            "Failed to read '" + path() + "', " + std::strerror(EACCES));
  EXPECT_TRUE(items().empty());
}

}  // namespace
}  // namespace installer
