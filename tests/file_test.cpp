// The file-system layer: copies, folders made and removed, walks. Failed copies, mode and
// owner changes run end to end in copy-file-layer, trees in copy-install.
#include "file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "copy.h"
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
  EXPECT_TRUE(copy("src", "dst", 0) == -1 && get("dst") == "old");  // reported to neither callback
  EXPECT_TRUE(copy("src", "dst") == 1 && get("dst") == "new");
  EXPECT_EQ(copy("none", "out", 0) + file_copy(nullptr, "x", 1, nullptr), 0);
  EXPECT_EQ(errno, 0);  // the failure callback is shown no error
  EXPECT_EQ(events, (Strings{"ok src>dst 1", "fail none>out 1", "fail (null)>x 1"}));

  std::string big(3 * COPY_BLOCK + 17, 'z');
  put("big", big);
  put("empty", "");
  ByteCount n = 4294967290ULL;  // the count goes past 32 bits
  EXPECT_EQ(copy("big", "o1", 1, &n) + copy("empty", "o2", 1, &n), 2);
  EXPECT_EQ(n, 4294967290ULL + big.size());
  EXPECT_EQ(get("o1"), big);
}

// A link its owner may be trusted with is written through, to a file there or not yet
// there, whether it is named or met in a tree copied over; the link stays a link.
TEST_F(FileTest, CopyWritesThroughATrustedLink) {
  put("src", "new");
  put("tree/a", "new a");
  put("tree/b", "new b");
  put("tree/sub/c", "c");
  put("real", "old");
  fs::create_directories(p("d/sub"));  // a folder there already is entered as it is
  for (const char *link : {"link", "d/a"}) fs::create_symlink(p("real"), p(link));
  for (const char *link : {"dangling", "d/b"}) fs::create_symlink(p(link) + ".made", p(link));
  fs::create_symlink(p("none/c"), p("d/sub/c"));  // into a folder not there: not copied
  EXPECT_EQ(copy("src", "link") + copy("src", "dangling"), 2);
  EXPECT_EQ(get("real") + "|" + get("dangling.made"), "new|new");
  EXPECT_EQ(file_xcopy(p("tree").c_str(), "*", nullptr, p("d").c_str(), 1, nullptr), 2);
  EXPECT_TRUE(!logged("does not exist") && !logged("Error opening dir") &&
              logged("'" + p("d/sub/c") + "' for write, No such"));
  EXPECT_EQ(get("real") + "|" + get("d/b.made"), "new a|new b");
  for (const char *link : {"link", "dangling", "d/a", "d/b"}) EXPECT_TRUE(fs::is_symlink(p(link)));
  EXPECT_TRUE(dochmod(root.c_str(), "link", nullptr, 0777) == 1 &&  // the change reaches through
              fs::status(p("real")).permissions() == fs::perms::all);
  // Without recursion a folder is made, and nothing is copied into it.
  EXPECT_EQ(file_xcopy(p("tree").c_str(), "*", nullptr, p("flat").c_str(), 0, nullptr), 4);
  EXPECT_TRUE(fs::is_directory(p("flat/sub")) && !fs::exists(p("flat/sub/c")));
  events.clear();
  EXPECT_EQ(file_xcopy(p("tree").c_str(), "*", nullptr, p("deep/er").c_str(), 1, nullptr), 5);
  EXPECT_NE(std::find(events.begin(), events.end(), "ok deep/er/sub 1"), events.end());
}

