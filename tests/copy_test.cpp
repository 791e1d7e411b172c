#include "copy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log.h"

namespace fs = std::filesystem;
using namespace installer;

namespace {

int dots = 0;
void count_dot(const char *, const char *, int) { dots++; }

class CopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/copy_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    log = log_init(LogDebug);
    log_set(log.get());
    log_open(log.get(), (root + "/test.log").c_str());
    log_doflush(log.get(), 1);
    ini = ini_init();
    std::vector<SettingList> none;
    ini_setup(ini.get(), &none, nullptr, 1);
    copy = copy_init(ini.get());
    dots = 0;
    copy_setup(copy.get(), count_dot, nullptr);
  }
  void TearDown() override {
    disk_reset();
    copy_setup(nullptr, nullptr, nullptr);
    copy_free(&copy);
    ini_free(&ini);
    log_set(nullptr);
    log_free(&log);
    fs::remove_all(root);
  }
  std::string p(const std::string &rel) const { return root + "/" + rel; }
  void put(const std::string &rel, const std::string &text) {
    fs::create_directories(fs::path(p(rel)).parent_path());
    std::ofstream(p(rel), std::ios::binary) << text;
  }
  std::string get(const std::string &rel) const {
    std::ifstream in(p(rel), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool logged(const std::string &text) const {
    return get("test.log").find(text) != std::string::npos;
  }
  void set(const char *name, const char *value) { ini_add_name(ini.get(), name, value); }
  // Loads `body` as the section [install]; @ stands for the scratch folder.
  int load(std::string body) {
    copy_free(&copy);
    copy = copy_init(ini.get());
    for (std::size_t at; (at = body.find('@')) != std::string::npos;) body.replace(at, 1, root);
    put("install.cpy", "[install]\n" + body);
    return copy_load(copy.get(), p("install.cpy").c_str(), "install");
  }
  int run(std::string body, int stop = 1) {
    load(std::move(body));
    return copy_process(copy.get(), &files, &bytes, stop);
  }
  void put_all(std::initializer_list<std::pair<const char *, std::string>> files) {
    for (auto &[rel, text] : files) put(rel, text);
  }
  // "uid:gid:mode" of an entry, mode in octal.
  std::string owner(const std::string &rel) const {
    struct stat st {};
    lstat(p(rel).c_str(), &st);
    std::ostringstream out;
    out << st.st_uid << ':' << st.st_gid << ':' << std::oct << (st.st_mode & 07777);
    return out.str();
  }

  std::string root;
  std::unique_ptr<Log> log;
  std::unique_ptr<Ini> ini;
  std::unique_ptr<Copy> copy;
  unsigned files = 99;
  ByteCount bytes = 99;
};

// One command as "type|source|not|dest|control|control_cmp", "~" for an absent field.
std::string show(Copy *x, unsigned i) {
  std::string out = std::to_string(x->list[i].type);
  for (auto get : {copy_src, copy_not, copy_dst, copy_control, copy_control_cmp}) {
    const char *field = get(x, i);
    out += std::string("|") + (field ? field : "~");
  }
  return out;
}

TEST_F(CopyTest, LoaderTakesTheFieldsEachKeywordNames) {
  set("where", "/opt");
  ASSERT_EQ(load("copyfile $(where)/a - /d   # word extra\n  # indented comment\n"
                 "CopyDir s n d c\nMKDIR $(where)/m c\nIni t $(where)/o c cc\nRename a b\n"
                 "RmFile s -x\nRmDir s n c\nExist p set\nChown s n u:g\nChmod s n 755\n"
                 "Error flag   two  blanks \nError flag\nWFile f v\nRFile f v c\nBogus s n d\n"),
            1);
  const char *want[] = {
      "257|/opt/a|~|/d|#|word", "258|s|n|d|c|~",   "260|/opt/m|~|~|c|~",
      "264|t|~|/opt/o|c|cc",    "272|a|~|b|~|~",   "513|s|-x|~|~|~",
      "514|s|n|~|c|~",          "1024|p|~|set|~|~", "2048|s|n|u:g|~|~",
      "2049|s|n|755|~|~",       "4096|flag|~|  two  blanks|~|~",
      "4096|flag|~|~|~|~",      "8192|f|~|v|~|~",  "16384|f|~|v|c|~",
      "0|s|n|d|~|~",
  };
  ASSERT_EQ(copy_count(copy.get()), std::size(want));
  for (unsigned i = 0; i < std::size(want); i++) EXPECT_EQ(show(copy.get(), i), want[i]);
  EXPECT_EQ(copy_src(copy.get(), 99), nullptr);
  EXPECT_TRUE(logged("Unknown copy type 'Bogus'"));
  EXPECT_TRUE(logged("Copy line 'type' is [257]"));
  EXPECT_TRUE(logged("Copy list error string is '(NULL)'"));
}

TEST_F(CopyTest, LinesMissingFieldsAreDroppedAndEachMissingFieldReported) {
  ASSERT_EQ(load("CopyFile src dest\nMkDir\nChown\nRmDir a\nMkDir kept\n"), 1);
  ASSERT_EQ(copy_count(copy.get()), 1u);
  EXPECT_STREQ(copy_src(copy.get(), 0), "kept");
  std::string text = get("test.log");
  // MkDir, Chown; Chown, RmDir; CopyFile, Chown
  for (const char *what : {"source path", "not wildcard", "destination path"}) {
    std::string s = std::string("Error: Missing ") + (what[0] == 'n' ? "" : "copy ") + what;
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(s, at)) != std::string::npos; at++) n++;
    EXPECT_EQ(n, 2u) << s;
  }
  EXPECT_TRUE(logged("Copy line 'destination' is [(NULL)]"));
}

