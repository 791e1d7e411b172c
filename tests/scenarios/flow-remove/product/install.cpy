[remove]
RmFile $(current_dir)/logs/*.log -
RmFile $(current_dir)/nothing/* -
RmDir $(current_dir)/app -
