[install]
# A destination folder that cannot be listed: the failure names the listing's own error.
CopyFile $(current_dir)/install.* - $(current_dir)/missing/*
