// Link-safe path resolution; who owns a link, how many names it has, and another user's
// actions run end to end in the harden-* scenarios.
#include "resolve.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "copy.h"
#include "fake_sys.h"
#include "scratch.h"

namespace fs = std::filesystem;
using namespace installer;

namespace {

constexpr uid_t OTHER = 4600;  // a user that is not the one running the tests

class ResolveTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
  }
  void link(const std::string &target, const std::string &rel, uid_t owner = 0) {
    fs::create_directories(fs::path(p(rel)).parent_path());
    fs::create_symlink(target, p(rel));
    ASSERT_EQ(::lchown(p(rel).c_str(), owner, owner), 0);
  }
  void folder(const std::string &rel, mode_t mode, uid_t owner = 0) {
    fs::create_directories(p(rel));
    ASSERT_EQ(::chown(p(rel).c_str(), owner, owner), 0);
    ASSERT_EQ(::chmod(p(rel).c_str(), mode), 0);
  }
  // What a path resolves to, following the last component: the name reached and whether a
  // regular file stands there, or the error.
  std::string resolve(const std::string &rel) {
    Place where;
    int err = 0;
    if (!locate(AT_FDCWD, p(rel).c_str(), true, &where, &err)) return std::strerror(err);
    struct stat st;
    bool file = fstatat(where.dir.get(), where.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode);
    return where.name + (file ? " (file)" : "");
  }
};

TEST_F(ResolveTest, WhichFoldersAndLinksAreTrusted) {
  put("outside/secret", "s");
  struct Case {
    mode_t mode;
    uid_t owner;
    bool trusted;
  } cases[] = {
      {0755, 0, true},        // root's own folder
      {0755, OTHER, false},   // another user's folder: theirs to rename things in
      {0755, 1, false},       // even a system user's
      {0775, 0, false},       // a group can write (with an ACL, the mask shows here)
      {0757, 0, false},       // anybody can write
      {01777, 0, true},       // sticky: nobody can move root's link
      {01775, OTHER, false},  // sticky, but another user's
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.mode);
    fs::remove_all(p("f"));
    folder("f", c.mode, c.owner);
    // The folder decides for everything below it too.
    folder("f/inner", 0755);
    link(p("outside/secret"), "f/inner/link");
    EXPECT_EQ(resolve("f/inner/link"), c.trusted ? "secret (file)" : "link");
  }
  // A link is followed only when root (the user running) made it, and so many on one path.
  for (uid_t owner : {0u, 1u, OTHER}) {
    std::string name = "link" + std::to_string(owner);
    link(p("outside/secret"), name, owner);
    EXPECT_EQ(resolve(name), owner == 0 ? "secret (file)" : name);
    if (owner) dochmod(root.c_str(), name.c_str(), nullptr, 0600);  // says why it is not
    EXPECT_EQ(logged("'" + p(name) + "', owned by uid " + std::to_string(owner)), owner != 0);
  }
  put("end", "e");
  link(p("end"), "l0");
  for (int i = 1; i <= MAX_LINK_HOPS; i++)
    link(p("l" + std::to_string(i - 1)), "l" + std::to_string(i));
  EXPECT_EQ(resolve("l" + std::to_string(MAX_LINK_HOPS - 1)), "end (file)");
  EXPECT_EQ(resolve("l" + std::to_string(MAX_LINK_HOPS)), std::strerror(ELOOP));
  link(p("end").insert(root.size(), 4095 - p("end").size(), '/'), "long");  // the longest
  EXPECT_EQ(resolve("long"), "end (file)");
  link(p("end"), "vanish");
  FailOn gone("openat", "vanish", ENOENT);  // removed between its look-up and its opening
  EXPECT_EQ(resolve("vanish"), "vanish");
  link("self", "self");
  EXPECT_EQ(resolve("self"), std::strerror(ELOOP));
  // A run by another user trusts that user's own links and folders as root's.
  struct stat own {};
  own.st_uid = OTHER, own.st_nlink = 1, own.st_mode = S_IFDIR | 0755;
  pid_t child = fork();
  if (child == 0)
    _exit(seteuid(OTHER) == 0 && link_owner_trusted(own) && folder_sealed(own) ? 0 : 1);
  int status = -1;
  EXPECT_TRUE(waitpid(child, &status, 0) == child && status == 0);
  int here = ::open(root.c_str(), O_PATH | O_DIRECTORY);  // root's own, sealed itself
  fail_with(sys().openat, EACCES);  // but the folder above cannot be looked at
  EXPECT_FALSE(folders_sealed(here));
  ::close(here);
}

