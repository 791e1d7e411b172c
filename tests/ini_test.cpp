// The settings store, its substitution and the defaults file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ini.h"
#include "log.h"
#include "shared.h"
#include "tcp.h"

using namespace installer;
namespace fs = std::filesystem;

namespace {

class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ini_test.XXXXXX";
    dir_ = mkdtemp(tmpl);
    log_ = log_init(LogDebug);
    log_open(log_.get(), (dir_ / "test.log").c_str());
    log_set(log_.get());
    ini_ = ini_init();
  }
  void TearDown() override {
    ini_free(&ini_);
    clear_datfile();
    log_free(&log_);
    fs::remove_all(dir_);
  }

  void setup(std::vector<SettingList> table) { ini_setup(ini_.get(), &table, nullptr, 1); }

  std::string log_text() {
    std::fflush(log_->F);
    std::ifstream in(dir_ / "test.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool logged(const std::string &line) {
    return log_text().find("] " + line + "\n") != std::string::npos;
  }

  // The values of a setting in list order, without moving its cursor.
  std::vector<std::string> values(const char *name) {
    for (int i = 0; i < ini_->items; i++)
      if ((*ini_->list)[i].setting == name) {
        auto &root = ini_->data->data[i]->values->root;
        return {root.begin(), root.end()};
      }
    return {};
  }

  int load(const std::string &text) {
    std::ofstream(dir_ / "install.dat", std::ios::binary) << text;
    return load_datfile(ini_.get(), (dir_ / "install.dat").c_str());
  }

  std::string replace(const char *text, unsigned bfsz = LINE_SIZE) {
    char result[LINE_SIZE] = "untouched";
    ini_replace(ini_.get(), text, result, bfsz);
    return result;
  }

  fs::path dir_;
  std::unique_ptr<Log> log_;
  std::unique_ptr<Ini> ini_;
};

const std::vector<SettingList> kBase = {
    {"host", "alpha", Ini_Fixed | Ini_Replace},
    {"current_dir", "/cwd", Ini_Fixed | Ini_Replace},
    {"action", "install", Ini_None},
    {"doc", "$(current_dir)/htdocs", Ini_Replace},
    {"nodflt", std::nullopt, Ini_Replace},
    {"action", "second", Ini_Replace},
};

TEST_F(IniTest, MultiValueOrderFollowsTheCursor) {
  setup(kBase);
  EXPECT_EQ(ini_add_name(ini_.get(), "flag", "false"), 1);
  EXPECT_EQ(ini_add_name(ini_.get(), "flag", "true"), 1);
  EXPECT_EQ(values("flag"), (std::vector<std::string>{"false", "true"}));
  EXPECT_STREQ(ini_value_name(ini_.get(), "flag"), "false");

  EXPECT_EQ(ini_add_name(ini_.get(), "read", "false"), 1);
  ini_value_name(ini_.get(), "read");
  EXPECT_EQ(ini_add_name(ini_.get(), "read", "true"), 1);
  EXPECT_EQ(values("read"), (std::vector<std::string>{"true", "false"}));
  EXPECT_STREQ(ini_value_name(ini_.get(), "read"), "true");
}

TEST_F(IniTest, RefusedAddsAndSingleValues) {
  setup(kBase);
  EXPECT_EQ(ini_add_name(ini_.get(), "host", "beta"), -1);
  EXPECT_TRUE(logged("Debug: Ini value for 'host' not addded, value is fixed"));
  EXPECT_STREQ(ini_value_name(ini_.get(), "host"), "alpha");

  EXPECT_EQ(ini_add_name(ini_.get(), "doc", ""), -1);
  EXPECT_TRUE(logged("Debug: Ini value for 'doc' not added, value was empty"));
  EXPECT_EQ(ini_add_name(ini_.get(), "fresh", ""), 1);
  EXPECT_STREQ(ini_value_name(ini_.get(), "fresh"), "");
  EXPECT_TRUE(logged("Debug: Ini setting 'fresh' created and set to ''"));

  EXPECT_EQ(ini_value_name(ini_.get(), "nodflt"), nullptr);
  EXPECT_EQ(ini_add_name(ini_.get(), "nodflt", "a"), 1);
  EXPECT_EQ(ini_add_name(ini_.get(), "nodflt", "b"), 1);
  EXPECT_EQ(values("nodflt"), std::vector<std::string>{"b"});
  EXPECT_TRUE(logged("Debug: Ini value for 'nodflt' set to 'b'"));

  // Names are exact; the first of two same-named entries wins.
  EXPECT_EQ(ini_value_name(ini_.get(), "HOST"), nullptr);
  EXPECT_EQ(ini_add_name(ini_.get(), "action", "upgrade"), 1);
  EXPECT_STREQ(ini_value(ini_.get(), 2), "upgrade");
  EXPECT_STREQ(ini_value(ini_.get(), 5), "second");
  EXPECT_EQ(ini_add_name(ini_.get(), "HOST", "x"), 1);
  EXPECT_STREQ(ini_value_name(ini_.get(), "host"), "alpha");
}

