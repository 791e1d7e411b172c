// The loaders: the file line each read is counted to, what no loader takes, the question
// file's sections and its error text. What the parsers keep and note is install-check's
// output (tests/check); the dialogue runs end to end in the quest-* scenarios.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "copy.h"
#include "init.h"
#include "quest.h"
#include "scratch.h"
#include "shared.h"

using namespace installer;

namespace {

// Every read a loader would see of text, as "number.piece:text".
std::vector<std::string> reads(std::string text, const char *section = nullptr) {
  std::vector<std::string> got;
  OwnedFile f(fmemopen(text.data(), text.size(), "r"));
  auto each = [&got](const Line &l) {
    got.push_back(std::to_string(l.number) + "." + std::to_string(l.piece) + ":" + l.text);
    return true;
  };
  if (!section) read_lines(f.get(), each);
  if (section) got.push_back(read_section(f.get(), section, each) ? "found" : "missing");
  return got;
}

}  // namespace

TEST(Reading, LongLinesKeepTheirFileLineAndSectionsEndAtTheNextHeader) {
  // 999 characters then a line end: the end comes as an empty read of the same line.
  std::string exact(LINE_SIZE - 1, 'a'), longer(LINE_SIZE + 5, 'b');
  std::vector<std::string> want = {"1.0:" + exact, "2.0:" + longer.substr(0, LINE_SIZE - 1),
                                   "2.1:bbbbbb", "4.0:x"};
  EXPECT_EQ(reads(exact + "\n" + longer + "\n  # note\n\t x \r\n"), want);
  EXPECT_EQ(reads("last"), std::vector<std::string>{"1.0:last"});
  std::string text = "a\n[Install]\nb\n\n[other\nc\n[install]\nd\n";
  EXPECT_EQ(reads(text, "install"), (std::vector<std::string>{"3.0:b", "found"}));
  EXPECT_EQ(reads(text, "other"), (std::vector<std::string>{"6.0:c", "found"}));
  EXPECT_EQ(reads(text, "none"), std::vector<std::string>{"missing"});
}

// Every loader opens its file as content is opened: a pipe or a device fails at once
// instead of blocking or reading for ever, and so does a file over the size cap.
class Loader : public ScratchTest {};

TEST_F(Loader, PipesDevicesAndOversizedFilesFailToLoad) {
  ASSERT_EQ(mkfifo(p("fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", p("zero").c_str()), 0);
  put("huge", "");
  ASSERT_EQ(truncate(p("huge").c_str(), FILE_TEXT_MAX + 1), 0);  // sparse: no disk used
  for (const char *name : {"fifo", "zero", "huge"}) {
    SCOPED_TRACE(name);
    std::string path = p(name);
    auto ini = ini_init();
    EXPECT_EQ(load_datfile(ini.get(), path.c_str()), 0);
    auto init = init_init();
    EXPECT_EQ(init_load(init.get(), path.c_str()), 0);
    EXPECT_NE(init_error(), nullptr);
    auto q = quest_init(ini.get());
    EXPECT_EQ(quest_load(q.get(), path.c_str(), "install"), 0);
    auto c = copy_init(ini.get());
    EXPECT_EQ(copy_load(c.get(), path.c_str(), "install"), 0);
  }
  errno = 0;
  EXPECT_EQ(file_open_read(p("huge").c_str()), nullptr);
  EXPECT_EQ(errno, EFBIG);
  // At the cap exactly, the file is read.
  ASSERT_EQ(truncate(p("huge").c_str(), FILE_TEXT_MAX), 0);
  OwnedFile f(file_open_read(p("huge").c_str()));
  EXPECT_NE(f, nullptr);
}

// A question file's section: blanks in its header count, a missing closing bracket does not;
// the section held is not read again, another one replaces it.
TEST_F(Loader, QuestionSectionsAndReloading) {
  auto ini = ini_init();
  auto q = quest_init(ini.get());
  put("install.q", "[ install ]\nText a - - h Q\n");
  EXPECT_EQ(quest_load(q.get(), p("install.q").c_str(), "install"), 0);
  EXPECT_TRUE(logged("Error: Section 'install' not found"));
  put("install.q", "[install\nText a - - h Q\nText b - -\n");
  EXPECT_EQ(quest_load(q.get(), p("install.q").c_str(), "install"), 1);
  EXPECT_EQ(quest_count(q.get()), 1);
  EXPECT_STREQ(quest_text(q.get(), 0), "Q");
  EXPECT_EQ(quest_setting(q.get(), 1), nullptr);  // the line dropped is no question
  char answer[] = "x";
  EXPECT_EQ(quest_answer(q.get(), 0, answer), 1);
  EXPECT_EQ(quest_answer(q.get(), 0, nullptr) + quest_answer(q.get(), 1, answer) +
                quest_ask(q.get(), 0, nullptr, 8) + quest_load(nullptr, "x", "s") +
                quest_load(q.get(), nullptr, "s") + quest_load(q.get(), "x", nullptr) +
                quest_count(nullptr) + load_datfile(nullptr, p("install.q").c_str()),
            0);
  EXPECT_EQ(quest_setting(nullptr, 0), nullptr);
  quest_free(nullptr);
  std::filesystem::remove(p("install.q"));
  EXPECT_EQ(quest_load(q.get(), p("install.q").c_str(), "INSTALL"), 1);
  EXPECT_EQ(quest_count(q.get()), 1);
  errno = 0;
  EXPECT_EQ(quest_load(q.get(), p("install.q").c_str(), "upgrade"), 0);
  EXPECT_EQ(quest_count(q.get()), 0);
  EXPECT_EQ(quest_error(), "Error opening '" + p("install.q") + "', No such file or directory");
  quest_free(&q);
  EXPECT_EQ(q, nullptr);
  quest_clear(nullptr);
  quest_parse_line(nullptr, "Text a - - h Q", 1);
  put("install.dat", "");  // with no working folder, current_dir is empty, not left unset
  sys().getcwd = [](char *, std::size_t) -> char * { return errno = ENOENT, nullptr; };
  ASSERT_EQ(load_datfile(ini.get(), p("install.dat").c_str()), 1);
  EXPECT_STREQ(ini_value_name(ini.get(), "current_dir"), "");
}

// A refusal ends with the text of the error number current in the process, as defined, or
// with that of the error handed over; 0 hands over none, whatever the process holds.
TEST_F(Loader, AQuestionsErrorEndsWithTheSystemTextItIsGiven) {
  errno = EACCES;
  quest_seterror("Left %s", "over");
  EXPECT_STREQ(quest_error(), "Left over, Permission denied");
  quest_seterror_at(0, "You must enter an answer");
  EXPECT_STREQ(quest_error(), "You must enter an answer");
  quest_seterror_at(ENOENT, "File '%s' must exist", "x");
  EXPECT_STREQ(quest_error(), "File 'x' must exist, No such file or directory");
  EXPECT_EQ(errno, EACCES);
  EXPECT_TRUE(logged("Error: Left over, Permission denied"));
  quest_seterror(nullptr);
  EXPECT_STREQ(quest_error(), "File 'x' must exist, No such file or directory");
}
