// The log: its lines, the queue of early errors, rotation, and the files it refuses.
#include <unistd.h>

#include <regex>

#include "scratch.h"

using namespace installer;
namespace fs = std::filesystem;

namespace {

// The scratch fixture's own log is put aside: these tests make their own.
class LogTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    log_set(nullptr);
    log_free(&log);
    path_ = p("install.log");
  }
  std::unique_ptr<Log> opened(LogLevel level) const {
    auto log = log_init(level);
    log_set(log.get());
    log_doflush(log.get(), 1);
    EXPECT_EQ(log_open(log.get(), path_.c_str()), 1);
    return log;
  }

  std::string path_;
};

}  // namespace

// A name or value holding control characters cannot start a line of its own: they are
// escaped, and the cut at 999 characters counts the escapes and never splits one.
TEST_F(LogTest, LineFormatLevelsAndEscapes) {
  auto log = opened(LogInfo);
  emsg("bad %s", "thing");
  imsg("count %d", 3);
  dmsg("not at this level");
  imsg("%s", std::string(1500, 'x').c_str());
  emsg("Not following link '%s', owned by uid %d", "a\nMon Jan  5 09:03:07  [1] Info: forged",
       4600);
  imsg("value '%s'", "tab\there\r\x1b[31m\x7f\x01 end");
  imsg("%s%s", std::string(998, 'x').c_str(), "\n");
  auto got = log_lines("install.log");
  ASSERT_EQ(got.size(), 6u);
  std::string first = get("install.log");
  first.resize(first.find('\n'));
  // asctime's first 20 characters end with a blank, so two blanks precede the bracket.
  std::regex shape(R"(^\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d  \[\d+\] Error: bad thing$)");
  EXPECT_TRUE(std::regex_match(first, shape)) << first;
  EXPECT_EQ(first.find("[" + std::to_string(getpid()) + "]"), 21u);
  const std::string want[] = {
      "Info: count 3", "Info: " + std::string(999, 'x'),
      "Error: Not following link 'a\\nMon Jan  5 09:03:07  [1] Info: forged', owned by uid 4600",
      "Info: value 'tab\\there\\r\\x1b[31m\\x7f\\x01 end'",
      "Info: " + std::string(998, 'x')};  // "\\n" would pass 999
  for (int i = 0; i < 5; i++) EXPECT_EQ(got[i + 1], want[i]);
  EXPECT_EQ(log->Lines, 6);  // the debug line was skipped and not counted
  log_free(&log);
  EXPECT_EQ(log_current(), nullptr);
  log_close(nullptr);  // nothing to close or free
  log_free(nullptr);
}

// Errors before a log is current wait for it, other lines are dropped; a log of level none
// takes the waiting errors and writes nothing.
TEST_F(LogTest, ErrorsWaitForALog) {
  auto log = log_init(LogDebug);
  log_set(log.get());
  emsg("nowhere");  // a current log not yet opened drops the line
  EXPECT_EQ(log->Lines, 0);
  EXPECT_EQ(log_queue(), nullptr);
  EXPECT_EQ(log_open(nullptr, "x") + log_open(log.get(), nullptr) + log_rotate(nullptr), 0);
  log_set(nullptr);
  for (int i : {1, 2}) emsg("early %d", i);
  imsg("info is never queued");
  check_emsglog();  // with no log to drain into, the errors wait
  ASSERT_NE(log_queue(), nullptr);
  EXPECT_EQ(log_queue()->items, 2);
  log_doflush(log.get(), 1);
  ASSERT_EQ(log_open(log.get(), path_.c_str()), 1);  // no current log: it drains the queue
  EXPECT_EQ(log_current(), log.get());
  EXPECT_EQ(log_queue(), nullptr);
  imsg("later");
  EXPECT_EQ(log_lines("install.log"),
            (std::vector<std::string>{"Error: early 1", "Error: early 2", "Info: later"}));
  log_set(nullptr);
  auto quiet = log_init(LogNone);
  log_set(quiet.get());
  emsg("kept for later");
  imsg("dropped");
  EXPECT_EQ(log_queue()->items, 1);
  log_set(nullptr);
  ASSERT_EQ(log_open(quiet.get(), p("other.log").c_str()), 1);
  EXPECT_EQ(log_queue(), nullptr);  // drained into a log that writes nothing: lost
  EXPECT_EQ(fs::file_size(p("other.log")), 0u);
}

