// Bounded copies, trimming, paths, truth words, wildcards and the formatter: the places where
// an off-by-one or a missed null would hide.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <type_traits>

#include "lib.h"
#include "tcp.h"

using namespace installer;

// "text|result", the text read without relying on a terminator when the result is -1.
static std::string outcome(const char *buf, unsigned bfsz, int n) {
  if (n < 0) return std::string(buf, bfsz) + "|-1";
  return std::string(buf) + "|" + std::to_string(n);
}

// A macro keeps each format a literal, so the compiler checks it against its arguments.
#define fmt(bfsz, ...)                                   \
  ([&] {                                                 \
    char buf[64];                                        \
    std::memset(buf, 'Z', sizeof buf);                   \
    int n = installer::snprintf(buf, bfsz, __VA_ARGS__); \
    return outcome(buf, bfsz, n);                        \
  }())

// What a helper leaves in a buffer that held `start`, and its result: "text|result".
template <class F>
std::string in(const char *start, F f) {
  char buf[16];
  std::strcpy(buf, start);
  auto r = f(buf);
  if constexpr (std::is_pointer_v<decltype(r)>)
    return std::string(buf) + "|" + (r ? r == buf ? "buf" : r : "null");
  else
    return std::string(buf) + "|" + std::to_string(r);
}

TEST(BoundedCopy, HelpersCutAtTheirLimits) {
  EXPECT_EQ(in("x", [](char *b) { return scpy(b, "abcdef", 5); }), "abcd|4");
  EXPECT_EQ(in("x", [](char *b) { return scpy(b, nullptr, 5); }), "|0");
  EXPECT_EQ(in("x", [](char *b) { return scpy(b, "abc", 1); }), "|0");
  // Appending keeps at most size - 2 characters; a text too long already is cut to size - 1.
  EXPECT_EQ(in("", [](char *b) { return scat(b, "abcdef", 5); }), "abc|3");
  EXPECT_EQ(in("abc", [](char *b) { return scat(b, "z", 5); }), "abc|3");
  EXPECT_EQ(in("ab", [](char *b) { return scat(b, "zz", 5); }), "abz|3");
  EXPECT_EQ(in("ab", [](char *b) { return scat(b, "z", 1); }), "|0");
  EXPECT_EQ(in("abcdefgh", [](char *b) { return scat(b, "z", 5); }), "abcd|4");
  EXPECT_EQ(in("abcde", [](char *b) { return scat(b, "z", 5); }), "abcd|4");
  EXPECT_EQ(in("abcdefgh", [](char *b) { return attach_path(b, "x", 5); }), "abcd|buf");
  EXPECT_EQ(in("a", [](char *b) { return attach_ext(b, ".log", 8); }), "a.log|buf");
  EXPECT_EQ(in("a.log", [](char *b) { return attach_ext(b, ".dat", 8); }), "a.log.d|buf");
  EXPECT_EQ(in("abcdefg", [](char *b) { return attach_ext(b, ".dat", 8); }), "abcdefg|buf");
  EXPECT_EQ(in("x", [](char *b) { return schunk("ab.cd", ".,", b, 8); }), "ab|2");
  EXPECT_EQ(in("x", [](char *b) { return schunk("abcdefghij", nullptr, b, 8); }), "abcdefg|7");
  EXPECT_EQ(in("x", [](char *b) { return schunk("abc", ".", b, 1); }), "|0");
  EXPECT_EQ(in("def", [](char *b) { return spre(b, "abc", 8); }), "abcdef|buf");
  EXPECT_EQ(in("abcdef", [](char *b) { return spre(b, "xy", 8); }), "abcdef|null");
  char last[] = "def\0YZZZ";  // filled to its size, and not one byte past
  EXPECT_EQ(std::string(spre(last, "abc", 7), 8), std::string("abcdef\0Z", 8));
  EXPECT_EQ(in("a/b\\c/", [](char *b) { return setsep(b, ':'); }), "a:b:c:|buf");
  EXPECT_EQ(setsep(nullptr, ':'), nullptr);

  char big[1000];
  EXPECT_STREQ(sreplace("$(a)-$(a)", "$(a)", "xy", big, 1000), "xy-xy");
  EXPECT_STREQ(sreplace("$(a)-$(a)", "$(a)", "xy", big, 4), "xy-");
  EXPECT_STREQ(sreplace("a$(a)b", "$(a)", nullptr, big, 1000), "ab");
  EXPECT_STREQ(sreplace("aa", "a", "aa", big, 1000), "aaaa");  // inserted text not searched
  EXPECT_STREQ(sreplace("a", "a", "b", big, 1), "");
  big[0] = 'k';
  EXPECT_TRUE(!sreplace(nullptr, "a", "b", big, 1000) && !sreplace("a", nullptr, "b", big, 1000));
  EXPECT_EQ(big[0], 'k');  // nothing written
  // Helpers the installer itself does not call, kept because the library defines them.
  EXPECT_EQ(smake("abcdef", 4).value() + "|" + smake("ab", 9).value() + smake("abc", 1).value(),
            "abc|ab");  // size counts the terminator
  EXPECT_TRUE(!smake("abc", 0) && !smake(nullptr, 4));
  EXPECT_EQ(sadd(sadd("", "ab"), "cd") + sadd("ab", nullptr), "abcdab");
}

