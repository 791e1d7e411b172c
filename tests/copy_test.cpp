// The copy script engine; its commands, bad lines, destinations, removals and controls run end
// to end in the copy-* scenarios and install-check's tests/check/mistakes.
#include "copy.h"

#include <unistd.h>

#include "fake_sys.h"
#include "scratch.h"

namespace fs = std::filesystem;
using namespace installer;

namespace {

class CopyTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    std::vector<SettingList> none;
    ini_setup(ini.get(), &none, nullptr, 1);
  }
  // Loads `body` as the section [install]; @ stands for the scratch folder.
  int load(std::string body) {
    copy = copy_init(ini.get());
    for (std::size_t i; (i = body.find('@')) != std::string::npos;) body.replace(i, 1, root);
    put("install.cpy", "[install]\n" + body);
    return copy_load(copy.get(), p("install.cpy").c_str(), "install");
  }
  int run(std::string body) {
    load(std::move(body));
    return copy_process(copy.get(), &files, &bytes, 1);
  }

  std::unique_ptr<Ini> ini = ini_init();
  std::unique_ptr<Copy> copy = copy_init(ini.get());
  unsigned files = 99;
  ByteCount bytes = 99;
};

TEST_F(CopyTest, SectionsLongLinesAndReplaceVars) {
  put("s.cpy",
      "[ install ]\nMkDir blank\n[Other]\nMkDir other\n[INSTALL\nMkDir a\n"
      "MkDir " +
          std::string(1494, 'x') + "\n[\nMkDir after\n[install]\nMkDir again\n");
  ASSERT_EQ(copy_load(copy.get(), p("s.cpy").c_str(), "install"), 1);
  ASSERT_EQ(copy_count(copy.get()), 2u);  // the 501-character rest is dropped as a command
  EXPECT_EQ(std::string(copy_src(copy.get(), 1)).size(), 999u - 6);
  auto other = copy_init(ini.get());
  EXPECT_EQ(copy_load(other.get(), p("s.cpy").c_str(), " install "), 1);
  EXPECT_STREQ(copy_src(other.get(), 0), "blank");
  EXPECT_EQ(copy_load(other.get(), p("missing.cpy").c_str(), "install"), 0);
  EXPECT_EQ(copy_load(nullptr, p("s.cpy").c_str(), "install"), 0);
  EXPECT_EQ(copy_load(other.get(), nullptr, "install"), 0);
  EXPECT_EQ(copy_load(other.get(), p("s.cpy").c_str(), nullptr), 0);
  copy_parse_line(nullptr, "MkDir a", 1);          // nothing to parse into: nothing happens
  copy_parse_line(other.get(), "Error flag ", 9);  // a blank after the name is no message
  EXPECT_TRUE(!copy_dst(other.get(), copy_count(other.get()) - 1) && !copy_count(nullptr));
  copy_processpaths(nullptr, 0);
  EXPECT_TRUE(copy_parse_mode("7777") == 07777u && !copy_parse_mode("10000"));  // the largest
  EXPECT_FALSE(logged("Error opening '(NULL)'"));  // no file failed: none was named
  EXPECT_TRUE(logged("Error opening '" + p("missing.cpy") + "', No such file or directory"));
  EXPECT_EQ(copy_load(copy_init(ini.get()).get(), p("s.cpy").c_str(), "nowhere"), 0);
  EXPECT_EQ(copy_process(nullptr, nullptr, nullptr, 1), 0);
  EXPECT_TRUE(!copy_src(copy.get(), 2) && !copy_allows(copy.get(), 2));  // one past the last
  for (auto command : {copy_write_ini, copy_rename, copy_exist, copy_chown, copy_chmod,
                       copy_seterror, copy_wfile, copy_rfile})
    EXPECT_EQ(command(copy.get(), 99) + command(nullptr, 0), 0);
  ini_add_name(ini.get(), "a", "A");
  ini_add_name(ini.get(), "loop", "$(a)");
  ini_add_name(ini.get(), "big", std::string(9500, 'b').c_str());
  struct {
    const char *in;
    std::optional<std::string> out;
  } cases[] = {
      {"plain", std::nullopt}, {"x$(a)y$(none)z", "xAy$(none)z"}, {"$()$(a)", "$()A"},
      {"$(loop)", "$(a)"},     {"open $(a", "open $(a"},          {"$(a)$(a", "A$(a"},
  };
  for (auto &c : cases) EXPECT_EQ(replace_vars(copy.get(), c.in), c.out) << c.in;
  EXPECT_EQ(replace_vars(nullptr, "$(a)"), std::nullopt);
  EXPECT_EQ(replace_vars(copy.get(), "$(big)")->size(), EXPAND_PIECE_MAX);
  EXPECT_EQ(replace_vars(copy.get(), "$(big)$(big)")->size(), EXPAND_SIZE - 1);
  std::string tail = "$(a)" + std::string(9000, 't');
  EXPECT_EQ(replace_vars(copy.get(), tail.c_str())->size(), 1 + EXPAND_PIECE_MAX);
}

TEST_F(CopyTest, PathFieldsAndEntriesByPath) {
  load(
      "RmFile /opt/app/cgi/*.cgi - \nRmFile /opt/app/cgi/ -\nRmFile *.cgi -\n"
      "Rename x /usr/web/cgi-bin\nRename x c:\\web\\\nRename x name\n");
  char cwd[PATH_SIZE], path[PATH_SIZE], file[PATH_SIZE];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  auto split = [&](unsigned i) {
    const char *dir = i < 3 ? copy_src_path(copy.get(), i, path, PATH_SIZE)
                            : copy_dst_path(copy.get(), i, path, PATH_SIZE);
    const char *name = i < 3 ? copy_src_file(copy.get(), i, file, PATH_SIZE)
                             : copy_dst_file(copy.get(), i, file, PATH_SIZE);
    return std::string(dir) + "|" + (name ? name : "~");
  };
  const std::string c = cwd;
  const std::string want[] = {"/opt/app/cgi/|*.cgi", "/opt/app/cgi/|*", c + "|*.cgi",
                              "/usr/web/|cgi-bin",   "c:\\web\\|~",     c + "|~"};
  for (unsigned i = 0; i < 6; i++) EXPECT_EQ(split(i), want[i]) << i;
  EXPECT_STREQ(copy_src_path(copy.get(), 0, path, 5), "/opt");
  EXPECT_EQ(copy_dst_path(copy.get(), 0, path, PATH_SIZE), nullptr);  // RmFile has no dest
  EXPECT_TRUE(!copy_src_file(copy.get(), 0, nullptr, PATH_SIZE) &&
              !copy_dst_file(copy.get(), 0, file, PATH_SIZE));
  // A destination that cannot be opened as a folder: each entry goes in by its path, counted.
  put("src/a.txt", "a");
  fs::create_directory(p("into-folder"));
  FailOn fail("openat", "into-folder", EMFILE);
  EXPECT_EQ(run("CopyFile @/src/* - @/into-folder\n"), 1);
  EXPECT_TRUE(fail.hits() > 0 && files == 1 && get("into-folder/a.txt") == "a");
  put("src/sub/deep/d.txt", "d");  // and a tree goes in whole
  EXPECT_EQ(run("CopyDir @/src/* - @/into-folder\n"), 1);
  EXPECT_EQ(get("into-folder/sub/deep/d.txt"), "d");
  // A file written from a template or a value on a full disk fails its command.
  put("t.in", "x\n");
  FailOn full("write", ".install.", ENOSPC);
  EXPECT_EQ(run("Ini @/t.in @/t.out\n") + run("WFile @/w.out v\n"), 0);
}

}  // namespace
