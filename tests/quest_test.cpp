#include "quest.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log.h"

namespace fs = std::filesystem;
using namespace installer;

namespace {

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class QuestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quest_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    log = log_init(LogDebug);
    log_set(log.get());
    log_open(log.get(), (root + "/test.log").c_str());
    log_doflush(log.get(), 1);
    ini = ini_init();
    std::vector<SettingList> table = {{"product", "Demo", Ini_Replace},
                                      {"ssl", "yes", Ini_Replace},
                                      {"empty", std::nullopt, Ini_Replace},
                                      {"target", "old", Ini_Replace}};
    ini_setup(ini.get(), &table, nullptr, 1);
    q = quest_init(ini.get());
  }
  void TearDown() override {
    quest_free(&q);
    ini_free(&ini);
    log_set(nullptr);
    log_free(&log);
    fs::remove_all(root);
  }
  std::string p(const std::string &rel) const { return root + "/" + rel; }
  void put(const std::string &rel, const std::string &text) {
    std::ofstream(p(rel), std::ios::binary) << text;
  }
  std::string logged() const { return slurp(p("test.log")); }
  // Loads a one-section question file made of the given lines.
  int load(const std::string &lines, const char *section = "install") {
    put("install.q", "[install]\n" + lines);
    return quest_load(q.get(), p("install.q").c_str(), section);
  }

  // Asks question `index` with `typed` on standard input; returns what was printed.
  std::string ask(unsigned index, const std::string &typed, int *rc, char *answer) {
    put("stdin", typed);
    EXPECT_NE(std::freopen(p("stdin").c_str(), "r", stdin), nullptr);
    std::fflush(stdout);
    int saved = dup(1);
    int fd = open(p("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    close(fd);
    *rc = quest_ask(q.get(), index, answer, LINE_SIZE);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return slurp(p("stdout"));
  }

  std::string root;
  std::unique_ptr<Log> log;
  std::unique_ptr<Ini> ini;
  std::unique_ptr<Questions> q;
};

TEST_F(QuestTest, SectionHeadersMatchIgnoringCaseButNotBlanks) {
  struct Case {
    const char *file;
    const char *request;
    int loaded;
  } cases[] = {
      {"[install]\nText a - - h Q\n", "INSTALL", 1},
      {"[ install ]\nText a - - h Q\n", "install", 0},
      {"[install\nText a - - h Q\n", "install", 1},
      {"Text x - - h before\n[other]\nText y - - h Q\n[Install]\nText a - - h Q\n[next]\n"
       "Text z - - h after\n",
       "install", 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    auto x = quest_init(ini.get());
    put("s.q", c.file);
    EXPECT_EQ(quest_load(x.get(), p("s.q").c_str(), c.request), c.loaded);
    EXPECT_EQ(quest_count(x.get()), c.loaded);
    if (c.loaded) {
      EXPECT_STREQ(quest_setting(x.get(), 0), "a");
    }
  }
  EXPECT_NE(logged().find("Error: Section 'install' not found"), std::string::npos);
}

TEST_F(QuestTest, EachLineFormStoresItsFields) {
  ASSERT_EQ(load("# comment\n"
                 "Text product - - h1 Product name?\n"
                 "yn ssl usessl yes h2   Use SSL\\n(yes or no)  \n"
                 "Exist /etc/passwd haspw extra\n"
                 "Loop again 3 more\n"
                 "Error bad h3 Cannot \\\\go\\ton\\\n"
                 "Copy dst ctl - h4 src\n"
                 "Bogus x - - h5 Hello there\n"),
            1);
  ASSERT_EQ(quest_count(q.get()), 7);
  struct Want {
    int type;
    const char *setting, *control, *cmp, *text;
  } want[] = {
      {QText, "product", nullptr, nullptr, "Product name?"},
      {QYN, "ssl", "usessl", "yes", "Use SSL\n(yes or no)"},
      {QXExist, "haspw", nullptr, nullptr, "/etc/passwd"},
      {QLoop, "again", nullptr, nullptr, "3"},
      {QError, "bad", nullptr, nullptr, "Cannot \\go\ton"},
      {QCopy, "dst", "ctl", nullptr, "src"},
      {0, "x", nullptr, nullptr, "Hello there"},
  };
  for (unsigned i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(quest_type(q.get(), i), want[i].type);
    EXPECT_STREQ(quest_setting(q.get(), i), want[i].setting);
    EXPECT_STREQ(quest_control(q.get(), i), want[i].control);
    EXPECT_STREQ(quest_control_cmp(q.get(), i), want[i].cmp);
    EXPECT_STREQ(quest_text(q.get(), i), want[i].text);
  }
  EXPECT_EQ(q->list[0].help_id, "h1");
  EXPECT_NE(logged().find("Error: Unknown question type 'Bogus'"), std::string::npos);
  EXPECT_EQ(quest_text(q.get(), 7), nullptr);
  EXPECT_EQ(quest_type(nullptr, 0), 0);
}

TEST_F(QuestTest, IncompleteLinesAreDroppedWithTheirMessage) {
  ASSERT_EQ(load("Text product - -\n"
                 "Text first - - h Q\n"
                 "Text\n"
                 "Text a\n"
                 "Text a b\n"
                 "Error e h\n"
                 "Exist /p\n"
                 "Loop a\n"
                 "Text a ctl cmp h\n"
                 "Exist /etc s\n"),
            1);
  // The first complete line is entry 0, and a dropped line leaves nothing in the next.
  ASSERT_EQ(quest_count(q.get()), 2);
  EXPECT_STREQ(quest_setting(q.get(), 0), "first");
  EXPECT_EQ(quest_type(q.get(), 1), QXExist);
  EXPECT_EQ(quest_control(q.get(), 1), nullptr);
  EXPECT_FALSE(q->list[1].help_id);
  std::string log_text = logged();
  std::size_t at = 0;
  for (const char *m : {"Missing Help ID text", "Missing setting label", "Missing control",
                        "Missing control comparison", "Missing question text",
                        "Missing Help ID text", "Missing Help ID text", "Missing question text"}) {
    at = log_text.find(std::string("Error: ") + m + "\n", at);
    ASSERT_NE(at, std::string::npos) << m;
    ++at;
  }
}

TEST_F(QuestTest, ListGrowsInStepsAndLoadingTheHeldSectionReadsNothing) {
  std::string lines;
  for (int i = 0; i < 12; ++i) lines += "Text s" + std::to_string(i) + " - - h Q\n";
  ASSERT_EQ(load(lines), 1);
  EXPECT_EQ(quest_count(q.get()), 12);
  EXPECT_EQ(q->list.size(), 15u);

  fs::remove(p("install.q"));
  EXPECT_EQ(quest_load(q.get(), p("install.q").c_str(), "INSTALL"), 1);
  EXPECT_EQ(quest_count(q.get()), 12);

  errno = 0;
  EXPECT_EQ(quest_load(q.get(), p("install.q").c_str(), "upgrade"), 0);
  EXPECT_EQ(quest_count(q.get()), 0);
  EXPECT_FALSE(q->section);
  EXPECT_EQ(quest_error(), "Error opening '" + p("install.q") + "', No such file or directory");
}

TEST_F(QuestTest, DefaultComesFromTheSetting) {
  ASSERT_EQ(load("YN ssl - - h SSL?\nText product - - h Name?\nText empty - - h E?\n"), 1);
  char buf[LINE_SIZE] = "untouched";
  EXPECT_STREQ(quest_default(q.get(), 0, buf, LINE_SIZE), "y");
  ini_add_name(ini.get(), "ssl", "maybe");
  EXPECT_STREQ(quest_default(q.get(), 0, buf, LINE_SIZE), "n");
  EXPECT_STREQ(quest_default(q.get(), 1, buf, 3), "De");
  scpy(buf, "untouched", LINE_SIZE);
  EXPECT_EQ(quest_default(q.get(), 2, buf, LINE_SIZE), nullptr);
  EXPECT_EQ(quest_default(q.get(), 3, buf, LINE_SIZE), nullptr);
  EXPECT_STREQ(buf, "untouched");
}

TEST_F(QuestTest, AskShowsTheDefaultAndReadsTheAnswer) {
  ASSERT_EQ(load("Text product - - h Install $(product) as?\nText empty - - h Name?\n"), 1);
  char answer[LINE_SIZE] = "";
  int rc = 0;
  EXPECT_EQ(ask(0, "\n", &rc, answer), "Install Demo as? [Demo]? ");
  EXPECT_EQ(rc, 1);
  EXPECT_STREQ(answer, "Demo");

  ask(0, "  spaced out \t\r\n", &rc, answer);
  EXPECT_STREQ(answer, "  spaced out");

  errno = 0;
  EXPECT_EQ(ask(1, "   \n", &rc, answer), "Name? []? ");
  EXPECT_EQ(rc, 0);
  EXPECT_STREQ(quest_error(), "You must enter an answer");

  scpy(answer, "before", LINE_SIZE);
  ask(1, "", &rc, answer);
  EXPECT_EQ(rc, QUEST_EOF);
  EXPECT_STREQ(answer, "before");
}

TEST_F(QuestTest, LongPromptsWrapAtEightyColumns) {
  // The prompt adds " []?" (4 characters) to the text.
  const std::string w10 = "abcdefghi ";
  struct Case {
    std::string text, shown;
  } cases[] = {
      {std::string(76, 'x'), std::string(76, 'x') + " []? "},
      {w10 + std::string(67, 'y'), w10 + std::string(67, 'y') + "\n[]? "},
      {std::string(100, 'z'), std::string(79, 'z') + "\n" + std::string(21, 'z') + " []? "},
      {std::string(75, 'a') + "  \tb" + std::string(6, 'c'),
       std::string(75, 'a') + "  \nb" + std::string(6, 'c') + " []? "},
  };
  for (const auto &c : cases) {
    load("Text empty - - h " + c.text + "\n", "install");
    char answer[LINE_SIZE];
    int rc = 0;
    EXPECT_EQ(ask(0, "x\n", &rc, answer), c.shown);
    quest_clear(q.get());
  }
}

TEST_F(QuestTest, AnswersAreCheckedByType) {
  fs::create_directories(p("full"));
  put("full/.hidden", "");
  put("plain", "");
  const std::string missing = "' must exist, No such file or directory";
  struct Case {
    const char *type;
    std::string answer;
    bool ok;
    std::string want;  // the stored value, or the error of a refusal
  } cases[] = {
      {"DirExist", root + "/", true, root},
      {"DirExist", p("plain"), true, p("plain")},
      {"DirExist", "/", false, "Directory '" + missing},
      {"DirExist", p("nope/"), false, "Directory '" + p("nope") + missing},
      {"FileExist", p("nope"), false, "File '" + p("nope") + missing},
      {"DirEmpty", p("nope"), true, p("nope")},
      {"DirEmpty", p("full"), false, "Directory '" + p("full") + "' must be empty"},
      {"YN", "Yes", true, "true"},
      {"YN", "No", true, "false"},
      {"YN", "maybe", false, "You must answer either Yes or No"},
      {"FileName", "/usr/local/bin/tool.sh", true, "tool"},
      {"Dir", "/a/b\\", true, "/a/b"},
      {"File", "/a/b/", true, "/a/b/"},
      {"Bogus", " as typed", true, " as typed"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.answer);
    quest_clear(q.get());
    ASSERT_EQ(load(std::string(c.type) + " target - - h Q\n"), 1);
    ini_add_name(ini.get(), "target", "old");
    char answer[LINE_SIZE];
    scpy(answer, c.answer.c_str(), LINE_SIZE);
    errno = 0;
    EXPECT_EQ(quest_answer(q.get(), 0, answer), c.ok);
    EXPECT_EQ(ini_value_name(ini.get(), "target"), c.ok ? c.want : "old");
    EXPECT_EQ(c.ok ? c.want : quest_error(), c.want);
  }
  EXPECT_NE(logged().find("Error: File '" + p("nope") + missing + "\n"), std::string::npos);

  // A walk that finds nothing clears a stale system error, so it cannot leak into the
  // next message.
  quest_clear(q.get());
  ASSERT_EQ(load("DirEmpty target - - h Q\n"), 1);
  char absent[LINE_SIZE];
  scpy(absent, p("nope").c_str(), LINE_SIZE);
  errno = EINVAL;
  EXPECT_EQ(quest_answer(q.get(), 0, absent), 1);
  EXPECT_EQ(errno, 0);
}

}  // namespace
