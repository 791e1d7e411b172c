[install]
MkDir $(target)/data
CopyDir $(current_dir)/payload/ - $(target)/data
# The owner comes from a file, so it is known only once the script runs.
RFile $(current_dir)/owner.txt who
Chown $(target)/data/ - $(who)
Chmod $(target)/data/secret.key - 600
Chmod $(target)/data/ *secret* 640
