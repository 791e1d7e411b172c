[install]

[files]
MkDir $(current_dir)/made/a/b/
# An existing file counts as made; a path through one cannot be.
MkDir $(current_dir)/data/a.txt
MkDir $(current_dir)/data/a.txt/sub
# The source folder as the destination: each file is copied onto itself.
CopyFile $(current_dir)/data/*.txt - $(current_dir)/data
# Copies that fail, each in its own way; the run goes on after each.
CopyFile $(current_dir)/fail/gone.txt - $(current_dir)/out
CopyFile $(current_dir)/fail/isdir.txt - $(current_dir)/out
CopyFile $(current_dir)/fail/mem.txt - $(current_dir)/out
CopyFile $(current_dir)/fail/small.txt - $(current_dir)/full
CopyFile $(current_dir)/fail/big.txt - $(current_dir)/full
# On a read-only file system neither the mode nor the owner can change; a group that does
# not exist takes the user's number.
Chmod $(current_dir)/ro/f - 755
Chown $(current_dir)/ro/f - fileuser:no-such-group
