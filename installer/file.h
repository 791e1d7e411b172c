// The file-system layer: existence tests, file and tree copies, directory creation and
// removal, directory walks, owner and mode changes, and the safe opening of files that the
// copy script and the init commands read and write.
//
// The installer runs as root over trees that another user owns, so nothing here acts by a
// path that was checked before: every path is opened one component at a time through
// folder descriptors (resolve.h), a symbolic link is followed only when it is trusted, every
// walk goes down a tree from the folder it holds open, and files are replaced whole, through
// a new file renamed over the old.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "lib.h"

namespace installer {

// Progress callbacks: mode is 1 from copies and directory creation, 0 from removals.
using FileFn = void (*)(const char *src, const char *dst, int mode);
void file_setup_fn(FileFn xok, FileFn xfail);

// An owned descriptor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd();
  Fd(Fd &&other) noexcept : fd_(other.release()) {}
  Fd &operator=(Fd &&other) noexcept;
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// An open directory walk.
struct FHandle {
  std::string path;
  std::string wild;
  DIR *handle = nullptr;  // owns the open folder's descriptor
  ~FHandle();
};

// One entry of a walk.
struct File {
  char name[PATH_SIZE] = {};        // full path: walk path, Sep, entry name
  std::optional<std::string> link;  // a symbolic link's target, or "READLINK FAILED"
  struct stat info = {};            // status of the entry itself, not of a link's target
  int dir = -1;                     // the walk's open folder (borrowed from its handle)
  std::string entry;                // the entry's name in that folder
};

// 0 nothing there (or null), 2 a directory, 1 anything else. A trusted link is followed;
// a link that is not trusted counts as the file it is.
int file_exist(const char *file);
// 1 copied, 0 failed, -1 dst exists and overwrite is 0.
int file_copy(const char *src, const char *dst, int overwrite, ByteCount *bytes);
// Files copied plus directories created.
int file_xcopy(const char *path, const char *wild, const char *not_, const char *dst, int recurse,
               ByteCount *bytes);
// The same work on what a walk listed, from the folder descriptors it holds, into a folder
// already open (file_open_folder): a tree is entered only as the very folder the walk saw.
Fd file_open_folder(const char *path, int *err);
int file_copy_into(File *e, int out, const char *target, ByteCount *bytes);
int file_xcopy_into(File *e, const char *not_, int out, const char *target, ByteCount *bytes);
int file_mkdir(const char *dir, int make_all);
// Entries removed, dir itself included.
int file_rmdir(const char *dir, const char *not_, int recurse);
// file_rmdir, recursive, of a folder a walk listed, entered only if it is still that folder.
int file_rmdir_entry(File *e, const char *not_);
// Removes one entry of a walk that is not a directory (a link itself, never its target).
int file_remove(File *x);

std::unique_ptr<File> file_first(std::unique_ptr<FHandle> *h, const char *path, const char *wild);
int file_next(File *x, FHandle *h);
void file_free(std::unique_ptr<File> *x);
void file_last(std::unique_ptr<FHandle> *h);
const char *file_name(File *x);
char *file_filename(File *x, char *buffer, unsigned bfsz);
bool file_isdir(const File *x);

// Ids from the user and group databases, or -1.
int file_getuid(const char *name);
int file_getgid(const char *name);
// A change of owner or mode acts on the entry, or on a trusted link's target, through a
// path descriptor: a pipe or a socket is changed without being opened for reading. 1 done
// (or nothing to change), 0 failed and logged, -1 passed over with the reason logged (a
// link that is not trusted, a device, another user's hard link).
int file_chmod(File *x, mode_t mode);
// A uid of -1 is refused; a gid of -1 takes the uid.
int file_chown(File *x, int uid, int gid);
// Whether an entry may be acted on: false, with the reason logged, for a link that is not
// trusted, for a device, and for a file that another user hard-linked into a folder of
// theirs.
bool file_trusted(File *x);

// The first test of a symbolic link: root or the installer's own user owns it and it has
// one name. Following it also needs every folder above it sealed (resolve.h), which the
// path walk checks when it gets there.
bool file_link_trusted(const struct stat &link);

// Joins a folder and an entry name as attach_path does; false when the result would not
// fit the 255 characters of a path, which is then reported for the entry.
bool file_join(const char *dir, const char *name, char *out);
// Renames without following a link in either last component; false with errno set.
bool file_rename(const char *from, const char *to);
// The whole content of a regular file, at most RFILE_MAX bytes; nothing, with errno set,
// when it cannot be read or is larger.
std::optional<std::string> file_read_text(const char *path);

// The most a companion file, a template or httpd.conf may hold: far beyond any real one,
// small enough that a mistaken or hostile file cannot hold a run for long.
inline constexpr off_t FILE_TEXT_MAX = off_t{64} << 20;

// Opens a regular file for reading through the safe path walk, without blocking. Anything
// else (a folder, a pipe, a device) and a file larger than `max` bytes are refused with
// errno set (EISDIR, EINVAL, EFBIG) and a reason logged. Null on failure.
std::FILE *file_open_read(const char *path, off_t max = FILE_TEXT_MAX);

// A file written whole or not at all: the content goes into a new file beside the target
// (unnamed where the file system allows, else under a random name), which takes what the
// old file may pass on (owner, group, mode) and is put in place on commit(). Dropped
// unfinished, it leaves the old file as it was and no temporary behind. A target that
// already holds the content, with the owner and mode it would get, is left as it is.
class FileWriter {
 public:
  FileWriter() = default;
  ~FileWriter();
  FileWriter(const FileWriter &) = delete;
  FileWriter &operator=(const FileWriter &) = delete;

