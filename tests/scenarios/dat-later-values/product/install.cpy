[upgrade]
WFile $(current_dir)/where.txt where
WFile $(current_dir)/fresh.txt fresh