// A folder missing on the way, or a file where a folder should be, fails the copy: nothing
// is made in its place and nothing is read from it; the same where the kernel cannot take a
// path's folders in one call and they are taken one at a time.
TEST_F(FileTest, APathThroughWhatIsNoFolderLeadsNowhere) {
  put("src", "new");
  fs::permissions(root, fs::perms::all);  // and a link nobody should trust on the way
  fs::create_symlink(root, p("lnk"));
  for (bool one_call : {true, false}) {
    SCOPED_TRACE(one_call ? "folders in one call" : "one folder at a time");
    SysGuard guard;
    if (!one_call) fail_with(sys().open_nolinks, ENOSYS);
    EXPECT_EQ(copy("src", "missing/f"), 0);
    EXPECT_FALSE(fs::exists(p("missing")));
    EXPECT_TRUE(!copy("src", "src/f") && get("src") == "new");
    EXPECT_EQ(copy("missing/f", "out") + copy("lnk/src", "out"), 0);
    EXPECT_FALSE(fs::exists(p("out")));
    EXPECT_TRUE(!file_exist(p("missing/f").c_str()) && file_exist(p("src").c_str()) == 1);
  }
}

// A missing argument gets a fixed answer, and the answer is "no": nothing is trusted,
// renamed, changed or found through a null.
TEST_F(FileTest, NullArgumentsAnswerNo) {
  char out[PATH_SIZE] = "keep";
  std::unique_ptr<FHandle> h;
  const int no[] = {
      file_trusted(nullptr),       file_isdir(nullptr),       file_rename(nullptr, "a"),
      file_exist(nullptr),         file_mkdir(nullptr, 1),    file_remove(nullptr),
      file_next(nullptr, nullptr), file_chmod(nullptr, 0644), file_chown(nullptr, 0, 0),
      file_getuid(nullptr) + 1,    file_getgid(nullptr) + 1};  // -1: no owner
  for (const int &n : no) EXPECT_EQ(n, 0) << "answer " << &n - no;
  EXPECT_EQ(file_copy_into(nullptr, AT_FDCWD, "x", nullptr) +
                file_xcopy(nullptr, "*", nullptr, "x", 1, nullptr) +
                file_xcopy_into(nullptr, nullptr, AT_FDCWD, "x", nullptr) +
                file_rmdir_entry(nullptr, nullptr) + file_rmdir(nullptr, nullptr, 1),
            0);
  EXPECT_TRUE(!file_first(&h, nullptr, "*") && !file_first(nullptr, "/", "*") &&
              !file_name(nullptr) && !file_filename(nullptr, out, PATH_SIZE));
}

