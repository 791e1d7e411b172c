[install]
MkDir $(current_dir)/wrong
[upgrade]
MkDir $(current_dir)/dest
CopyFile $(current_dir)/src/* - $(current_dir)/dest
Error keepconf Configuration of $(product) replaced, upgrade stopped
MkDir $(current_dir)/never