TEST_F(CopyTest, SectionsAndLongLines) {
  put("s.cpy", "[ install ]\nMkDir blank\n[Other]\nMkDir other\n[INSTALL\nMkDir a\n"
               "MkDir " + std::string(1494, 'x') + "\n[\nMkDir after\n[install]\nMkDir again\n");
  ASSERT_EQ(copy_load(copy.get(), p("s.cpy").c_str(), "install"), 1);
  ASSERT_EQ(copy_count(copy.get()), 2u);  // the 501-character rest is dropped as a command
  EXPECT_EQ(std::string(copy_src(copy.get(), 1)).size(), 999u - 6);
  auto other = copy_init(ini.get());
  EXPECT_EQ(copy_load(other.get(), p("s.cpy").c_str(), " install "), 1);
  EXPECT_STREQ(copy_src(other.get(), 0), "blank");
  EXPECT_EQ(copy_load(other.get(), p("missing.cpy").c_str(), "install"), 0);
  EXPECT_TRUE(logged("Error opening '" + p("missing.cpy") + "', No such file or directory"));
  EXPECT_EQ(copy_load(nullptr, p("s.cpy").c_str(), "install"), 0);
}

TEST_F(CopyTest, ReplaceVars) {
  set("a", "A");
  set("loop", "$(a)");
  set("big", std::string(9500, 'b').c_str());
  struct {
    const char *in;
    std::optional<std::string> out;
  } cases[] = {
      {"plain", std::nullopt},
      {"x$(a)y$(none)z", "xAy$(none)z"},
      {"$()", "$()"},
      {"$(loop)", "$(a)"},
      {"open $(a", "open $(a"},
      {"$(a)$(a", "A$(a"},
  };
  for (auto &c : cases) EXPECT_EQ(replace_vars(copy.get(), c.in), c.out) << c.in;
  EXPECT_EQ(replace_vars(copy.get(), nullptr), std::nullopt);
  EXPECT_EQ(replace_vars(nullptr, "$(a)"), std::nullopt);
  EXPECT_EQ(replace_vars(copy.get(), "$(big)")->size(), EXPAND_PIECE_MAX);
  EXPECT_EQ(replace_vars(copy.get(), "$(big)$(big)")->size(), EXPAND_SIZE - 1);
  std::string tail = "$(a)" + std::string(9000, 't');
  EXPECT_EQ(replace_vars(copy.get(), tail.c_str())->size(), 1 + EXPAND_PIECE_MAX);
}

