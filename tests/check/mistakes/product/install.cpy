# A section named like a flow's that no flow runs.
[instal]
MkDir     $(cgi_dir)/demo
[install]
# An unknown word; a reference to nothing.
MakeDir   $(cgi_dir)/x
MkDir     $(cgidir)/x
# The exclusion column left out; a destination that ends in '/'.
CopyFile  $(current_dir)/cgi/*.cgi  $(cgi_dir)/demo
CopyFile  $(current_dir)/cgi/*.cgi  -  $(cgi_dir)/
# A script copied with no Chmod after it; a mode that is not octal.
CopyFile  $(current_dir)/cgi/*.cgi  -  $(cgi_dir)
Chmod     $(cgi_dir)/demo/*  -  7x5
# A template with a reference to nothing; a controlling setting nothing defines.
Ini       $(current_dir)/app.conf.in  $(cgi_dir)/app.conf
MkDir     $(cgi_dir)/y  make_y
Chown     $(cgi_dir)/demo  -  $(web_user)
# No [upgrade] section at all.
[remove]
# The whole folders httpd.conf names.
RmDir     $(cgi_dir)  -
RmFile    $(doc_root)/  -
[backup]
# Read back from the tree given to the web user, then used in a path; a template that
# uses an answer of the install that this flow neither asks nor reads back.
RFile     $(cgi_dir)/demo/v.txt  old
MkDir     $(current_dir)/saved/$(old)
Ini       $(current_dir)/app.conf.in  $(current_dir)/saved/app.conf
