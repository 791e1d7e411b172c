# Each pass takes one extension off the name until a file of that name is found: a loop
# that runs long without reading anything, and still ends.
[install]
FileName tool - - h1 Program
Exist $(current_dir)/stop/$(tool) done
Loop done 0
