// The file-system layer: copies, directory creation and removal, walks. Existence tests,
// directory creation, each way a copy can fail and failed mode and owner changes run end to
// end on real files, with their messages (scenario copy-file-layer).
#include "file.h"

#include <algorithm>

#include "fake_sys.h"
#include "scratch.h"

namespace fs = std::filesystem;
using namespace installer;
using Strings = std::vector<std::string>;

namespace {

std::string g_root;  // stripped from callback paths so expectations stay short
Strings events;

void record(const char *kind, const char *src, const char *dst, int mode) {
  auto rel = [](const char *path) {
    std::string s = path ? path : "(null)";
    return s.rfind(g_root + "/", 0) == 0 ? s.substr(g_root.size() + 1) : s;
  };
  events.push_back(kind + rel(src) + (dst ? ">" + rel(dst) : "") + " " + std::to_string(mode));
}

class FileTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    g_root = root;
    events.clear();
    file_setup_fn([](const char *s, const char *d, int m) { record("ok ", s, d, m); },
                  [](const char *s, const char *d, int m) { record("fail ", s, d, m); });
  }
  int copy(const char *src, const char *dst, int overwrite = 1, ByteCount *bytes = nullptr) {
    return file_copy(p(src).c_str(), p(dst).c_str(), overwrite, bytes);
  }
  Strings tree(const std::string &rel) const {
    Strings out;
    for (auto &e : fs::recursive_directory_iterator(p(rel)))
      out.push_back(fs::relative(e.path(), p(rel)).string());
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(FileTest, CopyOverwriteRuleBytesAndMissingSource) {
  put("src", "new");
  put("dst", "old");
  EXPECT_EQ(copy("src", "dst", 0), -1);  // reported to neither callback
  EXPECT_EQ(get("dst"), "old");
  EXPECT_EQ(copy("src", "dst"), 1);
  EXPECT_EQ(get("dst"), "new");
  EXPECT_EQ(copy("none", "out", 0), 0);
  EXPECT_EQ(file_copy(nullptr, "x", 1, nullptr), 0);
  EXPECT_EQ(events, (Strings{"ok src>dst 1", "fail none>out 1", "fail (null)>x 1"}));

  std::string big(3 * COPY_BLOCK + 17, 'z');
  put("big", big);
  put("empty", "");
  ByteCount n = 4294967290ULL;  // the count goes past 32 bits
  EXPECT_EQ(copy("big", "o1", 1, &n), 1);
  EXPECT_EQ(copy("empty", "o2", 1, &n), 1);
  EXPECT_EQ(n, 4294967290ULL + big.size());
  EXPECT_EQ(get("o1"), big);
}

// A file copied onto itself, by its own name or another, stays the very same file.
TEST_F(FileTest, CopyOntoItselfLeavesTheFile) {
  put("same", "abc");
  fs::create_hard_link(p("same"), p("other"));
  const auto links = fs::hard_link_count(p("same"));
  struct stat before;
  ASSERT_EQ(::stat(p("same").c_str(), &before), 0);
  EXPECT_EQ(copy("same", "same"), 1);
  EXPECT_EQ(copy("same", "other"), 1);
  struct stat after;
  ASSERT_EQ(::stat(p("other").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(fs::hard_link_count(p("same")), links);
  EXPECT_EQ(get("same"), "abc");
  EXPECT_TRUE(logged("'" + p("same") + "' and '" + p("other") + "' are the same file"));
  EXPECT_EQ(events, (Strings{"ok same>same 1", "ok same>other 1"}));
}

// A link its owner may be trusted with is written through, to a file there or not yet
// there, whether it is named or met in a tree copied over; the link stays a link.
TEST_F(FileTest, CopyWritesThroughATrustedLink) {
  put("src", "new");
  put("tree/a", "new a");
  put("tree/b", "new b");
  put("real", "old");
  fs::create_directory(p("d"));
  for (const char *link : {"link", "d/a"}) fs::create_symlink(p("real"), p(link));
  for (const char *link : {"dangling", "d/b"}) fs::create_symlink(p(link) + ".made", p(link));
  EXPECT_EQ(copy("src", "link"), 1);
  EXPECT_EQ(copy("src", "dangling"), 1);
  EXPECT_EQ(get("real"), "new");
  EXPECT_EQ(get("dangling.made"), "new");
  EXPECT_EQ(file_xcopy(p("tree").c_str(), "*", nullptr, p("d").c_str(), 1, nullptr), 2);
  EXPECT_EQ(get("real"), "new a");
  EXPECT_EQ(get("d/b.made"), "new b");
  for (const char *link : {"link", "dangling", "d/a", "d/b"}) EXPECT_TRUE(fs::is_symlink(p(link)));
}

// A folder missing on the way, or a file where a folder should be, fails the copy: nothing
// is made in its place and nothing is read from it; the same where the kernel cannot take a
// path's folders in one call and they are taken one at a time.
TEST_F(FileTest, APathThroughWhatIsNoFolderLeadsNowhere) {
  put("src", "new");
  for (bool one_call : {true, false}) {
    SCOPED_TRACE(one_call ? "folders in one call" : "one folder at a time");
    SysGuard guard;
    if (!one_call) {
      sys().open_nolinks = [](int, const char *, int) {
        errno = ENOSYS;
        return -1;
      };
    }
    EXPECT_EQ(copy("src", "missing/f"), 0);
    EXPECT_FALSE(fs::exists(p("missing")));
    EXPECT_EQ(copy("src", "src/f"), 0);
    EXPECT_EQ(get("src"), "new");
    EXPECT_EQ(copy("missing/f", "out"), 0);
    EXPECT_FALSE(fs::exists(p("out")));
    EXPECT_EQ(file_exist(p("missing/f").c_str()), 0);
  }
}

// A missing argument gets a fixed answer, and the answer is "no": nothing is trusted,
// renamed, changed or found through a null.
TEST_F(FileTest, NullArgumentsAnswerNo) {
  char out[PATH_SIZE] = "keep";
  std::unique_ptr<FHandle> h;
  EXPECT_FALSE(file_trusted(nullptr));
  EXPECT_FALSE(file_isdir(nullptr));
  EXPECT_FALSE(file_rename(nullptr, "a"));
  EXPECT_EQ(file_exist(nullptr), 0);
  EXPECT_EQ(file_mkdir(nullptr, 1), 0);
  EXPECT_EQ(file_remove(nullptr), 0);
  EXPECT_EQ(file_chmod(nullptr, 0644), 0);
  EXPECT_EQ(file_chown(nullptr, 0, 0), 0);
  EXPECT_EQ(file_getuid(nullptr), -1);
  EXPECT_EQ(file_getgid(nullptr), -1);
  EXPECT_EQ(file_first(&h, nullptr, "*"), nullptr);
  EXPECT_EQ(file_first(nullptr, "/", "*"), nullptr);
  EXPECT_EQ(file_name(nullptr), nullptr);
  EXPECT_EQ(file_filename(nullptr, out, PATH_SIZE), nullptr);
}

TEST_F(FileTest, MkdirCreatesEachLevelOnce) {
  EXPECT_EQ(file_mkdir(p("a/b/c/").c_str(), 1), 1);
  EXPECT_EQ(events, (Strings{"ok a 1", "ok a/b 1", "ok a/b/c 1"}));
  events.clear();
  EXPECT_EQ(file_mkdir(p("a/b/c/").c_str(), 1), 1);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(file_mkdir(p("x/y").c_str(), 0), 0);
  EXPECT_EQ(events, Strings{"fail x/y 1"});
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

// Whole trees with exclusions below the top level run end to end (scenario copy-install).
TEST_F(FileTest, XcopyPatternPicksTopLevelOnly) {
  for (auto f : {"s/index.html", "s/a.txt", "s/images/logo.png", "s/images/x.html",
                 "s/docs.html/in.txt"})
    put(f, "12345");
  EXPECT_EQ(file_xcopy(p("s").c_str(), "*.html", nullptr, p("d").c_str(), 1, nullptr), 4);
  EXPECT_EQ(tree("d"), (Strings{"docs.html", "docs.html/in.txt", "index.html"}));
  // Without recursion a directory is created empty.
  EXPECT_EQ(file_xcopy(p("s").c_str(), nullptr, nullptr, p("flat").c_str(), 0, nullptr), 5);
  EXPECT_TRUE(fs::is_empty(p("flat/images")));
}

TEST_F(FileTest, WalkReportsLinksAsLinks) {
  put("w/a.txt", "a");
  put("w/.hidden", "h");
  fs::create_directory(p("w/dir"));
  fs::create_directory_symlink("dir", p("w/ldir"));
  fs::create_symlink("gone", p("w/dangling"));
  std::unique_ptr<FHandle> h;
  std::unique_ptr<File> x = file_first(&h, p("w").c_str(), "*");
  Strings seen;
  for (bool more = x != nullptr; more; more = file_next(x.get(), h.get())) {
    char name[PATH_SIZE];
    std::string s = file_filename(x.get(), name, PATH_SIZE);
    EXPECT_EQ(file_name(x.get()), p("w/") + s);
    seen.push_back(s + (x->link ? "->" + *x->link : "") + (file_isdir(x.get()) ? "/" : ""));
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (Strings{".hidden", "a.txt", "dangling->gone", "dir/", "ldir->dir"}));

  EXPECT_EQ(file_first(&h, p("w/dir").c_str(), "*"), nullptr);  // empty
  EXPECT_EQ(h, nullptr);
  sys().readlinkat = [](int, const char *, char *, std::size_t) -> ssize_t { return -1; };
  x = file_first(&h, p("w").c_str(), "ldir");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->link, "READLINK FAILED");
  EXPECT_TRUE(logged("Error reading symlink '" + p("w/ldir") + "'"));
}

}  // namespace

namespace installer {
namespace {

// A copy that fails anywhere leaves the file it was to replace as it was, leaves no
// temporary behind and names the destination; a failed copy_file_range is no failure.
TEST_F(FileTest, FailedCopiesLoseNothing) {
  struct Case {
    const char *op, *name;
    bool ok;
    const char *message;
  } cases[] = {
      {"openat", ".install.", false, "Error opening '%s' for write"},
      {"copy_file_range,write", ".install.", false, "Error writing to '%s'"},
      {"close", ".install.", false, "Error writing to '%s'"},
      {"fchmod", ".install.", false, "Error writing to '%s'"},
      {"renameat", "dst", false, "Error writing to '%s'"},
      {"copy_file_range", ".install.", true, nullptr},
      {"open_nolinks", "", true, nullptr},  // an older kernel
  };
  std::string big(2 * COPY_BLOCK + 5, 'n');
  put("d/src", big);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.op);
    put("d/dst", "old");
    // A mode the new file cannot be made with, so that it must be set afterwards.
    fs::permissions(p("d/dst"), fs::perms(01640));
    {
      FailOn fail(c.op, c.name, ENOSPC);
      EXPECT_EQ(copy("d/src", "d/dst"), c.ok ? 1 : 0);
      EXPECT_GT(fail.hits(), 0);
    }
    EXPECT_EQ(get("d/dst"), c.ok ? big : "old");
    EXPECT_EQ(fs::status(p("d/dst")).permissions(), fs::perms(01640));
    EXPECT_EQ(tree("d"), (Strings{"dst", "src"}));
    if (c.message) {
      char want[LINE_SIZE];
      installer::snprintf(want, LINE_SIZE, c.message, p("d/dst").c_str());
      EXPECT_TRUE(logged(std::string(want) + ", No space left on device"));
    }
  }
  // A new file that cannot be finished is taken away again.
  {
    FailOn fail("copy_file_range,write", "fresh", EIO);
    EXPECT_EQ(copy("d/src", "d/fresh"), 0);
  }
  EXPECT_FALSE(fs::exists(p("d/fresh")));
}

// A tree deeper than a path can name is walked to where names still fit, without a crash,
// and every entry beyond is reported and left alone.
TEST_F(FileTest, WalksStopWhereAPathWouldBeCut) {
  std::string deep = "t";
  while (root.size() + deep.size() < PATH_SIZE + 40) deep += "/abcdefgh";
  fs::create_directories(p(deep));
  put(deep + "/f", "x");
  EXPECT_GT(file_xcopy(p("t").c_str(), "*", nullptr, p("c").c_str(), 1, nullptr), 0);
  EXPECT_TRUE(logged("its path would be longer than 255 characters"));
  EXPECT_EQ(file_rmdir(p("t").c_str(), nullptr, 1), 0);
  EXPECT_TRUE(fs::exists(p(deep + "/f")));  // too deep to name: kept, and so its folders
}

}  // namespace
}  // namespace installer
