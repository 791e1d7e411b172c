[install]

[big]
CopyFile $(current_dir)/data/big.bin - $(web)
