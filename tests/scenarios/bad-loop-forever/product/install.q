[install]
Exist $(current_dir)/nothing there
Loop flag 0
Text never - - h1 Never asked
