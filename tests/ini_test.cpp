// The settings store, its substitution and the defaults file. What a run shows of them runs
// end to end: the defaults file's lines and resolving at load (scenarios dat-format and
// dat-references); fixed, empty and created values and their log lines (dat-later-values).
#include "ini.h"
#include "scratch.h"
#include "shared.h"

using namespace installer;
using Strings = std::vector<std::string>;

namespace {

// The modes a run never gives a setting are set up here: no default, path, password.
// clang-format off
const std::vector<SettingList> kBase = {
    {"host", "alpha", Ini_Fixed | Ini_Replace}, {"nodflt", std::nullopt, Ini_Replace},
    {"raw", "$(host)", Ini_None},               {"secret", "old", Ini_Pass},
    {"dir", "", Ini_Path}};
// clang-format on

class IniTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ini_setup(ini.get(), &kBase, nullptr, 1);
  }
  void TearDown() override {
    clear_datfile();
    ScratchTest::TearDown();
  }

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

// An add's result: 1 taken, -1 refused by the setting's mode, 0 nothing to add to.
TEST_F(IniTest, AddsFollowTheSettingsModes) {
  const std::string long_path(LINE_SIZE + 50, 'p');
  struct Step {
    const char *name, *value;
    int result;
    Strings held;
  };
  // clang-format off
  const Step steps[] = {
      {"nodflt", "a", 1, {"a"}},       {"nodflt", "b", 1, {"b"}},       {"nodflt", "", -1, {"b"}},
      {"host", "beta", -1, {"alpha"}}, {"dir", "a\\b/c", 1, {"a/b/c"}},
      {"dir", long_path.c_str(), 1, {long_path.substr(0, LINE_SIZE - 1)}},
      {"secret", "hunter2", 1, {"hunter2"}}};
  // clang-format on
  for (const auto &s : steps) {
    EXPECT_EQ(add(s.name, s.value), s.result) << s.name;
    EXPECT_EQ(values(s.name), s.held) << s.name;
  }
  EXPECT_TRUE(logged("Debug: Ini value for 'secret' set to 'xxxx'"));
  EXPECT_FALSE(logged("hunter2"));
  ini->mode &= ~Ini_UseNew;  // a name not in the table is then not added
  EXPECT_TRUE(add("unknown", "x") == 0 && values("unknown").empty());
  ini->mode |= Ini_UseNew;
  // Nothing to add to, or nothing to add: 0, and no setting is read outside the table.
  auto bare = ini_init();  // no table yet
  for (int n : {ini_add_name(bare.get(), "a", "b"), ini_process(bare.get()),
                create_setting(bare.get(), "a", "b"), ini_add_name(nullptr, "a", "b"),
                create_setting(nullptr, "a", "b"), ini_add_name(ini.get(), nullptr, "b"),
                create_setting(ini.get(), nullptr, "b"), add("a", nullptr),
                create_setting(ini.get(), "a", nullptr), do_add(ini.get(), 0, nullptr),
                do_add(ini.get(), ini->items, "b")})
    EXPECT_EQ(n, 0);
  for (const char *none : {ini_value(ini.get(), -1), ini_value(ini.get(), ini->items),
                           ini_value(nullptr, 0), ini_value_name(nullptr, "host")})
    EXPECT_EQ(none, nullptr);
  ini_setup(nullptr, &kBase, nullptr, 1);
  EXPECT_EQ(ini_state(nullptr), IniState{});
  ini->mode &= ~Ini_NewEmpty;  // an empty value then makes no new setting
  EXPECT_TRUE(add("fresh", "") == -1 && !value("fresh"));

  // Adding a value the store itself returned must survive the old value's release.
  EXPECT_TRUE(add("nodflt", value("nodflt")) == 1 && values("nodflt") == Strings{"b"});
  // A new value goes in front of the cursor: behind the values read, before the rest.
  EXPECT_EQ(add("flag", "false") + add("flag", "true"), 2);
  EXPECT_EQ(values("flag"), (Strings{"false", "true"}));
  EXPECT_STREQ(value("flag"), "false");
  EXPECT_TRUE(add("read", "false") == 1 && value("read") && add("read", "true") == 1);
  EXPECT_EQ(values("read"), (Strings{"true", "false"}));
  EXPECT_STREQ(value("read"), "true");
  // A filter runs on the values of the settings its flag names, and no others.
  const std::vector<SettingList> table = {{"f", std::nullopt, 0x40}, {"g", std::nullopt, 0x80}};
  ini_setup(ini.get(), &table, nullptr, 1);
  EXPECT_EQ(add("g", "y"), 1);  // no filter at all yet
  ini->xtra = array_init<Xtra>();
  array_add(ini->xtra.get(),
            std::make_unique<Xtra>(Xtra{[](const std::string &v) { return v + "!"; }, 0x40}));
  EXPECT_EQ(add("f", "x") + add("g", "y"), 2);
  EXPECT_EQ(std::pair(values("f"), values("g")), std::pair(Strings{"x!"}, Strings{"y"}));
}

