[install]
MkDir     $(cgi_dir)/up
CopyFile  $(current_dir)/cgi/*.cgi  -  $(cgi_dir)/up
Chmod     $(cgi_dir)/up/*.cgi  -  755
[upgrade]
CopyFile  $(current_dir)/cgi/*.cgi  -  $(cgi_dir)/up
[remove]
RmDir     $(cgi_dir)/up  -
