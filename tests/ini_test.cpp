// The settings store, its substitution and the defaults file.
#include "ini.h"
#include "scratch.h"
#include "shared.h"

using namespace installer;
using Strings = std::vector<std::string>;

namespace {

// Shaped like a loaded defaults file: fixed built-ins, then replaceable declarations.
const std::vector<SettingList> kBase = {
    {"host", "alpha", Ini_Fixed | Ini_Replace}, {"current_dir", "/cwd", Ini_Fixed | Ini_Replace},
    {"action", "install", Ini_None},            {"doc", "$(current_dir)/htdocs", Ini_Replace},
    {"nodflt", std::nullopt, Ini_Replace},      {"action", "second", Ini_Replace},
    {"raw", "$(host)", Ini_None},               {"secret", "old", Ini_Pass},
    {"dir", "", Ini_Path},
};

class IniTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    setup(kBase);
  }
  void TearDown() override {
    clear_datfile();
    ScratchTest::TearDown();
  }

  void setup(std::vector<SettingList> table) { ini_setup(ini.get(), &table, nullptr, 1); }
  int add(const char *name, const char *value) { return ini_add_name(ini.get(), name, value); }
  const char *value(const char *name) { return ini_value_name(ini.get(), name); }
  // The values of a setting in list order, without moving its cursor.
  Strings values(const std::string &name) {
    for (int i = 0; i < ini->items; i++) {
      if ((*ini->list)[i].setting != name) continue;
      const auto &held = ini->data->data[i]->values->root;
      return {held.begin(), held.end()};
    }
    return {};
  }

  std::unique_ptr<Ini> ini = ini_init();
};

TEST_F(IniTest, MultiValueOrderFollowsTheCursor) {
  add("flag", "false");
  add("flag", "true");
  EXPECT_EQ(values("flag"), (Strings{"false", "true"}));
  EXPECT_STREQ(value("flag"), "false");
  add("read", "false");
  value("read");
  add("read", "true");
  EXPECT_EQ(values("read"), (Strings{"true", "false"}));
  EXPECT_STREQ(value("read"), "true");
}

TEST_F(IniTest, AddsFollowTheSettingsModes) {
  struct Step { const char *name, *value; int result; Strings held; };
  const Step steps[] = {
      {"host", "beta", -1, {"alpha"}},  // fixed
      {"doc", "", -1, {"$(current_dir)/htdocs"}},
      {"fresh", "", 1, {""}},  // a created setting takes an empty value
      {"nodflt", "a", 1, {"a"}},          {"nodflt", "b", 1, {"b"}},
      {"dir", "a\\b/c", 1, {"a/b/c"}},    {"secret", "hunter2", 1, {"hunter2"}},
      {"HOST", "x", 1, {"x"}},  // names are exact
  };
  for (const auto &s : steps) {
    EXPECT_EQ(add(s.name, s.value), s.result) << s.name;
    EXPECT_EQ(values(s.name), s.held) << s.name;
  }
  for (const char *line : {"Ini value for 'host' not addded, value is fixed",
                           "Ini value for 'doc' not added, value was empty",
                           "Ini setting 'fresh' created and set to ''",
                           "Ini value for 'nodflt' set to 'b'",
                           "Ini value for 'secret' set to 'xxxx'"})
    EXPECT_TRUE(logged("Debug: " + std::string(line))) << line;
  EXPECT_FALSE(logged("hunter2"));

  // Adding a value the store itself returned must survive the old value's release.
  EXPECT_EQ(add("nodflt", value("nodflt")), 1);
  EXPECT_EQ(values("nodflt"), Strings{"b"});
  add("multi", "one");
  add("multi", value("multi"));
  EXPECT_EQ(values("multi"), (Strings{"one", "one"}));
  // The first of two same-named entries wins.
  EXPECT_EQ(add("action", "upgrade"), 1);
  EXPECT_STREQ(ini_value(ini.get(), 2), "upgrade");
  EXPECT_STREQ(ini_value(ini.get(), 5), "second");
}