TEST(Words, CompareConvertTrimAndTruth) {
  EXPECT_EQ(s_strcmp(nullptr, nullptr), -1);  // two missing texts never compare equal
  EXPECT_EQ(s_stricmp("ABC", "abc"), 0);
  EXPECT_LT(s_stricmp("ABC", "abd"), 0);
  EXPECT_NE(s_stricmp("\xC4", "\xE4"), 0);  // only A to Z fold
  EXPECT_EQ(s_atoi("99999999999"), 2147483647);
  // Trimming both ends in place.
  struct Case {
    const char *in, *out;
  } cases[] = {{"  a b \r\n", "a b"}, {"", ""}, {" \n", ""}, {"\t\vx\f", "x"}, {"x", "x"}};
  for (const Case &c : cases) {
    char buf[32];
    std::strcpy(buf, c.in);
    EXPECT_STREQ(s_strtrm(buf), c.out) << c.in;
  }
  auto truth = [](const char *w) { return std::to_string(istrue(w)) + std::to_string(isfalse(w)); };
  for (const char *t : {"true", "YES", "y", "On", "checked", "selected", "1", "-1", "5 apples"})
    EXPECT_EQ(truth(t), "10") << t;
  for (const char *f : {"false", "No", "n", "OFF", "0", "00", "-0", "x9"})
    EXPECT_EQ(truth(f), "01") << f;
  for (const char *neither : {"", "maybe", "xy"}) EXPECT_EQ(truth(neither), "00") << neither;
}

TEST(Paths, SplitStripAndJoin) {
  auto split = [](const char *path) {
    char file[16], name[16] = "?";
    std::strcpy(file, path);
    std::string dir = strip_file(file, name, sizeof name);
    return dir + "|" + name;
  };
  EXPECT_EQ(split("/x") + " " + split("dir/") + " " + split("plain"), "|x dir| |plain");
  struct Case {
    const char *in, *ext_stripped, *path_stripped;
  };
  // clang-format off
  const Case cases[] = {
      {"a.b.c", "a.b", "a.b.c"},            {"a.b/c", "a.b/c", "c"},
      {".profile", ".profile", ".profile"}, {"conf/.profile", "conf/", ".profile"},
      {"x\\y.sh", "x\\y", "y.sh"},          {"dir/", "dir/", ""}};
  // clang-format on
  for (const Case &c : cases) {
    char buf[32];
    std::strcpy(buf, c.in);
    EXPECT_STREQ(strip_ext(buf), c.ext_stripped) << c.in;
    std::vector<char> exact(c.in, c.in + std::strlen(c.in) + 1);  // nothing past its end is read
    EXPECT_STREQ(strip_path(exact.data()), c.path_stripped) << c.in;
  }
  struct Join {
    const char *dir, *file, *out;
  };
  // clang-format off
  const Join joins[] = {
      {"dir", "a.txt", "dir/a.txt"}, {"dir/", "/a.txt", "dir/a.txt"}, {"dir/", "//a", "dir//a"},
      {"", "a.txt", "a.txt"},        {"", "/a", "/a"},                {"dir", "", "dir/"},
      {"d\\e", "f\\g", "d/e/f/g"},   {"dir", "/a", "dir/a"},          {"/", "/etc", "/etc"},
      {"/", "etc", "/etc"}};
  // clang-format on
  for (const Join &c : joins) {
    char buf[PATH_SIZE];
    std::strcpy(buf, c.dir);
    EXPECT_STREQ(attach_path(buf, c.file, sizeof buf), c.out) << c.dir << " + " << c.file;
  }
  char empty[8] = "";
  EXPECT_EQ(attach_path(empty, "", sizeof empty), nullptr);
  char small[8] = "abcde";
  EXPECT_STREQ(attach_path(small, "xyz", sizeof small), "abcde/x");  // cut, never overrun
  char name[PATH_SIZE];
  EXPECT_STREQ(exename(name, "/a.b/inst", sizeof name), "inst");
  EXPECT_STREQ(exename(name, "c:\\x\\setup.exe", sizeof name), "setup");
  EXPECT_STREQ(systemdir(name, sizeof name), "/etc");
  char host[256] = "", want[256] = "";
  ASSERT_EQ(::gethostname(want, sizeof want - 1), 0);
  EXPECT_STREQ(tcp_hostname(host, sizeof host), want);  // not the stand-in for a failure
  EXPECT_EQ(tcp_hostname(host, 1)[0], '\0');            // room for the terminator alone
  EXPECT_STREQ(tcp_hostname(host, 3), std::strlen(want) < 2 ? want : "12");  // cut
  EXPECT_STREQ(tcp_hostname(std::strcpy(host, "xkeep") + 1, 0), "keep");     // no room at all
  errno = 0;
  EXPECT_EQ(s_fopen("/", "r"), nullptr);  // a folder is no file to read
  EXPECT_EQ(errno, EISDIR);
}