  // False, with errno set, when the target cannot be written.
  bool open(const char *path);
  // The same for the entry `name` of the open folder `dir`, which must outlive the writer;
  // `shown` is the path for messages. `known`, when given, is what the caller found there
  // (nothing: no such entry), so the writer need not look again. With `later`, a new file
  // that the old one may make needless is made only once the content differs, and a
  // failure to make it then shows in create_failed().
  bool open_at(int dir, const char *name, const char *shown,
               const std::optional<struct stat> *known = nullptr, bool later = false);
  // The size the content will have, when the caller knows it beforehand; false, with errno
  // set, when the new file this calls for cannot be made.
  bool expect_size(off_t size);
  // Makes the new file now, if open_at() left it for later; false, with errno set, when it
  // cannot be made.
  bool create();
  // Whether a write or commit failed because the new file could not be made, which is a
  // failure to open the target rather than to write it.
  bool create_failed() const { return create_failed_; }
  // False, with errno set, when the system refuses the bytes.
  bool write(const char *data, std::size_t n);
  // Closes and puts the file in place; false, with errno set, on failure.
  bool commit();
  // Whether everything written so far matches the old file, so nothing has gone to fd() yet
  // and content must come through write().
  bool comparing() const { return same_; }
  int fd() const { return out_.get(); }

 private:
  bool make_temp(mode_t mode);
  bool make_named(mode_t mode);
  bool name_unnamed();
  bool spill();
  int settle();
  bool matches(const char *data, std::size_t n);
  bool diverge();
  bool put(const char *data, std::size_t n);
  void discard();
  Fd dir_, out_, old_;  // the folder, when the writer had to open it itself; the new file;
                        // the old one, while the content is compared with it
  int dir_fd_ = -1;     // the folder the file is written in
  std::string name_, temp_;
  bool unnamed_ = false, same_ = false, create_failed_ = false;
  bool exists_ = false, keep_owner_ = false, change_owner_ = false, change_mode_ = false;
  off_t compared_ = 0, old_size_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  mode_t mode_ = 0;
};

// How an exclusion list is matched: against an entry's name, or its full path, with or
// without letter case.
enum class Exclude { Name, NameAnyCase, PathAnyCase };

// The one directory walk: the entries of a folder that match a pattern, less those the
// exclusion list matches by the rule given. on_excluded, when given, sees each one passed
// over.
class Walk {
 public:
  Walk(const char *path, const char *wild, const char *not_ = nullptr, Exclude by = Exclude::Name,
       std::function<void(const File &)> on_excluded = {});
  // The folder `name` of the open folder `parent`, reached as `path`. With `seen` (what the
  // listing of `parent` saw) it must still be that folder, or it is not entered.
  Walk(int parent, const std::string &name, const char *path, const char *wild, const char *not_,
       Exclude by, const struct stat *seen = nullptr,
       std::function<void(const File &)> on_excluded = {});
  ~Walk();
  Walk(const Walk &) = delete;
  Walk &operator=(const Walk &) = delete;

  // The current entry, null once the walk is over.
  File *entry() const { return entry_.get(); }
  File *next();
  // Why the folder could not be listed; 0 when it was.
  int error() const { return error_; }

 private:
  bool excluded(File *x) const;
  void skip_excluded();
  std::unique_ptr<FHandle> handle_;
  std::unique_ptr<File> entry_;
  const char *not_;
  Exclude by_;
  std::function<void(const File &)> on_excluded_;
  int error_ = 0;
};

// Logs "<message>, <system error text>" at error level, with the error captured when the
// call failed.
void file_error(const char *format, ...) INSTALLER_PRINTF(1, 2);
void file_error_at(int error, const char *format, ...) INSTALLER_PRINTF(2, 3);

}  // namespace installer