TEST_F(CopyTest, PathFieldsSplitAtTheLastSeparator) {
  load("RmFile /opt/app/cgi/*.cgi - \nRmFile /opt/app/cgi/ -\nRmFile *.cgi -\n"
       "Rename x /usr/web/cgi-bin\nRename x c:\\web\\\nRename x name\n");
  char cwd[PATH_SIZE];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const char *want[][2] = {{"/opt/app/cgi/", "*.cgi"}, {"/opt/app/cgi/", "*"}, {cwd, "*.cgi"},
                           {"/usr/web/", "cgi-bin"}, {"c:\\web\\", nullptr}, {cwd, nullptr}};
  char path[PATH_SIZE], file[PATH_SIZE];
  for (unsigned i = 0; i < 6; i++) {
    SCOPED_TRACE(i);
    bool src = i < 3;
    EXPECT_STREQ(src ? copy_src_path(copy.get(), i, path, PATH_SIZE)
                     : copy_dst_path(copy.get(), i, path, PATH_SIZE), want[i][0]);
    const char *f = src ? copy_src_file(copy.get(), i, file, PATH_SIZE)
                        : copy_dst_file(copy.get(), i, file, PATH_SIZE);
    if (want[i][1]) EXPECT_STREQ(f, want[i][1]); else EXPECT_EQ(f, nullptr);
  }
  EXPECT_STREQ(copy_src_path(copy.get(), 0, path, 5), "/opt");
  EXPECT_EQ(copy_dst_path(copy.get(), 0, path, PATH_SIZE), nullptr);  // RmFile has no dest
}

TEST_F(CopyTest, CopiesCountFilesAndBytesWithExclusions) {
  put_all({{"src/a.txt", std::string(10, 'a')}, {"src/b.txt", std::string(20, 'b')},
           {"src/old.BAK", "x"}, {"src/lower.bak", "x"}, {"src/sub/c.txt", std::string(30, 'c')},
           {"src/sub/deep.bak", "deep"}, {"src/sub/DEEP.BAK", "DEEP"}, {"dst/one/x", ""},
           {"dst/two/x", ""}, {"dst/skip.bak/x", ""}});
  fs::create_directory_symlink(p("dst/one"), p("dst/link"));
  ASSERT_EQ(run("CopyFile @/src/*.txt *.bak @/dst/*\n"  // one, two: 2 x 2 files
                "CopyDir @/src/ *.BAK @/dst/one\n"),    // a, b, sub, sub/{c, deep.bak}
            1);
  EXPECT_EQ(files, 4u + 5);
  EXPECT_EQ(bytes, 2 * 30u + 30 + 30 + 4);
  EXPECT_EQ(dots, 9);
  EXPECT_TRUE(fs::exists(p("dst/two/b.txt")));
  EXPECT_FALSE(fs::exists(p("dst/skip.bak/a.txt")));
  EXPECT_FALSE(fs::exists(p("dst/one/old.BAK")));
  EXPECT_FALSE(fs::exists(p("dst/one/lower.bak")));      // top level: any letter case
  EXPECT_TRUE(fs::exists(p("dst/one/sub/deep.bak")));    // deeper: its own case only
  EXPECT_FALSE(fs::exists(p("dst/one/sub/DEEP.BAK")));
}

TEST_F(CopyTest, LinksAreCopiedAsFilesAndRemovedThemselves) {
  put_all({{"target/f.txt", "12345"}, {"out/x", ""}, {"src/x", ""}});
  fs::remove(p("src/x"));
  fs::create_symlink(p("target/f.txt"), p("src/l.txt"));
  fs::create_directory_symlink(p("target"), p("src/dirlink"));
  ASSERT_EQ(run("CopyDir @/src/* - @/out\nRmDir @/src/* -\n"), 1);
  EXPECT_EQ(get("out/l.txt"), "12345");
  EXPECT_FALSE(fs::is_symlink(p("out/l.txt")));
  EXPECT_FALSE(fs::is_directory(p("out/dirlink")));  // taken as a file, so its copy fails
  EXPECT_TRUE(fs::is_empty(p("src")));
  EXPECT_TRUE(fs::exists(p("target/f.txt")));
}

