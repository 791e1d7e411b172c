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
# A Chmod before the copy that makes its files; a Rename of what nothing made.
Chmod     $(cgi_dir)/*.sh  -  755
CopyFile  $(current_dir)/scripts/*.sh  -  $(cgi_dir)
Rename    $(cgi_dir)/demo/old.conf  $(cgi_dir)/demo/app.conf
# A folder nothing makes; a pattern that matches nothing; a source outside the product.
CopyFile  $(current_dir)/docs/*  -  $(doc_root)/nowhere
CopyFile  $(current_dir)/cgi/*.pl  -  $(cgi_dir)
CopyFile  $(current_dir)/../common/lib.sh  -  $(cgi_dir)
# Owners this host lacks, and numbers.
Chown     $(cgi_dir)/x  -  nosuchuser-ic
Chown     $(cgi_dir)/x  -  root:nosuchgroup-ic
Chown     $(cgi_dir)/x  -  33:33
# install-check: disable=IC306
Chown     $(cgi_dir)/x  -  another-nosuchuser-ic
# No [upgrade] section at all.
[remove]
# The whole folders httpd.conf names.
RmDir     $(cgi_dir)  -
RmFile    $(doc_root)/  -
# A wildcard in a folder the install did not make.
RmDir     $(cgi_dir)/sh*  -
[backup]
# Read back from the tree given to the web user, then used in a path; a template that
# uses an answer of the install that this flow neither asks nor reads back.
RFile     $(cgi_dir)/demo/v.txt  old
MkDir     $(current_dir)/saved/$(old)
Ini       $(current_dir)/app.conf.in  $(current_dir)/saved/app.conf
[extra]
# A test of a setting nothing defines.
Error     upgradble  Nothing to upgrade
# A folder given away whole, and a value read back from it into a path.
Chown     $(data_dir)  -  $(web_user)
RFile     $(data_dir)/x  saved
MkDir     $(current_dir)/saved/$(saved)
# A shell template: references to no setting, an indented one, a misspelt one.
Ini       $(current_dir)/run.sh.in  $(cgi_dir)/run.sh
# A template the product lacks.
Ini       $(current_dir)/nosuch.in  $(cgi_dir)/nosuch
