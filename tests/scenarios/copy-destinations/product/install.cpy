[install]
# Into every folder that matches, except an excluded one and a link.
CopyFile $(current_dir)/src/*.txt *.bak $(current_dir)/dst/*
# A whole tree, its excluded names ignoring letter case only at the top.
CopyDir $(current_dir)/src/ *.BAK $(current_dir)/dst/one