TEST_F(IniTest, TableGrowsByFiveAndNullsGiveFixedResults) {
  setup(kBase);
  EXPECT_EQ(ini_->size, 7);
  for (int i = 0; i < 7; i++) ini_add_name(ini_.get(), ("n" + std::to_string(i)).c_str(), "v");
  EXPECT_EQ(ini_->items, 13);
  EXPECT_EQ(ini_->size, 17);
  EXPECT_STREQ(ini_value_name(ini_.get(), "n6"), "v");
  EXPECT_EQ(ini_add_name(nullptr, "a", "b"), 0);
  EXPECT_EQ(ini_add_name(ini_.get(), "a", nullptr), 0);
  EXPECT_EQ(ini_value(ini_.get(), 13), nullptr);
  auto bare = ini_init();
  EXPECT_EQ(ini_add_name(bare.get(), "a", "b"), 0);
  EXPECT_EQ(ini_process(bare.get()), 0);
}

TEST_F(IniTest, AddingASettingsOwnValueIsSafe) {
  setup(kBase);
  EXPECT_EQ(ini_add_name(ini_.get(), "action", ini_value_name(ini_.get(), "action")), 1);
  EXPECT_EQ(values("action"), std::vector<std::string>{"install"});
  ini_add_name(ini_.get(), "multi", "one");
  EXPECT_EQ(ini_add_name(ini_.get(), "multi", ini_value_name(ini_.get(), "multi")), 1);
  EXPECT_EQ(values("multi"), (std::vector<std::string>{"one", "one"}));
}

TEST_F(IniTest, PasswordsAndPathsWhenTheModesAskForThem) {
  setup({{"secret", "old", Ini_Pass}, {"dir", "", Ini_Path}});
  EXPECT_EQ(ini_add_name(ini_.get(), "secret", "hunter2"), 1);
  EXPECT_TRUE(logged("Debug: Ini value for 'secret' set to 'xxxx'"));
  EXPECT_EQ(log_text().find("hunter2"), std::string::npos);
  ini_add_name(ini_.get(), "dir", "a\\b/c");
  EXPECT_STREQ(ini_value_name(ini_.get(), "dir"), "a/b/c");
}

TEST_F(IniTest, ReplaceFillsAndCuts) {
  setup({{"host", "alpha", 36}, {"raw", "$(host)", 0}});
  const struct {
    const char *text;
    unsigned bfsz;
    const char *want;
  } cases[] = {
      {"//$(host)/cgi-bin", LINE_SIZE, "//alpha/cgi-bin"},
      {"a$(nohost)b", LINE_SIZE, "ab"},
      {"x$(raw)y", LINE_SIZE, "x$(host)y"},
      {"abcdefghij$(host)", 10, "abcdefghi"},
      {"abcdefghi$(host)", 10, "abcdefghi"},
      {"ab$(host)cdefgh", 10, "abalphacd"},
      {"a$(host", LINE_SIZE, "aalpha"},
      {"a$(", LINE_SIZE, "a"},
      {"$(host)", 1, ""},
  };
  for (const auto &c : cases) EXPECT_EQ(replace(c.text, c.bfsz), c.want) << c.text;
  char buf[LINE_SIZE] = "$(host)$(host)";
  ini_replace(ini_.get(), buf, buf, LINE_SIZE);
  EXPECT_STREQ(buf, "alphaalpha");
  ini_replace(nullptr, "x", buf, LINE_SIZE);
  EXPECT_STREQ(buf, "alphaalpha");
}

