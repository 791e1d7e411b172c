[install]

[broken]
Bogus s n d
# Lines that lack fields: each missing one is reported, also after the first.
MkDir
Chown
RmDir a
CopyFile src dest
Error flag
MkDir $(current_dir)/made
