// The disk model behind the seam: the installer's copy engine runs over it, each command
// sees what the ones before it changed, and the real disk never changes. Where a plan stops
// is held to the real run by the plan scenarios and plan_diff.sh.
#include "disk_model.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "copy.h"
#include "ini.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;
using installer::tool::Change;

// Every entry below root with its kind, mode and bytes: what a run may not change.
std::map<std::string, std::string> snapshot(const std::string &root) {
  std::map<std::string, std::string> out;
  for (const auto &e : fs::recursive_directory_iterator(root)) {
    fs::file_status st = fs::symlink_status(e.path());
    std::ostringstream row;
    row << static_cast<int>(st.type()) << ' ' << static_cast<int>(st.permissions());
    if (e.path().filename() == "test.log") continue;  // the test's own log
    if (fs::is_regular_file(st)) row << ' ' << std::ifstream(e.path()).rdbuf();
    out[e.path().string()] = row.str();
  }
  return out;
}

class DiskModelTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ini = installer::ini_init();
    std::vector<installer::SettingList> none(1);  // a store with no settings yet
    installer::ini_setup(ini.get(), &none, nullptr, 0);
  }

  // Runs copy-script lines ("@" stands for the scratch folder) through the engine, over the
  // model, stopping at the first failure as an install does.
  int run(const std::vector<std::string> &lines) {
    auto copy = installer::copy_init(ini.get());
    int number = 1;
    for (std::string line : lines) {
      for (std::size_t at; (at = line.find('@')) != std::string::npos;) line.replace(at, 1, root);
      installer::copy_parse_line(copy.get(), line.c_str(), number++);
    }
    copy->before = [&](unsigned i) { model.begin(copy->list[i].line, "cmd"); };
    installer::SysGuard guard;
    installer::sys() = model.calls(log->F);
    return installer::copy_process(copy.get(), nullptr, nullptr, 1);
  }

  std::unique_ptr<installer::Ini> ini;
  installer::tool::DiskModel model;
};

TEST_F(DiskModelTest, CommandsSeeEachOtherAndLeaveTheDiskAsItWas) {
  put("src/a.txt", "hello");
  put("same/a.txt", "hello");
  put("old/x", "x");
  auto before = snapshot(root);
  ASSERT_EQ(
      run({"MkDir @/new/deep", "CopyFile @/src/* - @/new/deep", "CopyFile @/src/a.txt - @/same",
           "WFile @/new/v.txt value", "Rename @/new/v.txt @/new/w.txt", "RFile @/new/w.txt got",
           "Chmod @/new/deep/a.txt - 600", "RmDir @/old -"}),
      1);
  EXPECT_EQ(snapshot(root), before);
  EXPECT_STREQ(installer::ini_value_name(ini.get(), "got"), "value");

  std::vector<Change> net = model.net_effect();
  std::vector<std::string> shown;
  for (const Change &c : net) shown.push_back(std::string(1, c.op) + " " + c.path);
  EXPECT_EQ(shown, (std::vector<std::string>{"+ " + p("new"), "+ " + p("new/deep"),
                                             "+ " + p("new/deep/a.txt"), "+ " + p("new/w.txt"),
                                             "- " + p("old"), "- " + p("old/x")}));
  ASSERT_EQ(net.size(), 6u);
  const Change &copied = net[2], &written = net[3];
  ASSERT_TRUE(copied.after && written.after);
  EXPECT_EQ(copied.after->mode, mode_t{0600});
  EXPECT_EQ(copied.after->size, 5);
  EXPECT_EQ(copied.after->source, p("src/a.txt"));
  EXPECT_EQ(copied.line, 7);  // the Chmod acted on it last
  EXPECT_EQ(written.after->size, 5);
  EXPECT_EQ(written.after->source, std::nullopt);
}

TEST_F(DiskModelTest, AChangeThatLeavesAnEntryAsItWasIsNoChange) {
  put("a.txt", "same");
  fs::permissions(p("a.txt"), fs::perms(0640));
  ASSERT_EQ(run({"WFile @/a.txt same", "Chmod @/a.txt - 640", "WFile @/b.txt new",
                 "WFile @/b.txt newer"}),
            1);
  std::vector<Change> net = model.net_effect();
  ASSERT_EQ(net.size(), 1u);
  EXPECT_EQ(net[0].path, p("b.txt"));
  EXPECT_EQ(net[0].after->size, 5);
  EXPECT_EQ(net[0].line, 4);
}

}  // namespace
