// The static installer's reader of the users and groups files: the first entry of a name or
// id wins, markers and malformed lines never match, long lines are read whole, errno stays.
#include "userfiles.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

using namespace installer;

TEST(UserFiles, FirstEntryOfANameOrIdAndNothingElse) {
  char tmpl[] = "/tmp/userfiles_test.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl, users = dir + "/passwd", groups = dir + "/group";
  std::ofstream(users)
      << "root:x:0:0:root:/root:/bin/sh\n+nis::::::\n-gone:x:7:7::/:\n+add:x:8:8::/:\n"
         "broken line without fields\n"
         "web:x:33:34:web server:/var/www:/usr/sbin/nologin\n"
         "web:x:99:99:second web:/:/bin/false\n"
         "33:x:1033:1033:named by a number:/:/bin/false\n";
  std::string members;
  for (int i = 0; i < 2000; i++) members += (i ? ",member" : "member") + std::to_string(i);
  std::ofstream(groups) << "root:x:0:\ncrowd:x:500:" << members << "\nweb:x:34:\n";
  auto uid = [&](const char *name) { return userfiles_uid(users.c_str(), name); };
  const struct {
    const char *name;
    std::optional<uid_t> want;
  } cases[] = {
      {"root", 0},   {"web", 33},
      {"33", 1033},  // a name of digits is a name
      {"34", {}},    {"nobody-here", {}},
      {"+nis", {}},  {"+", {}},
      {"-gone", {}}, {"", {}},
      {nullptr, {}}, {"broken line without fields", {}},
  };
  errno = EINTR;
  for (const auto &c : cases) EXPECT_EQ(uid(c.name), c.want) << (c.name ? c.name : "(null)");
  EXPECT_EQ(userfiles_gid(groups.c_str(), "crowd"), 500u);  // a line over the first buffer
  EXPECT_EQ(userfiles_gid(groups.c_str(), "web"), 34u);     // and the entry after it
  EXPECT_EQ(userfiles_gid(groups.c_str(), "member5"), std::nullopt);
  EXPECT_EQ(userfiles_uid(nullptr, "root"), std::nullopt);
  EXPECT_EQ(userfiles_gid((dir + "/none").c_str(), "root"), std::nullopt);
  EXPECT_EQ(errno, EINTR);
  // Owners shown by the static tools.
  EXPECT_EQ(userfiles_user(users.c_str(), 33), "web");
  EXPECT_EQ(userfiles_user(users.c_str(), 1033), "33");
  for (uid_t id : {7u, 8u, 4242u}) EXPECT_EQ(userfiles_user(users.c_str(), id), std::nullopt) << id;
  EXPECT_EQ(userfiles_group(groups.c_str(), 34), "web");
  EXPECT_EQ(userfiles_group(nullptr, 0), std::nullopt);
  std::filesystem::remove_all(dir);
}
