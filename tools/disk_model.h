// A model of the disk behind the system-call seam, for running the installer's own copy
// engine without touching anything: look-ups and reads go to the real disk, read-only;
// every change (a new file or folder, a removal, a rename, a new owner or mode, written
// bytes) lands in memory, where later calls see it. Descriptors handed out are real ones
// (of "/" or of the content read), so their numbers never collide with the process's own.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <dirent.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sys.h"

namespace installer::tool {

// What an entry is at the end, or was before: what the plan shows of it.
struct Attr {
  std::string type;  // "file", "dir", "link" or "other"
  std::optional<mode_t> mode;
  std::optional<std::string> owner, group;
  std::optional<long long> size;
  std::optional<std::string> source;  // the file a copy or a template carries
};

// One entry of the net effect against the real disk.
struct Change {
  std::string path;  // absolute
  char op;           // '+', '~' or '-'
  std::optional<Attr> before, after;
  int line = 0;  // the command that last acted on it (0: none known)
  std::string command;
};

// What one command did, in the order it first touched each entry.
struct Touch {
  std::string path;
  char op = 0;  // '+', '~', '-' or 0 (attributes only)
  std::optional<std::string> source;
  std::optional<mode_t> mode;        // set by a change of mode
  std::optional<std::string> owner;  // "user:group", set by a change of owner
  bool dir = false;
};

class DiskModel {
 public:
  DiskModel();
  ~DiskModel();
  DiskModel(const DiskModel &) = delete;
  DiskModel &operator=(const DiskModel &) = delete;

  // The seam that answers from this model; the log's stream `log` has its lines kept.
  Sys calls(std::FILE *log);

  // The command acting from now on, for the entries it touches.
  void begin(int line, const std::string &command);
  // What the command begun last did, as it stands after it.
  std::vector<Touch> touched() const;
  // The last error line the engine logged since begin().
  const std::string &last_error() const { return error_; }

  // Names the template a file at `path` was just made from, as its source.
  void made_from(const std::string &path, const std::string &source);

  // Created, changed and removed entries against the real disk, sorted by path.
  std::vector<Change> net_effect();

  struct Node;
  struct Open;
  // How the current command left one path: whether something was there before it acted,
  // and whether it put new content or another entry there.
  struct Rec {
    bool existed = false;
    bool replaced = false;
    std::optional<mode_t> mode;
    std::optional<std::string> owner;
  };

 private:
  std::shared_ptr<Node> root_;
  std::map<int, Open> fds_;
  std::map<DIR *, std::pair<std::vector<std::string>, std::size_t>> dirs_;
  std::map<std::string, std::pair<int, std::string>> acted_;  // path: line and command
  std::vector<std::string> order_;  // the paths this command touched, in order
  std::map<std::string, Rec> now_;
  int line_ = 0;
  std::string command_;
  std::string error_;
  ino_t next_ino_ = 1;
  struct Impl;
  friend struct Impl;
};

}  // namespace installer::tool
