// The file-system layer. Every disk action of the installer goes through `disk()`, so a
// test can make one call fail on demand and check the error path.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "lib.h"

namespace installer {

// The system calls behind the file layer. Tests swap one member and restore it after.
struct Disk {
  std::FILE *(*fopen)(const char *path, const char *mode);
  std::size_t (*fread)(void *buf, std::size_t size, std::size_t n, std::FILE *f);
  std::size_t (*fwrite)(const void *buf, std::size_t size, std::size_t n, std::FILE *f);
  int (*stat)(const char *path, struct stat *st);
  int (*lstat)(const char *path, struct stat *st);
  ssize_t (*readlink)(const char *path, char *buf, std::size_t size);
  DIR *(*opendir)(const char *path);
  int (*mkdir)(const char *path, mode_t mode);
  int (*rmdir)(const char *path);
  int (*remove)(const char *path);
  int (*rename)(const char *from, const char *to);
  int (*chmod)(const char *path, mode_t mode);
  int (*chown)(const char *path, uid_t uid, gid_t gid);
  char *(*getcwd)(char *buf, std::size_t size);
};
Disk &disk();
// Puts the real system calls back.
void disk_reset();

// Progress callbacks: mode is 1 from copies and directory creation, 0 from removals.
using FileFn = void (*)(const char *src, const char *dst, int mode);
void file_setup_fn(FileFn xok, FileFn xfail);

// An open directory walk.
struct FHandle {
  std::string path;
  std::string wild;
  DIR *handle = nullptr;
  ~FHandle();
};

// One entry of a walk.
struct File {
  char name[PATH_SIZE] = {};          // full path: walk path, Sep, entry name
  std::optional<std::string> link;    // a symbolic link's target, or "READLINK FAILED"
  struct stat info = {};              // lstat of the entry itself
};

// 0 nothing there (or null), 2 a directory, 1 anything else; follows links.
int file_exist(const char *file);
// 1 copied, 0 failed, -1 dst exists and overwrite is 0.
int file_copy(const char *src, const char *dst, int overwrite, ByteCount *bytes);
// Files copied plus directories created.
int file_xcopy(const char *path, const char *wild, const char *not_, const char *dst,
               int recurse, ByteCount *bytes);
int file_mkdir(const char *dir, int make_all);
// Entries removed, dir itself included.
int file_rmdir(const char *dir, const char *not_, int recurse);

std::unique_ptr<File> file_first(std::unique_ptr<FHandle> *h, const char *path,
                                 const char *wild);
int file_next(File *x, FHandle *h);
void file_free(std::unique_ptr<File> *x);
void file_last(std::unique_ptr<FHandle> *h);
const char *file_name(File *x);
char *file_filename(File *x, char *buffer, unsigned bfsz);
bool file_isdir(const File *x);

// Ids from the user and group databases, or -1.
int file_getuid(const char *name);
int file_getgid(const char *name);
int file_chmod(File *x, mode_t mode);
// A uid of -1 is refused; a gid of -1 takes the uid.
int file_chown(File *x, int uid, int gid);

// Logs "<message>, <system error text>" at error level.
void file_error(const char *format, ...) INSTALLER_PRINTF(1, 2);

}  // namespace installer