// The name index must follow the table through growth and find the first setting of a name
// (ignoring case when the defaults resolve: scenario dat-references).
TEST_F(IniTest, LookupsFindTheFirstSettingOfAName) {
  auto name = [](int i) { return std::string("n").append(std::to_string(i)); };
  for (int i = 0; i < 200; i++) add(name(i).c_str(), std::to_string(i).c_str());
  for (int i = 0; i < 200; i += 37) EXPECT_EQ(value(name(i).c_str()), std::to_string(i));
  EXPECT_EQ(add("HOST", "beta"), 1);  // a second setting, not the fixed one
  EXPECT_STREQ(value("host"), "alpha");
  EXPECT_STREQ(value("HOST"), "beta");
}

// The question loop takes two equal states for one: every change a read could see must
// change the state, and undoing it must give the earlier state back.
TEST_F(IniTest, StateFollowsWhatReadsCanSee) {
  auto state = [this] { return ini_state(ini.get()); };
  value("host");  // set up with the cursor behind the value: the read moves it
  const IniState start = state();
  value("host");
  value("nosuch");
  EXPECT_EQ(state(), start);
  add("nodflt", "a");
  const IniState one = state();
  add("nodflt", "b");
  EXPECT_NE(state(), one);
  add("nodflt", "a");
  EXPECT_EQ(state(), one);
  add("multi", "x");
  const IniState created = state();
  value("multi");  // now the next add goes in front
  EXPECT_TRUE(start != one && one != created && created != state());
  // No value, and one empty value with the cursor on it, are two states.
  const std::vector<SettingList> empty = {{"e", std::nullopt, Ini_Empty}};
  ini_setup(ini.get(), &empty, nullptr, 1);
  const IniState none = state();
  add("e", "");
  value("e");
  EXPECT_NE(state(), none);
}

TEST_F(IniTest, FillingStopsWhereItMust) {
  auto replace = [this](const char *text, unsigned bfsz) {
    char result[LINE_SIZE] = "untouched";
    ini_replace(ini.get(), text, result, bfsz);
    return std::string(result);
  };
  const std::string longest = "$(" + std::string(LINE_SIZE, 'n') + ")";
  struct Case {
    const char *text;
    unsigned bfsz;
    const char *want;
  };
  // clang-format off
  const Case cases[] = {
      {"//$(host)/cgi-bin", LINE_SIZE, "//alpha/cgi-bin"}, {"a$(nohost)b", LINE_SIZE, "ab"},
      {"abcdefghij$(host)", 10, "abcdefghi"},              {"abcdefghi$(host)", 10, "abcdefghi"},
      {"ab$(host)cdefgh", 10, "abalphacd"},                {"a$(host", LINE_SIZE, "aalpha"},
      {"$(host)", 1, ""},
      {"x$(raw)y", LINE_SIZE, "x$(host)y"},  // an inserted value is not scanned again
      {"a$(\0h)tail", LINE_SIZE, "a"},      // nothing past the end is read
      {longest.c_str(), LINE_SIZE, "n)"}};  // a name is cut at 999 characters
  // clang-format on

  for (const auto &c : cases) EXPECT_EQ(replace(c.text, c.bfsz), c.want) << c.text;
  char buf[LINE_SIZE] = "$(host)$(host)";
  ini_replace(ini.get(), buf, buf, LINE_SIZE);
  EXPECT_STREQ(buf, "alphaalpha");
  EXPECT_EQ(replace(nullptr, LINE_SIZE), "untouched");
  // However long a chain of references, one value is rewritten at most 1000 times.
  std::vector<SettingList> chain;
  for (int i = 0; i < 1002; i++)
    chain.push_back({"s" + std::to_string(i), "$(s" + std::to_string(i + 1) + ")", Ini_Replace});
  ini_setup(ini.get(), &chain, nullptr, 1);
  EXPECT_EQ(ini_process(ini.get()), 1);
  EXPECT_STREQ(value("s0"), "$(s1001)");
}

}  // namespace
