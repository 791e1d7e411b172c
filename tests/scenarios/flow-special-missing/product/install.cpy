[fix]
MkDir $(current_dir)/made
[other]
MkDir $(current_dir)/other
