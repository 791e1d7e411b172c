[install]

[owners]
MkDir $(target)
CopyFile $(current_dir)/data/page.txt - $(target)
# Owners are names: a number names no user or group here (nobody is called "33"), so
# the first changes nothing, and the second takes the user's number for the group.
Chown $(target)/page.txt - 33:33
Chown $(target)/ - numuser:4402