TEST_F(FileTest, FoldersMadeRemovedAndWalked) {
  EXPECT_EQ(file_mkdir(p("a/b/").c_str(), 1), 1);
  EXPECT_EQ(file_mkdir(p("a/b/").c_str(), 1), 1);
  EXPECT_EQ(file_mkdir("/", 0), 1);  // there already, and no empty name
  errno = 0;
  EXPECT_TRUE(!file_exist("") && errno == ENOENT);  // why it is not there, for the message
  const fs::path cwd = fs::current_path();
  fs::current_path(root);
  EXPECT_EQ(file_mkdir("r/s", 1), 1);  // relative, under a folder of one letter
  fs::current_path(cwd);
  EXPECT_EQ(file_mkdir(p("x/y").c_str(), 0), 0);
  EXPECT_EQ(events, (Strings{"ok a 1", "ok a/b 1", "ok r 1", "ok r/s 1", "fail x/y 1"}));
  events.clear();
  put("t/sub/keep.txt", "k");
  put("t/sub/my keep.txt", "k");  // a name is tested piece by piece
  put("t/sub/a.txt", "a");
  EXPECT_EQ(file_rmdir(p("t").c_str(), "keep.txt", 1), 1);
  EXPECT_EQ(events, (Strings{"ok t/sub/a.txt 0", "fail t/sub 0", "ok t/sub 0", "fail t 0"}));
  EXPECT_EQ(tree("t"), (Strings{"sub", "sub/keep.txt", "sub/my keep.txt"}));
  EXPECT_EQ(file_rmdir(p("t").c_str(), nullptr, 0), 0);  // not empty
  EXPECT_TRUE(file_rmdir(p("t").c_str(), nullptr, 1) == 4 && !fs::exists(p("t")));
  put("w/a.txt", "a");
  put("w/.hidden", "h");
  fs::create_directory(p("w/dir"));
  fs::create_directory_symlink("dir", p("w/ldir"));
  fs::create_symlink(std::string(255, 'g'), p("w/dangling"));  // a target at full length
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
  EXPECT_EQ(seen, (Strings{".hidden", "a.txt", "dangling->" + std::string(255, 'g'), "dir/",
                           "ldir->dir"}));

  EXPECT_TRUE(!file_first(&h, p("w/dir").c_str(), "*") && !h);  // empty
  fail_with(sys().readlinkat, EIO);
  x = file_first(&h, p("w").c_str(), "ldir");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->link, "READLINK FAILED");
  EXPECT_TRUE(logged("Error reading symlink '" + p("w/ldir") + "'"));
  x = file_first(&h, p("w").c_str(), "a.txt");  // changed in the folder listed, moved or not
  char cut[3];
  EXPECT_STREQ(file_filename(x.get(), cut, sizeof cut), "a.");
  fs::rename(p("w"), p("w2"));
  EXPECT_EQ((std::vector{file_chmod(x.get(), 0600), file_remove(x.get()), file_remove(x.get())}),
            std::vector({1, 1, 0}));
  File loose;  // one no walk made goes by its path
  scpy(loose.name, p("w2/.hidden").c_str(), PATH_SIZE);
  x->dir = -1;  // and fails where it or its folder has gone
  EXPECT_EQ((std::vector{file_chmod(&loose, 0600), file_remove(&loose), file_remove(&loose),
                         file_remove(x.get())}),
            std::vector({1, 1, 0, 0}));
  ASSERT_EQ(::mknod(p("w2/null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
  fs::permissions(p("w2"), fs::perms::all);  // nor a device, nor a link where anybody writes
  for (auto name : {"null", "ldir"})
    EXPECT_FALSE(file_trusted(file_first(&h, p("w2").c_str(), name).get()));
  char joined[PATH_SIZE];  // a path of 255 characters is taken, one of 256 is not
  const std::string dir(250, 'd');
  EXPECT_TRUE(file_join(dir.c_str(), "1234", joined) && !file_join(dir.c_str(), "12345", joined) &&
              std::strlen(joined) == 255);
}

}  // namespace

namespace installer {
namespace {

// A copy that fails anywhere leaves the file it was to replace as it was, leaves no
// temporary behind and names the destination; a failed copy_file_range is no failure. Each
// case runs with an unnamed temporary and with a named one.
TEST_F(FileTest, FailedCopiesLoseNothing) {
  struct Case {
    const char *op, *name;
    bool ok;
    const char *message;
  } cases[] = {
      {"openat", ".install.", false, "Error opening '%s' for write"},
      {"fstatat", ".", false, "Error opening '%s' for write"},  // the folder it is in
      {"copy_file_range,write", ".install.", false, "Error writing to '%s'"},
      {"close", ".install.", false, "Error writing to '%s'"},
      {"fchmod", ".install.", false, "Error writing to '%s'"},
      {"linkat", ".install.", false, "Error writing to '%s'"},
      {"renameat", "dst", false, "Error writing to '%s'"},
      {"copy_file_range", ".install.", true, nullptr},
      {"open_nolinks", "", true, nullptr},  // an older kernel
  };
  std::string big(2 * COPY_BLOCK + 5, 'n');
  put("d/src", big);
  for (bool named : {false, true}) {
    for (const Case &c : cases) {
      std::string op = c.op;
      if (named && op == "linkat") continue;  // a named temporary is not linked
      SCOPED_TRACE(op + (named ? ", named temporary" : ", unnamed temporary"));
      put("d/dst", "old");
      // A mode the new file cannot be made with, so that it must be set afterwards.
      fs::permissions(p("d/dst"), fs::perms(01640));
      {
        FailOn fail(c.op, c.name, ENOSPC);
        if (named) refuse_unnamed();
        EXPECT_EQ(copy("d/src", "d/dst"), c.ok ? 1 : 0);
        EXPECT_GT(fail.hits(), 0);
      }
      EXPECT_EQ(events.back(), (c.ok ? "ok" : "fail") + std::string(" d/src>d/dst 1"));
      EXPECT_EQ(get("d/dst"), c.ok ? big : "old");
      EXPECT_EQ(fs::status(p("d/dst")).permissions(), fs::perms(01640));
      EXPECT_EQ(tree("d"), (Strings{"dst", "src"}));
      if (c.message) {
        char want[LINE_SIZE];
        installer::snprintf(want, LINE_SIZE, c.message, p("d/dst").c_str());
        EXPECT_TRUE(logged(std::string(want) + ", No space left on device"));
      }
    }
  }
  // A new file that cannot be finished never appears.
  {
    FailOn fail("copy_file_range,write", ".install.", EIO);
    EXPECT_EQ(copy("d/src", "d/fresh"), 0);
  }
  EXPECT_EQ(tree("d"), (Strings{"dst", "src"}));
  // A folder of a tree that cannot be made fails as file_mkdir would.
  put("t/sub/f", "f");
  FailOn fail("mkdirat", "sub", EACCES);
  EXPECT_EQ(file_xcopy(p("t").c_str(), "*", nullptr, p("e").c_str(), 1, nullptr), 1);
  EXPECT_TRUE(logged("Error creating directory '" + p("e/sub") + "', Permission denied"));
  EXPECT_EQ(file_xcopy(p("t").c_str(), "*", nullptr, p("t/sub/f/x").c_str(), 1, nullptr), 0);
  errno = ENOENT;  // file_error reports the error of the moment
  file_error("Gone %s", "here");
  EXPECT_TRUE(logged("Gone here, No such file or directory"));
}

// Every way to an unnamed or named temporary, forced through the seam, ends with the new
// content in place and nothing else in the folder: each error that means "no unnamed file
// here", naming through /proc when the descriptor cannot be linked, names already taken.
TEST_F(FileTest, TemporaryFallbacks) {
  put("d/src", "new content");
  auto check = [&](const char *what) {
    SCOPED_TRACE(what);
    put("d/dst", "old");
    EXPECT_TRUE(copy("d/src", "d/dst") == 1 && get("d/dst") == "new content");
    EXPECT_EQ(tree("d"), (Strings{"dst", "src"}));
  };
  for (int error : {EOPNOTSUPP, EISDIR, EINVAL}) {
    SysGuard g;
    refuse_unnamed(error);
    check(std::strerror(error));
  }
  {  // root names an unnamed file by its descriptor, with no /proc and no named temporary
    FailOn no_proc("fstatat", "/proc/self/fd", ENOENT),
        pid_named("openat", ".install." + std::to_string(getpid()), EACCES);
    check("root without /proc");
  }
  {
    SysGuard g;
    int proc = 0;
    sys().linkat = [real = sys().linkat, &proc](int a, const char *from, int b, const char *to,
                                                int flags) {
      if (flags & AT_EMPTY_PATH) {
        errno = ENOENT;  // what the kernel answers without CAP_DAC_READ_SEARCH
        return -1;
      }
      proc += std::string(from).rfind("/proc/self/fd/", 0) == 0;
      return real(a, from, b, to, flags);
    };
    check("linked through /proc");
    EXPECT_EQ(proc, 1);
  }
  {
    // Neither way can name it (a bare root without the right to link by descriptor): the
    // content moves into a named temporary, with the mode it is to have.
    SysGuard g;
    fail_with(sys().linkat, ENOENT);
    put("d/dst", "old");
    fs::permissions(p("d/dst"), fs::perms(0640));
    check("no way to name an unnamed file");
    EXPECT_EQ(fs::status(p("d/dst")).permissions(), fs::perms(0640));
    put("d/dst", "old");  // and a write into the named one fails: the old file stays
    FailOn full("write", ".install." + std::to_string(getpid()), ENOSPC);
    EXPECT_TRUE(!copy("d/src", "d/dst") && get("d/dst") == "old");
    FailOn denied("openat", ".install." + std::to_string(getpid()), EACCES);  // or none made
    EXPECT_TRUE(!copy("d/src", "d/dst") && logged(p("d/dst") + "', Permission denied"));
  }
  // Somebody took the first names drawn: the next are taken, theirs kept; all taken, it fails.
  for (auto [named, taken] : {std::pair{false, 3}, {true, 3}, {false, 1000}, {true, 1000}}) {
    SysGuard g;
    if (named) refuse_unnamed();
    int draws = 0;
    sys().getrandom = [&draws, taken = taken](void *buf, std::size_t n) -> ssize_t {
      std::memset(buf, draws++ < taken ? 0xab : draws, n);
      return static_cast<ssize_t>(n);
    };
    std::string squatted = ".install." + std::to_string(getpid()) + ".abababababababab";
    put("d/" + squatted, "theirs");
    put("d/dst", "old");
    EXPECT_EQ(copy("d/src", "d/dst"), taken < 100 ? 1 : 0);
    EXPECT_EQ(get("d/dst"), taken < 100 ? "new content" : "old");
    EXPECT_TRUE(taken < 100 || logged(p("d/dst") + "', File exists"));
    EXPECT_EQ(get("d/" + squatted), "theirs");
    EXPECT_GE(draws, 4);
    fs::remove(p("d/" + squatted));
  }
  {
    SysGuard g;
    fail_with(sys().getrandom, ENOSYS);  // an older kernel: the names come from /dev/urandom
    refuse_unnamed();
    check("no getrandom");
    sys().read = [real = sys().read](int fd, void *to, std::size_t n) -> ssize_t {
      return n == 8 ? (std::memset(to, 0xcd, n), 8) : real(fd, to, n);  // a name's 8 bytes
    };
    put("d/.install." + std::to_string(getpid()) + ".cdcdcdcdcdcdcdcd", "theirs");
    put("d/dst", "old");
    EXPECT_EQ(copy("d/src", "d/dst"), 0);  // the only name it draws is taken
    fs::remove(p("d/.install." + std::to_string(getpid()) + ".cdcdcdcdcdcdcdcd"));
  }
  SysGuard g;  // a write that takes nothing is no failure: it is tried again
  sys().write = [real = sys().write, taken = 0](int fd, const void *buf, std::size_t n) mutable {
    errno = EAGAIN;
    return taken++ ? real(fd, buf, n) : 0;
  };
  FileWriter w;
  EXPECT_TRUE(w.open(p("w").c_str()) && w.write("abc", 3) && w.commit());
  EXPECT_EQ(get("w"), "abc");
  fs::create_symlink(".", p("here"));  // a writer aimed at no file says why
  for (auto [path, error] : {std::pair{"missing/w", ENOENT}, {"here", EISDIR}}) {
    errno = 0;
    EXPECT_TRUE(!w.open(p(path).c_str()) && errno == error) << path;
  }
  EXPECT_TRUE(!w.open(nullptr) && !FileWriter().commit());
}

// A file is read whole up to the limit; one that grows past it while read is refused.
TEST_F(FileTest, TextReadUpToItsLimit) {
  put("max", std::string(RFILE_MAX, 'm'));
  EXPECT_EQ(file_read_text(p("max").c_str()), std::string(RFILE_MAX, 'm'));
  sys().fread = [](void *to, auto, std::size_t n, auto) { return std::memset(to, 'g', n), n; };
  EXPECT_TRUE(!file_read_text(p("max").c_str()) && errno == EFBIG);
  EXPECT_TRUE(logged("Not reading '" + p("max") + "', it is larger than 65536 bytes"));
}

struct Owned {
  uid_t uid;
  gid_t gid;
  mode_t mode;
  ino_t ino;
  bool operator==(const Owned &) const = default;
};

Owned owned(const std::string &path) {
  struct stat st = {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return {st.st_uid, st.st_gid, st.st_mode & 07777, st.st_ino};
}

void own(const std::string &path, uid_t uid, mode_t mode) {
  ASSERT_EQ(::lchown(path.c_str(), uid, uid), 0);
  ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

// What a replaced file keeps of the old one, by who owns it and its folder.
TEST_F(FileTest, ReplacedFilesKeepOnlyWhatIsSafe) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files away";
  ::umask(022);
  put("src", "new");
  struct Case {
    const char *what;
    uid_t folder_uid;
    mode_t folder_mode, old_mode;
    uid_t old_uid;
    Owned want;  // ino 0: a new file
    const char *logged;
  } cases[] = {
      // Another user's file in a folder others can write becomes root's, of the usual mode
      // (sticky folders and root's: harden-replaced-files and harden-temporaries).
      {"group-writable folder", 0, 0775, 0666, 4601, {0, 0, 0644, 0}, "Not keeping the owner"},
      // ... unless it is the folder owner's.
      {"folder owner's", 4602, 0777, 0666, 4602, {4602, 4602, 0666, 0}, nullptr},
      // Set-id bits only where the file and its folder are root's.
      {"set-uid in root's folder", 0, 0755, 04755, 0, {0, 0, 04755, 0}, nullptr},
      {"set-uid in a user's folder", 4603, 0755, 04755, 0, {0, 0, 0755, 0}, "set-uid"},
      {"set-gid of a user", 0, 0755, 02755, 4604, {4604, 4604, 0755, 0}, "set-uid"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(p("f"));
    put("f/app.cgi", "old");
    own(p("f/app.cgi"), c.old_uid, c.old_mode);
    own(p("f"), c.folder_uid, c.folder_mode);
    EXPECT_TRUE(copy("src", "f/app.cgi") == 1 && get("f/app.cgi") == "new");
    Owned got = owned(p("f/app.cgi"));
    got.ino = 0;
    EXPECT_EQ(got, c.want);
    EXPECT_TRUE(!c.logged || logged(c.logged));
  }
  for (auto [uid, gid] : {std::pair{4605u, 0u}, {0u, 4605u}}) {  // one owner is root's
    put("f/app.cgi", "old");
    ASSERT_EQ(::lchown(p("f/app.cgi").c_str(), uid, gid), 0);
    EXPECT_EQ(copy("src", "f/app.cgi"), 1);
    EXPECT_EQ(std::pair(owned(p("f/app.cgi")).uid, owned(p("f/app.cgi")).gid), std::pair(uid, gid));
  }
  // A new file takes its folder's default ACL (user rw, group and mask r, other none), not
  // the umask; each entry's tag and permission are one word, as a little-endian kernel has.
  const std::uint32_t acl[] = {2, 0x60001, ~0u, 0x40004, ~0u, 0x40010, ~0u, 0x20, ~0u};
  fs::create_directory(p("acl"));
  if (::setxattr(p("acl").c_str(), "system.posix_acl_default", acl, sizeof acl, 0) != 0)
    GTEST_SKIP() << "no ACLs here";
  EXPECT_EQ(copy("src", "acl/new"), 1);
  EXPECT_EQ(fs::status(p("acl/new")).permissions(), fs::perms(0640));
}

// A file that already holds the content, with the owner and mode it would keep, is left as
// it is (same file, same times); the callbacks and byte counts are those of a write.
TEST_F(FileTest, UnchangedFilesAreNotRewritten) {
  std::string big(3 * COPY_BLOCK + 7, 'b');
  put("src", big);
  put("same", big);
  struct stat before, after;
  ASSERT_EQ(::stat(p("same").c_str(), &before), 0);
  ::usleep(20000);
  ByteCount n = 0;
  EXPECT_TRUE(copy("src", "same", 1, &n) == 1 && n == big.size());
  ASSERT_EQ(::stat(p("same").c_str(), &after), 0);
  EXPECT_EQ(std::tuple(after.st_ino, after.st_mtim.tv_nsec, after.st_ctim.tv_nsec),
            std::tuple(before.st_ino, before.st_mtim.tv_nsec, before.st_ctim.tv_nsec));
  EXPECT_EQ(events, (Strings{"ok src>same 1"}));
  fs::create_hard_link(p("src"), p("src-too"));  // a second name the folder's owner gave
  EXPECT_EQ(copy("src-too", "twin"), 1);
  {  // unless the folder's owner cannot be looked up
    FailOn folder("fstatat", ".", EIO);
    EXPECT_TRUE(!copy("src-too", "twin") && logged("Not using '" + p("src-too")));
  }

  // One byte differs, in the last block: the file is replaced, with the right content.
  std::string last = big;
  last.back() = 'c';
  put("differs", last);
  ino_t ino = owned(p("differs")).ino;
  EXPECT_TRUE(copy("src", "differs") == 1 && get("differs") == big);
  EXPECT_NE(owned(p("differs")).ino, ino);

  // Where no new file can be made, the same content is no failure; a difference met late
  // fails as a target that cannot be opened, and the old file stays whole.
  put("late", last);
  {
    FailOn fail("openat", ".install.", ENOSPC);
    EXPECT_EQ(std::pair(copy("src", "same"), copy("src", "late")), std::pair(1, 0));
  }
  EXPECT_EQ(get("late"), last);
  EXPECT_TRUE(logged("Error opening '" + p("late") + "' for write, No space left on device"));

  // Content handed over in pieces, as templates and values are: equal, longer, shorter.
  auto write = [&](const char *rel, std::initializer_list<const char *> pieces) {
    FileWriter w;
    EXPECT_TRUE(w.open(p(rel).c_str()));
    for (const char *piece : pieces) EXPECT_TRUE(w.write(piece, std::strlen(piece)));
    EXPECT_TRUE(w.commit());
    return owned(p(rel)).ino;
  };
  for (const char *old : {"abcdef", "abcdefgh", "abcd", "abXdef", ""}) {
    SCOPED_TRACE(old);
    put("w", old);
    ino_t was = owned(p("w")).ino;
    ino_t now = write("w", {"ab", "cd", "", "e", "f"});
    EXPECT_TRUE(get("w") == "abcdef" && (now == was) == (std::string(old) == "abcdef"));
  }
  put("w", "aXc");  // one byte matched
  write("w", {"a", "bc"});
  EXPECT_EQ(get("w"), "abc");
  // The old file shrinks before the part that matched is read back for the new one.
  put("w", "abcdef");
  int reads = 0;
  sys().pread = [&reads, real = sys().pread](int fd, void *to, std::size_t n, off_t at) {
    return ++reads > 3 ? 0 : real(fd, to, n, at);
  };
  FileWriter w;
  EXPECT_TRUE(w.open(p("w").c_str()) && w.write("ab", 2) && w.write("cd", 2));
  EXPECT_TRUE(!w.write("X", 1) && errno == EIO && get("w") == "abcdef");
  reads = 2;  // it ends early while it is compared: no match, and nothing to read back
  EXPECT_TRUE(w.open(p("w").c_str()) && w.write("ab", 2) && !w.write("cd", 2) && errno == EIO);
}

// Chown and Chmod make no call where it would change nothing. A chown clears the set-id
// bits and a file's capabilities even to the same owner, so with any of them it is made.
TEST_F(FileTest, OwnerAndModeCallsOnlyWhereTheyChangeSomething) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
  for (auto f : {"t/plain", "t/setuid", "t/caps"}) put(f, "x");
  fs::create_directory(p("t/d"));
  own(p("t"), 4600, 0755);
  for (auto f : {"t/plain", "t/caps", "t/d"}) own(p(f), 4600, 0644);
  own(p("t/setuid"), 4600, 04755);
  struct stat caps;
  ASSERT_EQ(::stat(p("t/caps").c_str(), &caps), 0);
  int chowns = 0, chmods = 0, nocaps = ENOTSUP;  // a file system without them, or a file
  Sys real = sys();
  sys().fchownat = [&](int fd, const char *path, uid_t u, gid_t g, int flags) {
    chowns++;
    return real.fchownat(fd, path, u, g, flags);
  };
  sys().fchmod_path = [&](int fd, mode_t mode) {
    chmods++;
    return real.fchmod_path(fd, mode);
  };
  int opens = 0;  // where nothing is to change, only the folders listed are opened
  sys().openat = [&](int dir, const char *name, int flags, mode_t mode) {
    opens++;
    return real.openat(dir, name, flags, mode);
  };
  sys().capability_size = [&](int dir, const char *name) -> ssize_t {
    struct stat st;
    if (::fstatat(dir, name, &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) == 0 &&
        st.st_ino == caps.st_ino)
      return 20;
    errno = nocaps;
    return -1;
  };
  EXPECT_EQ(dochown(p("t").c_str(), "*", nullptr, 4600, 4600), 4);
  EXPECT_EQ(chowns, 2);  // the set-uid file and the one with capabilities
  EXPECT_EQ(fs::status(p("t/setuid")).permissions(), fs::perms(0755));
  EXPECT_EQ(dochmod(p("t").c_str(), "*", nullptr, 0644), 4);
  EXPECT_EQ(chmods, 1);  // the file that lost its set-uid bit
  opens = 0;
  EXPECT_EQ(dochmod(p("t").c_str(), "*", nullptr, 0644), 4);
  EXPECT_EQ(std::pair(chmods, opens), std::pair(1, 2));
  nocaps = ENODATA;
  opens = 0;
  EXPECT_EQ(dochown(p("t").c_str(), "*", nullptr, 4600, 4600), 4);
  EXPECT_EQ(std::pair(chowns, opens), std::pair(3, 3));  // the file with capabilities only
  std::unique_ptr<FHandle> h;  // passed over without a call, and still done
  std::unique_ptr<File> plain = file_first(&h, p("t").c_str(), "plain");
  EXPECT_EQ(file_chmod(plain.get(), 0644) + file_chown(plain.get(), 4600, 4600), 2);
  plain->dir = -1;  // and by its path, its capabilities looked up for real by descriptor
  sys().capability_size = real.capability_size;
  EXPECT_TRUE(file_chown(plain.get(), 4600, 4600) == 1 && chowns == 3);
}

// Where the kernel cannot set a mode through a path descriptor and there is no /proc, a
// regular file is opened again by its name; a pipe cannot be, and that failure is reported.
// Sockets, pipes and devices in a walk run end to end (harden-walk-entries).
TEST_F(FileTest, ModeWithoutAPathDescriptor) {
  put("t/z.txt", "z");
  ASSERT_EQ(::mkfifo(p("t/pipe").c_str(), 0644), 0);
  fail_with(sys().fchmod_path, ENOSYS);
  EXPECT_EQ(dochmod(p("t").c_str(), "z.txt", nullptr, 0600), 1);
  EXPECT_EQ(fs::status(p("t/z.txt")).permissions(), fs::perms(0600));
  EXPECT_EQ(dochmod(p("t").c_str(), "pipe", nullptr, 0600), 0);
  EXPECT_TRUE(
      logged("Error changing mode of '" + p("t/pipe") + "' to 384, Function not implemented"));
  fail_with(sys().fchmod_path, ENOENT);  // nor by /proc
  EXPECT_EQ(dochmod(p("t").c_str(), "z.txt", nullptr, 0604), 1);
  put("t/other", "o");  // swapped in between the look and the change: neither is changed
  sys().openat = [real = sys().openat, this](int dir, const char *name, int flags, mode_t mode) {
    if (!(flags & O_PATH) && name == std::string("z.txt") &&  // swapped, then gone
        ::rename(p("t/other").c_str(), p("t/z.txt").c_str()) != 0)
      ::unlink(p("t/z.txt").c_str());
    return real(dir, name, flags, mode);
  };
  EXPECT_EQ(dochmod(p("t").c_str(), "z.txt", nullptr, 0640), 0);
  EXPECT_EQ(fs::status(p("t/z.txt")).permissions(), fs::perms(0644));
  EXPECT_TRUE(logged("'" + p("t/z.txt") + "' to 416, Resource temporarily unavailable"));
  EXPECT_EQ(dochmod(p("t").c_str(), "z.txt", nullptr, 0640), 0);
}

}  // namespace
}  // namespace installer
