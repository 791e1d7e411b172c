[install]

[run]
# A hard link to a symbolic link root made: its owner is root, but it has two names.
Chown $(web)/* - webuser
Chmod $(web)/* - 777
Chown $(current_dir)/alternatives/* - webuser
