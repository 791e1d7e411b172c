[install]

[files]
MkDir $(current_dir)/made/a/b/
MkDir $(current_dir)/data/a.txt/sub
# The source folder as the destination: each file is copied onto itself.
CopyFile $(current_dir)/data/*.txt - $(current_dir)/data