TEST_F(IniTest, TableGrowsByFiveAndNullsGiveFixedResults) {
  EXPECT_EQ(ini_add_name(ini_init().get(), "a", "b"), 0);  // no table yet
  EXPECT_EQ(ini_process(ini_init().get()), 0);
  EXPECT_EQ(ini_add_name(nullptr, "a", "b"), 0);
  EXPECT_EQ(add("a", nullptr), 0);
  for (int i = 0; i < 6; i++) add(("n" + std::to_string(i)).c_str(), "v");
  EXPECT_EQ(ini->size, 20);  // grown twice from 10
  EXPECT_STREQ(value("n5"), "v");
}

TEST_F(IniTest, ReplaceFillsAndCuts) {
  auto replace = [this](const char *text, unsigned bfsz) {
    char result[LINE_SIZE] = "untouched";
    ini_replace(ini.get(), text, result, bfsz);
    return std::string(result);
  };
  struct Case { const char *text; unsigned bfsz; const char *want; };
  const Case cases[] = {
      {"//$(host)/cgi-bin", LINE_SIZE, "//alpha/cgi-bin"}, {"a$(nohost)b", LINE_SIZE, "ab"},
      {"x$(raw)y", LINE_SIZE, "x$(host)y"},  // an inserted value is not scanned again
      {"abcdefghij$(host)", 10, "abcdefghi"},  {"abcdefghi$(host)", 10, "abcdefghi"},
      {"ab$(host)cdefgh", 10, "abalphacd"},    {"a$(host", LINE_SIZE, "aalpha"},
      {"a$(", LINE_SIZE, "a"},                 {"$(host)", 1, ""},
  };
  for (const auto &c : cases) EXPECT_EQ(replace(c.text, c.bfsz), c.want) << c.text;
  char buf[LINE_SIZE] = "$(host)$(host)";
  ini_replace(ini.get(), buf, buf, LINE_SIZE);
  EXPECT_STREQ(buf, "alphaalpha");
  EXPECT_EQ(replace(nullptr, LINE_SIZE), "untouched");
}

// The ordinary resolving at load, and its log lines, run end to end (scenario dat-format);
// here are the texts that could make it loop or overrun.
TEST_F(IniTest, ProcessEndsOnLoopsAndOpenReferences) {
  const std::vector<std::pair<std::string, std::string>> settings = {
      {"twice", "$(host):$(host)"}, {"open", "$(host"},        {"self", "$(self):/bin"},
      {"loop_b", "$(loop_c)"},      {"loop_c", "$(loop_b)"},  {"long", "$(big)$(big)"},
      {"big", std::string(600, 'b')},
  };
  std::vector<SettingList> table = kBase;
  for (const auto &[name, text] : settings) table.push_back({name, text, Ini_Replace});
  setup(table);
  EXPECT_EQ(ini_process(ini.get()), 1);  // ends, though loop_b and loop_c refer to each other
  EXPECT_STREQ(value("twice"), "alpha:alpha");
  EXPECT_STREQ(value("open"), "$(host");
  EXPECT_STREQ(value("self"), "$(self):/bin");       // a self-reference is left unfilled
  EXPECT_EQ(value("long"), std::string(999, 'b'));  // cut at the value limit
}

// The lines of the file and their log run end to end (scenario dat-format).
TEST_F(IniTest, LoadDatfileBuildsTheTable) {
  std::string text = "# six declarations fill the first ten entries exactly\n";
  for (int i = 1; i <= 6; i++) text += "s" + std::to_string(i) + " v\n";
  put("install.dat", text);
  ASSERT_EQ(load_datfile(ini.get(), p("install.dat").c_str()), 1);
  EXPECT_EQ(ini->items, 10);
  EXPECT_TRUE(_settings->back().setting.empty());  // so one more entry ends the table
  // Built-ins other than action are fixed; declarations hold one value, never empty.
  EXPECT_EQ(add("system_dir", "/x"), -1);
  EXPECT_EQ(add("action", "upgrade"), 1);
  EXPECT_EQ(add("s1", ""), -1);
  EXPECT_EQ(add("s1", "w"), 1);
  EXPECT_EQ(values("s1"), Strings{"w"});
  clear_datfile();
  clear_datfile();
  EXPECT_EQ(_settings, nullptr);
  EXPECT_STREQ(value("system_dir"), "/etc");  // the store keeps its own copies
}

}  // namespace
