[install]
MkDir $(current_dir)/$(target)
CopyFile $(current_dir)/src/*.txt - $(current_dir)/$(target)
MkDir $(current_dir)/$(docdir) docs