TEST_F(CopyTest, StopOnFailAndControlGates) {
  for (auto [name, value] : {std::pair{"yes", "yes"}, {"no", "no"}, {"other", "YES"}})
    set(name, value);
  const char *script = "MkDir @/1 missing\nMkDir @/2 yes\nMkDir @/3 no\nMkDir @/4 no OTHER\n"
                       "MkDir @/5 yes other\nMkDir @/6 yes Yes\n"
                       "CopyFile @/none/* - @/\nMkDir @/after\n";
  EXPECT_EQ(run(script, 1), 0);
  EXPECT_TRUE(logged("Stop on fail set, stopping..."));
  EXPECT_TRUE(logged("Debug: Doing nothing due to controlling setting"));
  EXPECT_TRUE(logged("Error: No destination directories found"));
  EXPECT_EQ(files, 4u);
  for (const char *d : {"1", "2", "5", "6"}) EXPECT_TRUE(fs::exists(p(d))) << d;
  for (const char *d : {"3", "4", "after"}) EXPECT_FALSE(fs::exists(p(d))) << d;
  EXPECT_EQ(run(script, 0), 1);
  EXPECT_TRUE(logged("Stop on fail NOT set, continuing..."));
  EXPECT_TRUE(fs::exists(p("after")));
  EXPECT_EQ(files, 5u);
}

TEST_F(CopyTest, UnknownCommandFailsAndEmptyScriptSucceeds) {
  EXPECT_EQ(run("Whatever a b c\n"), 0);
  EXPECT_TRUE(logged("How did we get here!"));
  EXPECT_EQ(run(""), 1);
  EXPECT_EQ(files, 0u);
  EXPECT_EQ(bytes, 0u);
  EXPECT_EQ(copy_process(nullptr, &files, &bytes, 1), 0);
  for (auto command : {copy_write_ini, copy_rename, copy_exist, copy_chown, copy_chmod,
                       copy_seterror, copy_wfile, copy_rfile})
    EXPECT_EQ(command(copy.get(), 0) + command(nullptr, 0), 0);
  EXPECT_EQ(copy_do(copy.get(), 0, &bytes), 0);
}

TEST_F(CopyTest, ByteCounterIsSixtyFourBits) {
  put("src/f", std::string(100, 'f'));
  fs::create_directories(p("dst"));
  load("CopyFile @/src/f - @/dst\n");
  ByteCount total = 5ull << 30;
  EXPECT_EQ(copy_do(copy.get(), 0, &total), 1);
  EXPECT_EQ(total, (5ull << 30) + 100);
}

TEST_F(CopyTest, RemovalHonoursPatternAndExclusions) {
  put_all({{"r/a.log", ""}, {"r/keep.LOG", ""}, {"r/dir.log/x", ""}, {"r/tree/in", ""},
           {"r/tree/keep.log", ""}});
  ASSERT_EQ(run("RmFile @/r/*.log keep*\n"), 1);
  EXPECT_EQ(files, 1u);
  EXPECT_TRUE(fs::exists(p("r/dir.log/x")));
  EXPECT_TRUE(fs::exists(p("r/keep.LOG")));
  ASSERT_EQ(run("RmDir @/r/* keep.log\n"), 1);
  EXPECT_EQ(files, 3u);  // dir.log/x, dir.log, tree/in
  EXPECT_TRUE(fs::exists(p("r/tree/keep.log")));
  EXPECT_FALSE(fs::exists(p("r/dir.log")));
  EXPECT_TRUE(fs::exists(p("r/keep.LOG")));  // file_rmdir's list is case-sensitive, ours not
}

TEST_F(CopyTest, TemplatesKeepIndentationOnlyWithoutReferences) {
  set("name", "web");
  put("t.in", "  plain  \r\n  x=$(name)\n   \n$(gone) stays\n" + std::string(3500, 'L') + "\n");
  ASSERT_EQ(run("Exist @/t.in found\nIni @/t.in @/t.out found\nIni @/t.in @/t.ot2 found no\n"),
            1);
  EXPECT_EQ(get("t.out"), "  plain\nx=web\n\n$(gone) stays\n" + std::string(2999, 'L') + "\n" +
                              std::string(501, 'L') + "\n");
  EXPECT_FALSE(fs::exists(p("t.ot2")));
  EXPECT_EQ(run("Ini @/missing @/t.out\n"), 0);
  EXPECT_EQ(get("t.out"), "");
  EXPECT_TRUE(logged("Error reading ini file '" + p("missing") + "'"));
  EXPECT_EQ(run("Ini @/t.in /dev/full\n"), 0);
  EXPECT_TRUE(logged("Error writing ini file '/dev/full'"));
  EXPECT_EQ(run("Ini @ @/t.out\n"), 0);  // reading a directory is a read error
}

