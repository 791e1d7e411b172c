// Users and groups read straight from passwd and group files, for the statically linked
// installer. A static program that asks the C library's name service for a name its files
// lack loads the host's service modules (and with them a second C library) and can crash in
// them; reading the files with fgetpwent_r and fgetgrent_r needs no module. Users and groups
// that only a network directory or a service knows are not seen this way.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace installer {

// The id of the first entry named `name` in the passwd (group) file at `path`, or nothing
// when there is none, the file cannot be read, or a name is null. Names starting with "+"
// or "-" are compatibility markers and never match, as in the C library's own reading of
// these files. errno is left as it was.
std::optional<uid_t> userfiles_uid(const char *path, const char *name);
std::optional<gid_t> userfiles_gid(const char *path, const char *name);

// The name of the first entry with that id, the other way round, for showing owners.
std::optional<std::string> userfiles_user(const char *path, uid_t uid);
std::optional<std::string> userfiles_group(const char *path, gid_t gid);

}  // namespace installer
