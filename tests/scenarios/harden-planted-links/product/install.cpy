[install]

[harden]
# The web user owns web/ and planted links in it: at the last component, as a folder on
# the way, as the destination folder, in a tree that is backed up, and a hard link.
Chown $(web)/* - webuser
Chmod $(web)/* - 644
Chown $(current_dir)/sealed/* - webuser
Chmod $(current_dir)/sealed/* - 666
CopyFile $(current_dir)/sealed/* - $(current_dir)
CopyFile $(current_dir)/data/conf.ini - $(web)
CopyFile $(current_dir)/data/conf.ini - $(web)/sub
CopyFile $(current_dir)/data/conf.ini - $(web)/sub/*
Ini $(current_dir)/data/t.in $(web)/ini.conf
WFile $(web)/wfile.txt written
MkDir $(web)/sub/made
MkDir $(current_dir)/backup
CopyDir $(web)/* - $(current_dir)/backup
RFile $(web)/answer.txt got
WFile $(current_dir)/got.txt got
Rename $(web)/sub/secret $(web)/stolen
RmDir $(web)/sub/* -
RmFile $(web)/hard -
Exist $(web)/answer.txt there
WFile $(current_dir)/there.txt there
