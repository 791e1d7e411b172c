[install]
MkDir $(target)
CopyFile $(current_dir)/data/*.txt - $(target)
Error db_ok  The database at $(target) is not ready
MkDir $(target)/after
