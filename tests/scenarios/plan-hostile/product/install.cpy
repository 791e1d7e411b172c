[install]
MkDir $(current_dir)/out
CopyFile $(current_dir)/src/* - $(current_dir)/out
Chmod $(current_dir)/out/a.txt - 00751
RFile /etc/cgi-secret copied
WFile $(current_dir)/out/v product
RFile $(current_dir)/fifo fromfifo
MkDir $(current_dir)/never
[remove]
RFile /dev/zero zero
RmDir $(current_dir)/src