TEST_F(LogTest, RotatesIntoNumberedFiles) {
  std::ofstream(path_) << std::string(2 * 1024 * 1024, 'o');
  auto log = opened(LogDebug);
  EXPECT_EQ(log->Size, 2u * 1024 * 1024);
  imsg("tips it over");  // the existing size counts, so this line rotates at once
  EXPECT_EQ(fs::file_size(path_), 0u);
  ASSERT_TRUE(fs::exists(path_ + "0"));
  EXPECT_EQ(log_lines("install.log0").back(), "Info: tips it over");
  imsg("first of the new file");
  EXPECT_EQ(log_lines("install.log")[0], "Info: first of the new file");

  // A line that brings the log to exactly its limit rotates it.
  std::size_t before = log->Size;
  imsg("first of the new file");
  log->Rotate = log->Size + (log->Size - before);
  imsg("first of the new file");
  EXPECT_EQ(log->Size, 0u);

  // Five more rotations: numbered files shift up and the oldest falls off after 4.
  log->Rotate = 1;
  for (int i = 0; i < 5; i++) imsg("rotation %d", i);
  EXPECT_EQ(log_lines("install.log0").back(), "Info: rotation 4");
  EXPECT_EQ(log_lines("install.log4").back(), "Info: rotation 0");
  EXPECT_FALSE(fs::exists(path_ + "5"));
  for (auto &e : fs::directory_iterator(root))  // no temporary of a rotation is left
    EXPECT_NE(e.path().filename().string().rfind("install.log.", 0), 0u) << e;
  EXPECT_EQ(log->Lines, 9);
}

// The log is written only into a plain file of the installer's own with one name, closed to
// others first; another user's log is left alone end to end (harden-log).
TEST_F(LogTest, OnlyItsOwnFileIsWritten) {
  { std::ofstream(path_) << "old\n"; }
  fs::permissions(path_, fs::perms(0644));
  auto log = log_init(LogDebug);
  ASSERT_EQ(log_open(log.get(), path_.c_str()), 1);
  EXPECT_FALSE(log_refused());
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0600));
  log_close(log.get());
  fs::permissions(path_, fs::perms(0700));  // closed to others already: the owner's bits stay
  ASSERT_EQ(log_open(log.get(), path_.c_str()), 1);
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0700));
  log_doflush(log.get(), 1);
  log_line(log.get(), "a closed log opens again", LogError);
  EXPECT_EQ(log_lines("install.log").back(), "Error: a closed log opens again");
  std::string elsewhere = p("elsewhere");
  std::ofstream(elsewhere) << "keep\n";
  // A link, a second name, the same found only once opened, a pipe.
  for (int form = 0; form < 4; form++) {
    SCOPED_TRACE(form);
    fs::remove(path_);
    if (form == 0) fs::create_symlink(elsewhere, path_);
    if (form == 1 || form == 2) fs::create_hard_link(elsewhere, path_);
    if (form == 3) ::mkfifo(path_.c_str(), 0600);
    SysGuard guard;
    if (form == 2) sys().fstatat = [](int, const char *, struct stat *, int) { return -1; };
    auto other = log_init(LogDebug);
    EXPECT_EQ(log_open(other.get(), path_.c_str()), 0);
    EXPECT_TRUE(log_refused());
    log_line(other.get(), "never", LogError);
  }
  EXPECT_EQ(log_lines("elsewhere"), std::vector<std::string>{"keep"});
  int opened = -1;  // no stream to write through: the file is closed again
  sys().fdopen = [&opened](int fd, const char *) -> std::FILE * { return opened = fd, nullptr; };
  EXPECT_TRUE(!log_open(log.get(), p("fresh.log").c_str()) && ::close(opened) != 0);
}
