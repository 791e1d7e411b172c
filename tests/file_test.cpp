#include "file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log.h"

namespace fs = std::filesystem;
using namespace installer;
using Strings = std::vector<std::string>;

namespace {

std::string g_root;  // stripped from callback paths so expectations stay short
Strings events;

std::string rel(const char *path) {
  std::string s = path ? path : "(null)";
  return s.rfind(g_root + "/", 0) == 0 ? s.substr(g_root.size() + 1) : s;
}
void record(const char *kind, const char *src, const char *dst, int mode) {
  events.push_back(kind + rel(src) + (dst ? ">" + rel(dst) : "") + " " + std::to_string(mode));
}
void on_ok(const char *src, const char *dst, int mode) { record("ok ", src, dst, mode); }
void on_fail(const char *src, const char *dst, int mode) { record("fail ", src, dst, mode); }

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/file_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    g_root = tmpl;
    log = log_init(LogDebug);
    log_set(log.get());
    log_open(log.get(), p("test.log").c_str());
    log_doflush(log.get(), 1);
    events.clear();
    file_setup_fn(on_ok, on_fail);
  }
  void TearDown() override {
    disk_reset();
    file_setup_fn(nullptr, nullptr);
    log_set(nullptr);
    log_free(&log);
    fs::remove_all(g_root);
  }
  static std::string p(const std::string &r) { return g_root + "/" + r; }
  static void put(const std::string &r, const std::string &text) {
    fs::create_directories(fs::path(p(r)).parent_path());
    std::ofstream(p(r), std::ios::binary) << text;
  }
  static std::string get(const std::string &r) {
    std::stringstream ss;
    ss << std::ifstream(p(r), std::ios::binary).rdbuf();
    return ss.str();
  }
  static bool logged(const std::string &text) {
    return get("test.log").find(text) != std::string::npos;
  }
  static Strings tree(const std::string &r) {
    Strings out;
    for (auto &e : fs::recursive_directory_iterator(p(r)))
      out.push_back(fs::relative(e.path(), p(r)).string());
    std::sort(out.begin(), out.end());
    return out;
  }

  std::unique_ptr<Log> log;
};

TEST_F(FileTest, NullsAndLookups) {
  EXPECT_EQ(file_copy(nullptr, "x", 1, nullptr), 0);
  EXPECT_EQ(file_xcopy(nullptr, "*", nullptr, "x", 1, nullptr), 0);
  EXPECT_EQ(file_mkdir(nullptr, 1), 0);
  EXPECT_EQ(file_rmdir(nullptr, nullptr, 1), 0);
  std::unique_ptr<FHandle> h;
  EXPECT_EQ(file_first(&h, nullptr, "*"), nullptr);
  EXPECT_EQ(file_chown(nullptr, 0, 0), 0);
  EXPECT_EQ(events, Strings{"fail (null)>x 1"});
  EXPECT_EQ(file_getuid("root"), 0);
  EXPECT_EQ(file_getuid("no-such-user-here"), -1);
  EXPECT_EQ(file_getgid("no-such-group-here"), -1);

  fs::create_directory(p("d"));
  fs::create_symlink(p("d"), p("ld"));
  EXPECT_EQ(file_exist(p("ld").c_str()), 2);  // links are followed
  EXPECT_EQ(file_exist(p("test.log").c_str()), 1);
  EXPECT_EQ(file_exist(p("none").c_str()), 0);
}

TEST_F(FileTest, CopyOverwriteRuleAndMissingSource) {
  put("src", "new");
  put("dst", "old");
  EXPECT_EQ(file_copy(p("src").c_str(), p("dst").c_str(), 0, nullptr), -1);
  EXPECT_EQ(get("dst"), "old");
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(file_copy(p("src").c_str(), p("dst").c_str(), 1, nullptr), 1);
  EXPECT_EQ(get("dst"), "new");

  EXPECT_EQ(file_copy(p("none").c_str(), p("out").c_str(), 0, nullptr), 0);
  EXPECT_TRUE(fs::exists(p("out")) && fs::file_size(p("out")) == 0);
  EXPECT_EQ(events, (Strings{"ok src>dst 1", "fail none>out 1"}));
  EXPECT_TRUE(logged("Error opening '" + p("none") + "' for read, No such file or directory"));
}

