[install]
MkDir $(current_dir)/$(target)
