[install]
MkDir $(current_dir)/made
