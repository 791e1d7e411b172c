// Users and groups read from the files themselves (the static installer's reader): the
// first entry of a name wins, compatibility markers and malformed lines never match, a
// line longer than the first buffer is read whole, and a miss leaves errno alone.
#include "userfiles.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

using namespace installer;

namespace {

class UserFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/userfiles_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    std::ofstream(dir + "/passwd") << "root:x:0:0:root:/root:/bin/sh\n"
                                      "+nis::::::\n"
                                      "broken line without fields\n"
                                      "web:x:33:34:web server:/var/www:/usr/sbin/nologin\n"
                                      "web:x:99:99:second web:/:/bin/false\n"
                                      "33:x:1033:1033:named by a number:/:/bin/false\n";
    std::string members;
    for (int i = 0; i < 2000; i++) members += (i ? ",member" : "member") + std::to_string(i);
    std::ofstream(dir + "/group") << "root:x:0:\n"
                                     "crowd:x:500:"
                                  << members
                                  << "\n"
                                     "web:x:34:\n";
  }
  void TearDown() override {
    unlink((dir + "/passwd").c_str());
    unlink((dir + "/group").c_str());
    rmdir(dir.c_str());
  }
  std::optional<uid_t> uid(const char *name) {
    return userfiles_uid((dir + "/passwd").c_str(), name);
  }
  std::optional<gid_t> gid(const char *name) {
    return userfiles_gid((dir + "/group").c_str(), name);
  }
  std::string dir;
};

TEST_F(UserFilesTest, FindsTheFirstEntryOfAName) {
  EXPECT_EQ(uid("root"), 0u);
  EXPECT_EQ(uid("web"), 33u);
  EXPECT_EQ(uid("33"), 1033u);  // a name made of digits is still a name
  EXPECT_EQ(gid("web"), 34u);
}

TEST_F(UserFilesTest, MissesWhatNoEntryNames) {
  EXPECT_EQ(uid("nobody-here"), std::nullopt);
  EXPECT_EQ(uid("34"), std::nullopt);  // numbers are not looked up as ids
  EXPECT_EQ(uid("+nis"), std::nullopt);
  EXPECT_EQ(uid("+"), std::nullopt);
  EXPECT_EQ(uid("broken line without fields"), std::nullopt);
  EXPECT_EQ(uid(""), std::nullopt);
  EXPECT_EQ(uid(nullptr), std::nullopt);
  EXPECT_EQ(userfiles_uid(nullptr, "root"), std::nullopt);
  EXPECT_EQ(userfiles_uid((dir + "/none").c_str(), "root"), std::nullopt);
  EXPECT_EQ(gid("member5"), std::nullopt);
}

TEST_F(UserFilesTest, ReadsALineLongerThanTheFirstBuffer) {
  EXPECT_EQ(gid("crowd"), 500u);
  EXPECT_EQ(gid("web"), 34u);  // the entry after the long line
}

TEST_F(UserFilesTest, LeavesErrnoAsItWas) {
  errno = EINTR;
  EXPECT_EQ(uid("nobody-here"), std::nullopt);
  EXPECT_EQ(userfiles_gid((dir + "/none").c_str(), "root"), std::nullopt);
  EXPECT_EQ(errno, EINTR);
}

}  // namespace

// Owners shown by the static tools: the first entry with the id, after a long line too.
TEST_F(UserFilesTest, NamesTheFirstEntryOfAnId) {
  const std::string users = dir + "/passwd", groups = dir + "/group";
  EXPECT_EQ(userfiles_user(users.c_str(), 33), "web");
  EXPECT_EQ(userfiles_user(users.c_str(), 1033), "33");
  EXPECT_EQ(userfiles_user(users.c_str(), 4242), std::nullopt);
  EXPECT_EQ(userfiles_group(groups.c_str(), 34), "web");
  EXPECT_EQ(userfiles_group(nullptr, 0), std::nullopt);
}
