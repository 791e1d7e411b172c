[upgrade]
MkDir $(current_dir)/made
