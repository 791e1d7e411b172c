[install]
# Without a value the control lets the command run; alone it must be true; with a
# comparison, its value must equal, ignoring letter case, the value of the setting so
# named, or the text itself when there is no such setting. A value neither true nor false
# is not true.
MkDir $(current_dir)/1 missing
MkDir $(current_dir)/2 yes
MkDir $(current_dir)/3 no
MkDir $(current_dir)/4 yes OTHER
MkDir $(current_dir)/5 yes other
MkDir $(current_dir)/6 yes Yes
MkDir $(current_dir)/8 maybe
# A copy with nowhere to go fails and stops the run.
CopyFile $(current_dir)/none/* - $(current_dir)/
MkDir $(current_dir)/7
