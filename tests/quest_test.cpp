// The question loader's sections and the refusals' error text. The dialogue itself (defaults
// shown, each type's checks and refusals, the prompt's wrapping at its edges, quit, back, end
// of input) is covered end to end by the quest-* scenarios.
#include "quest.h"

#include <cerrno>

#include "scratch.h"

using namespace installer;

namespace {

class QuestTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ini = ini_init();
    std::vector<SettingList> table = {{"target", "old", Ini_Replace}};
    ini_setup(ini.get(), &table, nullptr, 1);
    q = quest_init(ini.get());
  }
  void TearDown() override {
    quest_free(&q);
    ini_free(&ini);
    ScratchTest::TearDown();
  }
  // Loads the section "install" of this file in place of the one held.
  int load(const std::string &file) {
    quest_clear(q.get());
    put("install.q", file);
    return quest_load(q.get(), p("install.q").c_str(), "install");
  }

  std::unique_ptr<Ini> ini;
  std::unique_ptr<Questions> q;
};

TEST_F(QuestTest, SectionsAndReloading) {
  EXPECT_EQ(load("[ install ]\nText a - - h Q\n"), 0);  // blanks count
  EXPECT_TRUE(logged("Error: Section 'install' not found"));
  EXPECT_EQ(load("[install\nText a - - h Q\n"), 1);  // no closing bracket
  EXPECT_EQ(quest_count(q.get()), 1);
  EXPECT_STREQ(quest_text(q.get(), 0), "Q");
  // The section held is not read again; another one replaces it.
  std::filesystem::remove(p("install.q"));
  EXPECT_EQ(quest_load(q.get(), p("install.q").c_str(), "INSTALL"), 1);
  EXPECT_EQ(quest_count(q.get()), 1);
  errno = 0;
  EXPECT_EQ(quest_load(q.get(), p("install.q").c_str(), "upgrade"), 0);
  EXPECT_EQ(quest_count(q.get()), 0);
  EXPECT_EQ(quest_error(), "Error opening '" + p("install.q") + "', No such file or directory");
}

// A refusal ends with the text of the error number current in the process, as defined, or
// with that of the error handed over; 0 hands over none, whatever the process holds.
TEST_F(QuestTest, AnErrorEndsWithTheSystemTextItIsGiven) {
  errno = EACCES;
  quest_seterror("Left %s", "over");
  EXPECT_STREQ(quest_error(), "Left over, Permission denied");
  quest_seterror_at(0, "You must enter an answer");
  EXPECT_STREQ(quest_error(), "You must enter an answer");
  quest_seterror_at(ENOENT, "File '%s' must exist", "x");
  EXPECT_STREQ(quest_error(), "File 'x' must exist, No such file or directory");
  EXPECT_EQ(errno, EACCES);
  EXPECT_TRUE(logged("Error: Left over, Permission denied"));
  EXPECT_TRUE(logged("Error: You must enter an answer"));
  quest_seterror(nullptr);
  EXPECT_STREQ(quest_error(), "File 'x' must exist, No such file or directory");
}

}  // namespace
