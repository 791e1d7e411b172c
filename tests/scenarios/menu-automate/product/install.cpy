[install]
MkDir $(current_dir)/$(target)
CopyFile $(current_dir)/src/* - $(current_dir)/$(target) docs