TEST_F(FileTest, CopyCountsBytesIn64Bits) {
  std::string big(3 * COPY_BLOCK + 17, 'z');
  put("big", big);
  put("small", std::string(20, 's'));
  put("empty", "");
  ByteCount n = 4294967290ULL;
  EXPECT_EQ(file_copy(p("small").c_str(), p("o1").c_str(), 1, &n), 1);
  EXPECT_EQ(file_copy(p("empty").c_str(), p("o2").c_str(), 1, &n), 1);
  EXPECT_EQ(n, 4294967310ULL);
  n = 0;
  EXPECT_EQ(file_copy(p("big").c_str(), p("o3").c_str(), 1, &n), 1);
  EXPECT_EQ(n, big.size());
  EXPECT_EQ(get("o3"), big);
}

TEST_F(FileTest, CopyFailuresAreLoggedAndReported) {
  put("src", "data");
  fs::create_directory(p("dir"));
  // A directory is refused when it is opened, like any unreadable source.
  EXPECT_EQ(file_copy(p("dir").c_str(), p("o1").c_str(), 1, nullptr), 0);
  EXPECT_TRUE(logged("Error opening '" + p("dir") + "' for read, Is a directory"));

  // A read that fails part-way: writing to the read-only stream sets its error flag.
  disk().fread = [](void *, std::size_t, std::size_t, std::FILE *f) -> std::size_t {
    std::fputc('x', f);
    return 0;
  };
  EXPECT_EQ(file_copy(p("src").c_str(), p("o0").c_str(), 1, nullptr), 0);
  EXPECT_TRUE(logged("Error reading from '" + p("src") + "'"));
  disk_reset();

  disk().fopen = [](const char *path, const char *mode) {
    return std::string(mode) == "wb" ? nullptr : std::fopen(path, mode);
  };
  EXPECT_EQ(file_copy(p("src").c_str(), p("o2").c_str(), 1, nullptr), 0);
  EXPECT_TRUE(logged("Error opening '" + p("o2") + "' for write"));
  disk_reset();

  // Every write fails except the log's own.
  disk().fwrite = [](const void *b, std::size_t size, std::size_t n, std::FILE *f) {
    return f == log_current()->F ? std::fwrite(b, size, n, f) : 0;
  };
  ByteCount n = 0;
  EXPECT_EQ(file_copy(p("src").c_str(), p("o3").c_str(), 1, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(logged("Error writing to '" + p("o3") + "'"));
  EXPECT_EQ(events, (Strings{"fail dir>o1 1", "fail src>o0 1", "fail src>o2 1", "fail src>o3 1"}));
}

TEST_F(FileTest, MkdirCreatesEachLevelOnce) {
  EXPECT_EQ(file_mkdir(p("a/b/c/").c_str(), 1), 1);
  EXPECT_EQ(events, (Strings{"ok a 1", "ok a/b 1", "ok a/b/c 1"}));
  EXPECT_TRUE(logged("Directory created '" + p("a/b/c") + "'"));
  events.clear();
  EXPECT_EQ(file_mkdir(p("a/b/c/").c_str(), 1), 1);
  EXPECT_EQ(file_mkdir(p("test.log").c_str(), 0), 1);  // an existing file counts
  EXPECT_TRUE(events.empty());

  EXPECT_EQ(file_mkdir(p("x/y").c_str(), 0), 0);
  EXPECT_EQ(file_mkdir(p("test.log/sub").c_str(), 1), 0);
  EXPECT_EQ(events, (Strings{"fail x/y 1", "fail test.log/sub 1"}));
  EXPECT_TRUE(logged("Error creating directory '" + p("x/y") + "', No such file or directory"));
}

TEST_F(FileTest, RmdirKeepsExcludedEntriesAndTheirParents) {
  put("t/sub/keep.txt", "k");
  put("t/sub/my keep.txt", "k");  // a name is tested piece by piece
  put("t/sub/a.txt", "a");
  EXPECT_EQ(file_rmdir(p("t").c_str(), "keep.txt", 1), 1);
  EXPECT_EQ(events, (Strings{"ok t/sub/a.txt 0", "fail t/sub 0", "ok t/sub 0", "fail t 0"}));
  EXPECT_EQ(tree("t"), (Strings{"sub", "sub/keep.txt", "sub/my keep.txt"}));
  EXPECT_EQ(file_rmdir(p("t").c_str(), nullptr, 0), 0);  // not empty
  EXPECT_EQ(file_rmdir(p("t").c_str(), nullptr, 1), 4);
  EXPECT_FALSE(fs::exists(p("t")));
}

TEST_F(FileTest, XcopyPatternPicksTopLevelOnly) {
  for (auto f : {"s/index.html", "s/a.txt", "s/images/logo.png", "s/images/x.html",
                 "s/docs.html/in.txt"})
    put(f, "12345");
  ByteCount n = 0;
  EXPECT_EQ(file_xcopy(p("s").c_str(), "*.html", nullptr, p("d").c_str(), 1, &n), 4);
  EXPECT_EQ(tree("d"), (Strings{"docs.html", "docs.html/in.txt", "index.html"}));
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(file_xcopy(p("s").c_str(), nullptr, nullptr, p("all").c_str(), 1, nullptr), 8);
  EXPECT_EQ(tree("all"), tree("s"));
  // Without recursion a directory is created empty.
  EXPECT_EQ(file_xcopy(p("s").c_str(), "*", nullptr, p("flat").c_str(), 0, nullptr), 5);
  EXPECT_TRUE(fs::is_empty(p("flat/images")));

  for (auto f : {"x/a.bak", "x/CVS/Entries", "x/sub/b.txt", "x/sub/b.bak", "x/sub/CVS/Root"})
    put(f, "x");
  EXPECT_EQ(file_xcopy(p("x").c_str(), "*", "CVS, *.bak", p("xd").c_str(), 1, nullptr), 3);
  EXPECT_EQ(tree("xd"), (Strings{"sub", "sub/b.txt"}));
}

TEST_F(FileTest, WalkReportsLinksAsLinks) {
  put("w/a.txt", "a");
  put("w/.hidden", "h");
  fs::create_directory(p("w/dir"));
  fs::create_directory_symlink("dir", p("w/ldir"));
  fs::create_symlink("gone", p("w/dangling"));
  std::unique_ptr<FHandle> h;
  std::unique_ptr<File> x = file_first(&h, p("w").c_str(), "*");
  ASSERT_NE(x, nullptr);
  Strings seen;
  do {
    char name[PATH_SIZE];
    std::string s = file_filename(x.get(), name, PATH_SIZE);
    EXPECT_EQ(file_name(x.get()), p("w/") + s);
    seen.push_back(s + (x->link ? "->" + *x->link : "") + (file_isdir(x.get()) ? "/" : ""));
  } while (file_next(x.get(), h.get()));
  file_free(&x);
  file_last(&h);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (Strings{".hidden", "a.txt", "dangling->gone", "dir/", "ldir->dir"}));

  EXPECT_EQ(file_first(&h, p("w").c_str(), "*.TXT"), nullptr);  // case-sensitive
  EXPECT_EQ(file_first(&h, p("w/dir").c_str(), "*"), nullptr);  // empty
  EXPECT_EQ(h, nullptr);

  disk().readlink = [](const char *, char *, std::size_t) -> ssize_t { return -1; };
  x = file_first(&h, p("w").c_str(), "ldir");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->link, "READLINK FAILED");
  EXPECT_TRUE(logged("Error reading symlink '" + p("w/ldir") + "'"));
}

TEST_F(FileTest, ModeAndOwnerChanges) {
  put("f", "x");
  File x;
  scpy(x.name, p("f").c_str(), PATH_SIZE);
  EXPECT_EQ(file_chmod(&x, 0600), 1);
  EXPECT_EQ(fs::status(p("f")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(file_chown(&x, -1, 0), 0);
  EXPECT_FALSE(logged("ownership"));
  if (geteuid() == 0) {
    EXPECT_EQ(file_chown(&x, 1, -1), 1);
    struct stat st;
    ASSERT_EQ(::stat(p("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1u);
    EXPECT_EQ(st.st_gid, 1u);
  }
  disk().chmod = [](const char *, mode_t) { errno = EPERM; return -1; };
  disk().chown = [](const char *, uid_t, gid_t) { errno = EPERM; return -1; };
  EXPECT_EQ(file_chmod(&x, 0755), 0);
  EXPECT_EQ(file_chown(&x, 5, -1), 0);
  EXPECT_TRUE(logged("Error changing mode of '" + p("f") + "' to 493, Operation not permitted"));
  EXPECT_TRUE(logged("Error changing ownership of '" + p("f") + "' to uid=5, gid=5"));
}

}  // namespace
