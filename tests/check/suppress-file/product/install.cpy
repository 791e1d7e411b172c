[install]
Ini  $(current_dir)/t.in  $(current_dir)/out
[upgrade]
[remove]
