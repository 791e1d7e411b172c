[install]
MkDir     $(current_dir)/site
CopyFile  $(current_dir)/page.txt  -  $(current_dir)/site
Chown     $(current_dir)/site  -  $(web_user):$(web_group)
