[install]
MkDir     $(cgi_dir)/sh
Ini       $(current_dir)/templates/start.sh.in  $(cgi_dir)/sh/start.sh
Ini       $(current_dir)/templates/Makefile.in  $(cgi_dir)/sh/Makefile
Chmod     $(cgi_dir)/sh/start.sh  -  755
[upgrade]
Ini       $(current_dir)/templates/start.sh.in  $(cgi_dir)/sh/start.sh
[remove]
RmDir     $(cgi_dir)/sh  -
