// Link-safe path resolution: how a path given as text becomes an open folder and a name in
// it, one component at a time through folder descriptors, following a symbolic link only
// when nobody but root (or the installer's own user) can have made it, named it or put it
// where it stands.
//
// A link is trusted when three things hold, each checked on what is held open:
//   - root or the installer's user owns it (no other user made it);
//   - it has one name (nobody hard-linked it into a folder of theirs);
//   - the folder it stands in, and every folder above that one up to the root, is sealed:
//     owned by root or the installer's user and writable by nobody else, unless sticky
//     (nobody else can have moved it there or renamed it).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <deque>
#include <optional>
#include <string>

#include "file.h"

namespace installer {

// How many links one path may pass through, as the kernel allows.
constexpr int MAX_LINK_HOPS = 40;

// A folder in the middle of a path walk: owned, or borrowed from the caller.
class Cursor {
 public:
  explicit Cursor(int borrowed) : fd_(borrowed) {}
  void own(Fd fd) {
    owned_ = std::move(fd);
    fd_ = owned_.get();
  }
  // Hands the descriptor over, if it is owned; get() still answers it.
  Fd take() { return std::move(owned_); }
  int get() const { return fd_; }

 private:
  Fd owned_;
  int fd_;
};

// Where a path leads: the folder that holds its last component, and that component.
struct Place {
  Cursor dir{AT_FDCWD};
  std::string name;
  // What a walk that followed the last component found there (nothing: no such entry),
  // so that the caller need not look again; unset when it did not look.
  std::optional<std::optional<struct stat>> last;
};

// The link itself may be trusted: root or the installer's user owns it, and it has one name.
bool link_owner_trusted(const struct stat &link);
// A folder only root or the installer's user can change: owned by one of them, with no
// group or other write bit unless it is sticky. Where an ACL exists the group bits of the
// mode are its mask, so a named user's or group's write right shows there too.
bool folder_sealed(const struct stat &folder);
// Whether the open folder `dir` and every folder above it, up to the root, are sealed.
bool folders_sealed(int dir);
// Whether the link `link`, found in the open folder `dir`, may be followed.
bool link_trusted(int dir, const struct stat &link);
// Logs why the link `shown` (status `link`, in the open folder `dir`) is not followed;
// `on_way_to`, when given, is the path it stands on the way to.
void refuse_link(int dir, const char *shown, const struct stat &link,
                 const char *on_way_to = nullptr);

// The components of a path, without empty ones and ".".
std::deque<std::string> path_components(const char *path);

// Follows `path` from the folder `base` (or "/" for an absolute path). Each folder on the
// way is entered without following links, except trusted ones; an untrusted link on the
// way fails with ELOOP. With follow_last a trusted link as the last component is followed
// too; an untrusted one stays the last component, so the caller acts on the link itself
// and never through it. A missing last component is no failure: the caller decides.
// errno is left as it was on success.
bool locate(int base, const char *path, bool follow_last, Place *out, int *err);

// Opens the folder `name` of the open folder `dir` to list it, never through a link, and
// makes sure it is the folder a listing saw (`seen`, from the same device and inode): a
// name swapped between the listing and the descent is not entered. Null, with *err set,
// otherwise; a swap is logged with `shown`.
Fd open_listed_folder(int dir, const char *name, const struct stat &seen, const char *shown,
                      int *err);

}  // namespace installer