TEST_F(IniTest, ProcessResolvesBetweenSettings) {
  std::vector<SettingList> table = kBase;
  const std::vector<std::pair<const char *, const char *>> cases = {
      {"$(doc)/cgi", "/cwd/htdocs/cgi"},  // refers to a setting resolved later
      {"x$(action)y", "xy"},
      {"//$(HOST)/", "//alpha/"},
      {"$(host):$(host)", "alpha:alpha"},
      {"$(nope)/$(host)", "$(nope)/alpha"},
      {"$(host", "$(host"},
      {"$(self):/bin", "$(self):/bin"},  // a self-reference is left unfilled
      {"$(loop_b)", "$(loop_c)"},        // loop_b and loop_c refer to each other
  };
  table.insert(table.begin(), {"self", "$(self):/bin", Ini_Replace});
  for (size_t i = 0; i < cases.size(); i++)
    table.insert(table.begin(), {"case" + std::to_string(i), cases[i].first, Ini_Replace});
  table.push_back({"loop_b", "$(loop_c)", Ini_Replace});
  table.push_back({"loop_c", "$(loop_b)", Ini_Replace});
  setup(table);
  EXPECT_EQ(ini_process(ini_.get()), 1);
  for (size_t i = 0; i < cases.size(); i++)
    EXPECT_EQ(values(("case" + std::to_string(i)).c_str()),
              std::vector<std::string>{cases[i].second})
        << cases[i].first;
  EXPECT_TRUE(logged("Debug: Replaced '$(current_dir)' in '$(current_dir)/htdocs' with "
                     "'/cwd' = '/cwd/htdocs'"));
  EXPECT_TRUE(logged("Debug: Replaced '$(action)' in 'x$(action)y' with '(NULL)' = 'xy'"));
}

TEST_F(IniTest, LoadDatfileParsesDeclarations) {
  std::string big = "big " + std::string(995, 'a') + "bbbb\n";
  ASSERT_EQ(load("# comment\n   name1   two  words   \ntab\tvalue # kept\n  #gone x\n"
                 " bare \nha#sh x\r\ncrlf line\r\naction upgrade\n" +
                 big + "data $(current_dir)/data\n"),
            1);
  char host[LINE_SIZE], cwd[LINE_SIZE];
  tcp_hostname(host, LINE_SIZE);
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::vector<std::pair<const char *, std::string>> want = {
      {"host", host},          {"system_dir", "/etc"},   {"current_dir", cwd},
      {"action", "install"},   {"name1", "two  words"},  {"tab", "value # kept"},
      {"ha#sh", "x"},          {"crlf", "line"},         {"big", std::string(995, 'a')},
      {"data", std::string(cwd) + "/data"},
  };
  for (const auto &[name, value] : want)
    EXPECT_EQ(values(name), std::vector<std::string>{value}) << name;
  EXPECT_EQ(ini_value_name(ini_.get(), "bare"), nullptr);
  EXPECT_EQ(ini_value_name(ini_.get(), "#gone"), nullptr);
  EXPECT_EQ(ini_->items, 13);  // 4 built-ins and 9 declarations, one of them the rest of "big"
  EXPECT_EQ((*ini_->list)[11].setting, "bbbb");
  EXPECT_EQ((*_settings)[0].mode, Ini_Fixed | Ini_Replace);
  EXPECT_EQ((*_settings)[3].mode, Ini_None);
  EXPECT_EQ((*_settings)[4].mode, Ini_Replace);
  EXPECT_TRUE(logged("Info: action=install"));
  EXPECT_TRUE(logged("Debug: Adding 'name1'='two  words'"));
  EXPECT_TRUE(logged("Debug: Adding 'bare'=''"));
}

TEST_F(IniTest, LoadDatfileTableSizes) {
  const struct {
    std::string text;
    int items;
    size_t allocated;
  } cases[] = {
      {"", 4, 10},
      {"# only\n\n   \n", 4, 10},
      {"s1\ns2\ns3\ns4\ns5\ns6\n", 10, 11},  // exactly full: one more for the end mark
      {"s1\ns2\ns3\ns4\ns5\ns6\ns7\ns8\ns9\ns10\ns11\ns12\n", 16, 20},
  };
  for (const auto &c : cases) {
    ASSERT_EQ(load(c.text), 1);
    EXPECT_EQ(ini_->items, c.items);
    EXPECT_EQ(_settings->size(), c.allocated);
    EXPECT_TRUE(_settings->back().setting.empty());
    EXPECT_STREQ(ini_value_name(ini_.get(), "action"), "install");
  }
}

TEST_F(IniTest, LoadDatfileMissingFileAndClearing) {
  std::string path = (dir_ / "absent.dat").string();
  EXPECT_EQ(load_datfile(ini_.get(), path.c_str()), 0);
  EXPECT_TRUE(logged("Error: Error opening '" + path + "' for read, No such file or directory"));
  EXPECT_EQ(ini_->list, nullptr);
  EXPECT_EQ(_settings, nullptr);
  EXPECT_EQ(load_datfile(nullptr, path.c_str()), 0);
  ASSERT_EQ(load(""), 1);
  clear_datfile();
  clear_datfile();
  EXPECT_EQ(_settings, nullptr);
  EXPECT_STREQ(ini_value_name(ini_.get(), "system_dir"), "/etc");  // the store keeps copies
}

}  // namespace
