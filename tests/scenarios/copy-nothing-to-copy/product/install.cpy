[install]
MkDir $(target)
CopyFile $(current_dir)/data/*.none - $(target)
MkDir $(target)/after