TEST_F(CopyTest, RenameExistErrorWFileRFile) {
  std::string text;
  for (int i = 0; i < 60; i++) text += "line " + std::to_string(i) + " of the file to read\n";
  put_all({{"old", "x"}, {"empty", ""}, {"in.txt", text}});
  set("answer", "42");
  set("off", "off");
  ASSERT_EQ(run("Rename @/old @/new\nExist @/new there\nExist @/gone gone\n"
                "WFile @/w1 answer\nWFile @/w2 literal\nRFile @/in.txt read\n"
                "RFile @/empty answer\nError answer fine\nError unset fine\n"),
            1);
  EXPECT_TRUE(fs::exists(p("new")));
  EXPECT_STREQ(ini_value_name(ini.get(), "there"), "true");
  EXPECT_STREQ(ini_value_name(ini.get(), "gone"), "false");
  EXPECT_EQ(get("w1"), "42");
  EXPECT_EQ(get("w2"), "literal");
  EXPECT_EQ(ini_value_name(ini.get(), "read"), text);
  EXPECT_STREQ(ini_value_name(ini.get(), "answer"), "42");
  EXPECT_EQ(files, 9u);
  EXPECT_STREQ(copy_error(), "");

  EXPECT_EQ(run("Error off Install  stopped\nMkDir @/never\n"), 0);
  EXPECT_STREQ(copy_error(), "Install  stopped");
  EXPECT_FALSE(fs::exists(p("never")));
  EXPECT_EQ(run("Rename @/gone @/x\n"), 0);
  EXPECT_TRUE(logged("Error renaming '" + p("gone") + "'->'" + p("x") + "', No such file"));
  EXPECT_EQ(run("RFile @/gone v\n"), 0);
  EXPECT_TRUE(logged("Failed to read (" + p("gone") + ")"));
  EXPECT_EQ(run("WFile @/no/dir/f v\n"), 0);
  EXPECT_TRUE(logged("Failed to write (" + p("no/dir/f") + ")"));
  EXPECT_EQ(run("WFile /dev/full answer\n"), 0);
  EXPECT_STREQ(copy_error(), "Install  stopped");  // only Error sets it
}

TEST_F(CopyTest, ChmodAndChownWalkTreesWithFullPathExclusions) {
  put_all({{"t/a", ""}, {"t/keep", ""}, {"t/sub/b", ""}});
  ASSERT_EQ(run("Chmod @/t/* *KEEP 640\nChmod @/t/* keep 600\n", 0), 1);
  // The second walk's pattern names no full path, so it excludes nothing.
  EXPECT_EQ(files, 3u + 4);
  EXPECT_EQ(owner("t/sub"), "0:0:600");
  ASSERT_EQ(run("Chmod @/t/* *keep 0751\n"), 1);
  EXPECT_EQ(owner("t/sub/b"), "0:0:751");
  EXPECT_EQ(owner("t/keep"), "0:0:600");
  EXPECT_EQ(run("Chmod @/t/* - 7x9\n"), 0);
  EXPECT_TRUE(logged("Bad mode '7x9'"));
  EXPECT_EQ(run("Chmod @/t/nothing* - 644\n"), 0);
  EXPECT_TRUE(logged("No files found to chmod"));

  set("who", "daemon");
  ASSERT_EQ(run("Chown @/t/ - $(who)\n"), 1);
  EXPECT_EQ(files, 4u);
  EXPECT_EQ(owner("t/sub/b"), "1:1:751");
  ASSERT_EQ(run("Chown @/t/a - nobody:no-such-group\n"), 1);
  EXPECT_EQ(owner("t/a"), "65534:65534:751");
  EXPECT_EQ(run("Chown @/t/a - no-such-user\n"), 0);
  EXPECT_TRUE(logged("Found user id for 'no-such-user'=-1"));
  EXPECT_TRUE(logged("file_chown failed"));
}

}  // namespace