TEST(Wildcards, MatchAnchoredWithStarAndQuestionMark) {
  struct Case {
    const char *text, *wild;
    int sensitive, insensitive;
  };
  // clang-format off
  const Case cases[] = {
      {"", "", 1, 1},                     {"a", "", 0, 0},          {"", "?", 0, 0},
      {"", "*", 1, 1},                    {"a.txt", "*.txt", 1, 1}, {".txt", "*.txt", 1, 1},
      {"a.txt.bak", "*.txt", 0, 0},       {"abc", "a*b*c", 1, 1},   {"aXbYc", "a*b*c", 1, 1},
      {"acb", "a*b*c", 0, 0},             {"x", "*?", 1, 1},        {"abc", "a*?c", 1, 1},
      {"abxc", "a*?c", 1, 1},             {"[ab]", "[ab]", 1, 1},   {"a", "[ab]", 0, 0},
      {"a.txt", "*.TXT", 0, 1},           {"ab\\c", "ab\\c", 1, 1}, {"abab", "*ab", 1, 1},
      {"mississippi", "m*iss*ppi", 1, 1}, {"aaa", "a**a", 1, 1}};
  // clang-format on
  for (const Case &c : cases) {
    EXPECT_EQ(wmatch(c.text, c.wild, 1), c.sensitive) << c.text << " ~ " << c.wild;
    EXPECT_EQ(wmatch(c.text, c.wild, 0), c.insensitive) << c.text << " ~ " << c.wild;
  }
  EXPECT_EQ(wild_match("", "*"), 1);
  EXPECT_EQ(wild_match("a.txt", "*.TXT") + wild_match("x", "+"), 0);  // "+" is no star

  // Many stars against a long text must neither blow up nor change the answer.
  std::string as(10000, 'a');
  EXPECT_EQ(wmatch(as.c_str(), "*a*a*a*a*a*a*a*a*a*a*b", 1), 0);
  EXPECT_EQ(wmatch((as + "b").c_str(), "*a*a*a*a*a*a*a*a*a*a*b", 1), 1);
  EXPECT_EQ(wild_list("old.bak", "CVS, *.bak"), 1);
  EXPECT_EQ(wild_list("CVS", "CVS,*.bak"), 1);
  EXPECT_EQ(wild_list("a b", "b"), 1);  // a name with a blank is tested piece by piece
  EXPECT_EQ(std::pair(wild_list("OLD.BAK", "*.bak"), wild_ilist("OLD.BAK", "*.bak")),
            std::pair(0, 1));
  EXPECT_EQ(wild_list("x", " ,\t, "), 0);
}

