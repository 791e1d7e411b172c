[EXTRA]
MkDir $(current_dir)/$(name)/one
MkDir $(current_dir)/$(name)/two
RmFile $(current_dir)/missing -