// The race of a walk, hit every time: the web user's folder d and root's link to a folder
// outside change names just after the listing saw d and before the walk goes into it.
TEST_F(ResolveTest, ASwapBetweenListingAndDescentChangesNothingOutside) {
  for (int i = 0; i < 3; i++) put("outside/s" + std::to_string(i), "root only");
  fs::permissions(p("outside"), fs::perms(0700));
  for (int i = 0; i < 3; i++) put("web/d/f" + std::to_string(i), "x");
  folder("web", 0755, OTHER);  // the web user's folder
  folder("web/d", 0755, OTHER);
  // Root's link to the folder outside, beside the tree: only the swap puts it in the walk.
  link(p("outside"), "side/lnk");
  auto outside = [this] {
    std::string state;
    for (auto &e : fs::directory_iterator(p("outside"))) {
      struct stat st;
      lstat(e.path().c_str(), &st);
      state += e.path().filename().string() + " " + std::to_string(st.st_mode) + " " +
               std::to_string(st.st_uid) + ";";
    }
    return state;
  };
  std::string before = outside();
  struct stat web;
  ::stat(p("web").c_str(), &web);
  auto refused = [this] {
    int n = 0;
    for (const std::string &line : log_lines())
      n += line.find("Not entering '" + p("web/d") + "', it was replaced") != std::string::npos;
    return n;
  };
  for (std::string what : {"chmod", "chown", "copy", "rmdir"}) {
    SCOPED_TRACE(what);
    if (fs::is_symlink(p("web/d")))  // the names as they were before the last swap
      ::syscall(SYS_renameat2, AT_FDCWD, p("web/d").c_str(), AT_FDCWD, p("side/lnk").c_str(), 2);
    int before_run = refused();
    SysGuard guard;
    sys().openat = [real = sys().openat, this, web](int dir, auto path, int flags, auto mode) {
      struct stat in;
      if ((flags & O_DIRECTORY) && std::strcmp(path, "d") == 0 && ::fstat(dir, &in) == 0 &&
          in.st_ino == web.st_ino)
        ::syscall(SYS_renameat2, AT_FDCWD, p("web/d").c_str(), AT_FDCWD, p("side/lnk").c_str(), 2);
      return real(dir, path, flags, mode);
    };
    if (what == "chmod") dochmod(p("web").c_str(), "*", nullptr, 0777);
    if (what == "chown") dochown(p("web").c_str(), "*", nullptr, OTHER + 1, OTHER + 1);
    if (what == "copy") file_xcopy(p("web").c_str(), "*", nullptr, p("copy").c_str(), 1, nullptr);
    if (what == "rmdir") file_rmdir(p("web").c_str(), nullptr, 1);
    EXPECT_EQ(outside(), before);
    EXPECT_EQ(refused(), before_run + 1);
  }
  EXPECT_FALSE(fs::exists(p("copy/d/s0")));
  int err = 0;  // another folder, not a link, where the listed one was
  EXPECT_TRUE(!open_listed_folder(AT_FDCWD, p("side").c_str(), web, "w", &err) && err == EAGAIN);
  EXPECT_TRUE(logged("Not entering 'w', it was replaced after it was listed"));
  EXPECT_TRUE(!open_listed_folder(AT_FDCWD, p("gone").c_str(), web, "g", &err) && err == ENOENT);
}

}  // namespace