TEST(Formatter, ResultsAndTruncation) {
  EXPECT_EQ(fmt(10, "%s", "abcdefghijklmnopqrst"), "abcdefghi|9");
  EXPECT_EQ(fmt(5, "abcdefgh"), "abcde|-1");  // filled to the last byte, no terminator
  // Read through a volatile so the compiler cannot see the null it would warn about.
  static const char *volatile none = nullptr;
  EXPECT_EQ(fmt(64, "%s", none), "(NULL)|6");
  EXPECT_EQ(fmt(64, "%10s", none), "(NULL)|6");
  EXPECT_EQ(fmt(64, "%.*s", 3, "abcdef"), "abc|3");
  EXPECT_EQ(fmt(64, "%05d", 42), "00042|5");
  EXPECT_EQ(fmt(64, "100%%d"), "100%d|5");
  EXPECT_EQ(fmt(64, "[%c]", 0), "[]|2");  // a NUL character writes nothing
  EXPECT_EQ(fmt(64, "%-4d|%x|%o", 7, 255, 8), "7   |ff|10|10");
  EXPECT_EQ(fmt(64, "%*d", 4, 1), "   1|4");
  EXPECT_EQ(fmt(64, "[%*.*s]", 5, 2, "abcdef"), "[   ab]|7");  // width and precision both taken
  EXPECT_EQ(fmt(64, "%.2f", 1.005), "1.00|4");
  EXPECT_EQ(fmt(64, "%llu", 5000000000ULL), "5000000000|10");
  EXPECT_EQ(fmt(64, "%ld", -7L), "-7|2");
  // A conversion of 29 characters is the longest taken; a longer one ends the text.
  EXPECT_EQ(fmt(64, "[%.00000000000000000000000001d]", 5), "[5]|3");
  EXPECT_EQ(fmt(64, "[%.000000000000000000000000001d]", 5), "[|1");
  int written = -1;
  char nbuf[16];
  installer::snprintf(nbuf, sizeof nbuf, "abc%n", &written);
  EXPECT_EQ(written, 3);
  char buf[5];  // lprintf always terminates
  EXPECT_EQ(lprintf(buf, 5, "abcdefgh"), 4);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(lprintf(buf, 5, "ab"), 2);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(lprintf(buf, 0, "xyz"), 0);  // no room at all: nothing written
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(lprintf(buf, 1, "xyz"), 0);  // room for the terminator alone
  EXPECT_STREQ(buf, "");
}

// Every helper answers a missing argument with a fixed result and writes nothing.
TEST(NullArguments, GiveFixedResults) {
  char buf[8] = "keep";
  // clang-format off
  const int zero[] = {
      scpy(nullptr, "a", 5),                         scpy(buf, "a", 0),
      scat(buf, nullptr, 5),                         istrue(nullptr),
      isfalse(nullptr),                              wmatch(nullptr, "*", 1),
      wild_match(nullptr, "*"),                      wild_list(nullptr, "*"),
      wild_ilist("x", nullptr),                      static_cast<int>(schunk(nullptr, ".", buf, 8)),
      static_cast<int>(schunk("a", ".", buf, 0)),    installer::snprintf(nullptr, 8, "x"),
      installer::snprintf(buf, sizeof buf, nullptr), scat(buf, "a", 0)};
  // clang-format on
  for (int z : zero) EXPECT_EQ(z, 0);
  EXPECT_STREQ(buf, "keep");
  OwnedFile empty(std::fopen("/dev/null", "r"));
  // clang-format off
  const void *none[] = {
      attach_ext(nullptr, ".x", 8), attach_path(nullptr, "x", 8),     s_strtrm(nullptr),
      s_strstr("a", nullptr),       s_strstr(nullptr, "a"),           spre(buf, nullptr, 8),
      exename(buf, nullptr, 8),     exename(nullptr, "a/install", 8), exename(buf, "a/install", 0),
      currentdir(buf, 0),           currentdir(nullptr, PATH_SIZE),   read_line(nullptr, buf, 8),
      read_line(empty.get(), buf, 1), s_fopen("/dev/null", nullptr)};
  // clang-format on
  for (const void *const &n : none) EXPECT_EQ(n, nullptr) << "answer " << &n - none;
  for (int r : {s_strcmp("a", nullptr), s_strcmp(nullptr, "a"), s_stricmp(nullptr, nullptr),
                s_stricmp("a", nullptr)})
    EXPECT_EQ(r, -1);
  EXPECT_FALSE(con_readline(buf, 1) || section_matches(nullptr, "x"));
  EXPECT_EQ(section_name(nullptr), "");
  EXPECT_EQ(s_atoi(nullptr), 0);
  EXPECT_STREQ(buf, "keep");
  EXPECT_TRUE(std::freopen("/proc/self/cmdline", "r", stdin) && con_readline(buf, 2) && !buf[1]);
}
